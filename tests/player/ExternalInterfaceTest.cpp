#include <gtest/gtest.h>
#include <unistd.h>

#include "support/Text.h"
#include "tests/common/WebProcess.h"
#include "tests/player/MovieFixture.h"

namespace vtest {
namespace {

using platform::com::HRESULT;
using platform::com::S_OK;

const char* const everyType =
    "<string>текст &lt;&amp;&gt;&quot;&apos; "
    "ё</string><number>42</number><number>-7</number><number>3.5</number>"
    "<true/><false/><null/>"
    "<array><property id=\"0\"><number>1</number></property><property "
    "id=\"1\"><string>two</string></property>"
    "<property id=\"2\"><array><property id=\"0\"><number>3</number></property></array></property></array>"
    "<object><property id=\"a\"><number>1</number></property><property id=\"b\"><string>x</string></property>"
    "</object>";

class ExternalInterfaceTest : public MovieFixture {
 protected:
  std::u16string call(const std::string& request, HRESULT* result = nullptr) {
    return control->callFunction(mstd::utf8ToUtf16(request, mstd::Malformed::Replace), result);
  }
};

TEST_F(ExternalInterfaceTest, MovieCallsArriveAsStandardRequestsOnTheUiThread) {
  play();
  ASSERT_EQ(control->calls().size(), 2u);
  EXPECT_EQ(control->calls()[0], invoke("types", everyType));
  EXPECT_EQ(control->calls()[1], invoke("ready", ""));
  EXPECT_TRUE(control->allOnUiThread());
}

// Neither a second movie in the control nor the control made after it starts
// another web process; each plays and answers the host.
TEST_F(ExternalInterfaceTest, LaterMoviesPlayInThePageAlreadyUp) {
  play();
  const long web = webProcessBelow(::getpid());
  ASSERT_GT(web, 0);
  useMovie("contain");
  ASSERT_EQ(control->load(path("game/main.swf").string()), S_OK);
  EXPECT_TRUE(
      sawCall(invoke("writestring", "<string>note.txt</string><string>in the folder</string>"), 30000));
  EXPECT_EQ(webProcessBelow(::getpid()), web);

  useMovie("probe");
  control.reset();
  play();
  EXPECT_EQ(webProcessBelow(::getpid()), web);
  call(invoke("echo", "<string>again</string>"));
  EXPECT_TRUE(sawCall(invoke("echo", "<string>again</string>"), 30000));

  // A view destroyed with its window is not kept: the next control loads a page of its own.
  control->closeWindow();
  control.reset();
  play();
  call(invoke("echo", "<string>new page</string>"));
  EXPECT_TRUE(sawCall(invoke("echo", "<string>new page</string>"), 30000));
}

TEST_F(ExternalInterfaceTest, HostCallsReachTheMovieCallbackWithDecodedArguments) {
  play();
  HRESULT result = -1;
  EXPECT_EQ(call(invoke("echo", everyType), &result), u"<undefined/>");
  EXPECT_EQ(result, S_OK);
  const int echo = control->waitForCall("echo", 30000);
  ASSERT_GE(echo, 0);
  EXPECT_EQ(control->calls()[echo], invoke("echo", everyType));

  // Escaped text, a string that looks like a number, an empty string, and keys that mean something to
  // JavaScript.
  const std::string tricky =
      "<string>&lt;/script&gt;\\&quot;&apos;`${x}</string><string>12</string><string></string>"
      "<object><property id=\"__proto__\"><number>1</number></property>"
      "<property id=\"constructor\"><string>c</string></property></object>";
  call(invoke("echo", tricky));
  const int second = control->waitForCall("echo", 30000, echo + 1);
  ASSERT_GE(second, 0);
  EXPECT_EQ(control->calls()[second], invoke("echo", tricky));
}

TEST_F(ExternalInterfaceTest, UndefinedArgumentsAndSurrogatePairsCrossBothWays) {
  play();
  const std::string request = invoke("echo", "<undefined/><string>\xF0\x9F\x8E\xAE пара</string>");
  call(request);
  const int echo = control->waitForCall("echo", 30000);
  ASSERT_GE(echo, 0);
  EXPECT_EQ(control->calls()[echo], request);
}

TEST_F(ExternalInterfaceTest, CallsOfNamesTheHostDoesNotKnowArriveWithTheirNamesUnevaluated) {
  play();
  call(invoke("unknownNames", ""));
  const int first = control->waitForCall("someName.the.host.does.not.know", 30000);
  ASSERT_GE(first, 0);
  ASSERT_TRUE(
      pumpUntil([&] { return control->calls().size() >= static_cast<std::size_t>(first) + 5; }, 30000));
  EXPECT_EQ(control->calls()[first], invoke("someName.the.host.does.not.know", "<number>1</number>"));
  EXPECT_EQ(control->calls()[first + 1], invoke("alert", "<string>x</string>"));
  EXPECT_EQ(control->calls()[first + 2], invoke("window.close", ""));
  EXPECT_EQ(control->calls()[first + 3], invoke("(function(){throw 1})", "<number>2</number>"));
  EXPECT_EQ(control->calls()[first + 4], invoke("", ""));
}

TEST_F(ExternalInterfaceTest, ABurstOfAThousandCallsArrivesWholeAndInOrder) {
  play();
  call(invoke("burst", "<number>1000</number>"));
  const std::size_t before = control->calls().size();
  ASSERT_TRUE(pumpUntil([&] { return control->calls().size() >= before + 1000; }, 30000));
  pumpFor(200);
  ASSERT_EQ(control->calls().size(), before + 1000);
  for (int i = 0; i < 1000; ++i)
    ASSERT_EQ(control->calls()[before + i], invoke("seq", "<number>" + std::to_string(i) + "</number>"));
}

TEST_F(ExternalInterfaceTest, CallsOfUnregisteredNamesOrMalformedRequestsLeaveTheMovieWorking) {
  play();
  HRESULT result = -1;
  EXPECT_EQ(call(invoke("neverRegistered", "<number>1</number>"), &result), u"<undefined/>");
  EXPECT_EQ(result, S_OK);
  call("<invoke name=\"echo\"><arguments><string>cut");
  call("not xml at all");
  call(invoke("echo", "<string>after</string>"));
  const int echo = control->waitForCall("echo", 30000);
  ASSERT_GE(echo, 0);
  EXPECT_EQ(control->calls()[echo], invoke("echo", "<string>after</string>"));
  EXPECT_EQ(static_cast<std::size_t>(echo), control->calls().size() - 1);
}

TEST_F(ExternalInterfaceTest, CallsMadeBeforeTheMovieRegistersAreDroppedNotReordered) {
  control = std::make_unique<HostedControl>();
  ASSERT_TRUE(control->created());
  ASSERT_EQ(control->load(path("game/main.swf").string()), S_OK);
  call(invoke("echo", "<string>early</string>"));
  ASSERT_GE(control->waitForCall("ready", startMs), 0);
  call(invoke("echo", "<string>late</string>"));
  const int late = control->waitForCall("echo", 30000);
  ASSERT_GE(late, 0);
  // The early call reached a page whose movie had not registered its callback yet: dropped, not reordered.
  EXPECT_EQ(control->calls()[late], invoke("echo", "<string>late</string>"));
}

}  // namespace
}  // namespace vtest

namespace vtest {
namespace {

// `levels` arrays nested in one another around a number.
std::string nestedArrays(int levels) {
  std::string open, close;
  for (int i = 0; i < levels; ++i) {
    open += "<array><property id=\"0\">";
    close = "</property></array>" + close;
  }
  return open + "<number>1</number>" + close;
}

TEST_F(ExternalInterfaceTest, CallsPastSixtyFourLevelsOrOneMebibyteAreDroppedAndTheNextStillRuns) {
  play();
  // The innermost element of 31 arrays lies at level 65, of 30 at level 63.
  for (const std::string& dropped :
       {nestedArrays(31), "<string>" + std::string((1 << 20) + 1, 'x') + "</string>"})
    call(invoke("echo", dropped));
  call(invoke("echo", nestedArrays(30)));
  const int echo = control->waitForCall("echo", 30000);
  ASSERT_GE(echo, 0);
  EXPECT_EQ(control->calls()[echo], invoke("echo", nestedArrays(30)));
  pumpFor(500);
  EXPECT_EQ(control->waitForCall("echo", 1, echo + 1), -1);
}

}  // namespace
}  // namespace vtest

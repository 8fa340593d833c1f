// The movie's requests through the control's FlashCall event and the calls back into the movie.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "gamehost/FlashEventHandler.h"
#include "gamehost/MovieCalls.h"
#include "platform/com/Bstr.h"
#include "shell/ThreadMessages.h"
#include "tests/common/Processes.h"
#include "tests/common/WaitFor.h"
#include "tests/gamehost/GameHostFixture.h"

namespace com = platform::com;
namespace fs = std::filesystem;

namespace {

class Bridge : public vtest::GameHostFixture {
 protected:
  static std::u16string request(const std::u16string& name, const std::vector<std::u16string>& arguments) {
    std::u16string r = u"<invoke name=\"" + name + u"\" returntype=\"xml\"><arguments>";
    for (const auto& a : arguments) r += u"<string>" + a + u"</string>";
    return r + u"</arguments></invoke>";
  }
  std::vector<std::string> replies() const { return callsStartingWith("CallFunction "); }
};

const std::string bom = "\xEF\xBB\xBF";

// Descriptors of this process open on `file`.
int openDescriptors(const fs::path& file) {
  int n = 0;
  for (const auto& [fd, target] : vtest::descriptorTargets()) n += target == file.string();
  return n;
}

}  // namespace

TEST_F(Bridge, ClientVersions319Then320GetTheFixedPortOnceThenThePort) {
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    control().fire(
        u"<invoke name=\"client\" returntype=\"xml\"><arguments><number>319</number></arguments>"
        u"</invoke>");
    EXPECT_EQ(client.movieVersion(), 319);
    drain(client);
    control().fire(request(u"client", {u"320"}));
    EXPECT_EQ(client.movieVersion(), 320);
    drain(client);
    EXPECT_EQ(relayStarts, std::vector<bool>{false});
    EXPECT_EQ(replies(),
              (std::vector<std::string>{
                  "CallFunction <invoke name=\"client\" returntype=\"xml\"><arguments><string>1.7.0"
                  "</string></arguments></invoke>",
                  "CallFunction <invoke name=\"client\" returntype=\"xml\"><arguments><string>1.7.0;15190"
                  "</string></arguments></invoke>"}));
    // No argument keeps the version.
    control().fire(u"<invoke name=\"client\"><arguments/></invoke>");
    EXPECT_EQ(client.movieVersion(), 320);
  });
}

TEST_F(Bridge, OnlyExactCommandsInWellFormedFlashCallsAreObeyed) {
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    client.launcher().destroy();
    drain(client);
    for (const std::u16string& ignored :
         {request(u"Reload", {}), request(u"RELOAD", {}), request(u"reload ", {}), std::u16string(u"<invoke"),
          std::u16string(u"<invoke name=\"reload\"><arguments>"), std::u16string(u"<invoke id=\"reload\"/>"),
          std::u16string(u""), std::u16string(u"reload")})
      control().fire(ignored);
    com::VARIANT number;
    number.vt = com::VT_I4;
    number.lVal = 1;
    control().fireRaw(com::DISPID_FlashCall, number);
    com::VARIANT text;
    text.vt = com::VT_BSTR;
    com::Bstr reload(request(u"reload", {}));
    text.bstrVal = reload.get();
    control().fireRaw(com::DISPID_FlashCall + 1, text);
    drain(client);
    EXPECT_FALSE(client.launcher().exists());

    control().fireRaw(com::DISPID_FlashCall, text);
    drain(client);
    EXPECT_TRUE(client.launcher().exists());  // "reload" remade it
  });
}

TEST_F(Bridge, SinkAnswersOnlyForItsInterfaces) {
  withClient([&](shell::Client& client) {
    gamehost::FlashEventHandler sink(client, host().movieFile());
    void* p = &sink;
    EXPECT_EQ(sink.QueryInterface(com::IID_IDispatch, &p), com::S_OK);
    EXPECT_EQ(p, static_cast<com::IDispatch*>(&sink));
    EXPECT_EQ(sink.QueryInterface(com::DIID__IShockwaveFlashEvents, &p), com::S_OK);
    EXPECT_EQ(sink.QueryInterface(com::IID_IShockwaveFlash, &p), com::E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(gamehost::readVersion(u"-320"), -320);
    EXPECT_EQ(gamehost::readVersion(u""), 0);
    EXPECT_EQ(gamehost::readVersion(u"3a"), 30 + 49);  // not checked: 'a' counts as 49
  });
}

TEST_F(Bridge, WriteStringAppendsRefusesEscapingNamesAndClosesWithTheClient) {
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    control().fire(request(u"writestring", {u"log.txt", u"first &amp; \U0001F600"}));
    control().fire(request(u"writestring", {u"log.txt", u"second"}));
    EXPECT_EQ(readFile("log.txt"), bom + "first & \xF0\x9F\x98\x80\r\nsecond\r\n");
    control().fire(request(u"writestring", {u"../x", u"out"}));
    control().fire(request(u"writestring", {sibling("y").u16string(), u"out"}));
    control().fire(request(u"writestring", {u"log.txt"}));  // text missing: nothing
    control().fire(request(u"writestring", {u"log.txt", u"third"}));
    EXPECT_EQ(readFile("log.txt"), bom + "first & \xF0\x9F\x98\x80\r\nsecond\r\nthird\r\n");
    EXPECT_FALSE(fs::exists(sibling("x")));
    EXPECT_FALSE(fs::exists(sibling("y")));
    control().fire(request(u"writestring", {u"other.txt", u"a"}));
    EXPECT_EQ(host().movieFile().currentName(), u"other.txt");
    EXPECT_EQ(readFile("other.txt"), bom + "a\r\n");
    EXPECT_EQ(openDescriptors(fs::canonical(dir() / "log.txt")), 0);
    EXPECT_EQ(openDescriptors(fs::canonical(dir() / "other.txt")), 1);
  });
  EXPECT_EQ(openDescriptors(fs::canonical(dir() / "other.txt")), 0);
}

TEST_F(Bridge, BugReportGoesAsXmlTextOnlyToAPresentWindow) {
  withClient([&](shell::Client& client) {
    shell::post(client.uiThread(), shell::TraceResultMessage{"dropped: no game window"});
    drain(client);
    ASSERT_TRUE(client.makeGameWindow());
    shell::post(client.uiThread(), shell::TraceResultMessage{"1 <1 ms> 127.0.0.1 & \xD0\xB4\xD0\xB0"});
    drain(client);
    EXPECT_EQ(replies(),
              std::vector<std::string>{"CallFunction <invoke name=\"bugreport\" returntype=\"xml\">"
                                       "<arguments><string>1 &lt;1 ms&gt; 127.0.0.1 &amp; \xD0\xB4\xD0\xB0"
                                       "</string></arguments></invoke>"});
  });
}

TEST_F(Bridge, AThrowingCallIntoTheMovieIsDropped) {
  options.throwOnCall = true;
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    client.setMovieVersion(320);
    shell::post(client.uiThread(), shell::ClientHelloMessage{});
    drain(client);
    host().sendBugReport("x");
    EXPECT_EQ(replies().size(), 2u);
    EXPECT_EQ(client.relayPort(), 40123);
  });
}

TEST_F(Bridge, TraceRunsOnThePoolAndComesBackAsABugReport) {
  if (::geteuid() != 0) GTEST_SKIP() << "raw ICMP sockets need root";
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    control().fire(request(u"tracert", {u"127.0.0.1"}));
    control().fire(request(u"tracert", {}));  // no host: nothing
    EXPECT_TRUE(vtest::waitFor(
        [&] {
          drain(client);
          return !replies().empty();
        },
        20000));
    ASSERT_EQ(replies().size(), 1u);
    EXPECT_EQ(replies()[0].rfind("CallFunction <invoke name=\"bugreport\"", 0), 0u);
    EXPECT_NE(replies()[0].find("127.0.0.1"), std::string::npos) << replies()[0];
  });
}

TEST_F(Bridge, ARequestNestedTooDeepOrTooLargeIsDroppedAndTheNextStillObeyed) {
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    std::u16string deep =
        u"<invoke name=\"writestring\" returntype=\"xml\"><arguments><string>deep.txt</string>";
    for (int i = 0; i < 300000; ++i) deep += u"<a>";
    const std::u16string large =
        request(u"writestring", {u"large.txt", std::u16string((1u << 20) + 1, u'x')});
    for (const std::u16string& dropped : {deep, large}) control().fire(dropped);
    control().fire(request(u"writestring", {u"kept.txt", u"ok"}));
    EXPECT_FALSE(fs::exists(path("deep.txt")));
    EXPECT_FALSE(fs::exists(path("large.txt")));
    EXPECT_EQ(readFile("kept.txt"), bom + "ok\r\n");
  });
}

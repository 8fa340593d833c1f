#include <gtest/gtest.h>

#include "player/PageMessages.h"
#include "tests/common/Files.h"

#include <regex>
#include <set>

namespace player {
namespace {

TEST(PageMessagesTest, MessagesSplitIntoKindAndBody) {
  const struct {
    std::string text;
    bool known;
    PageMessage message;
    std::string body;
  } cases[] = {
      {"call:<invoke name=\"a:b\"/>", true, PageMessage::Call, "<invoke name=\"a:b\"/>"},
      {"ready:", true, PageMessage::Ready, ""},
      {"error:the movie did not start", true, PageMessage::Error, "the movie did not start"},
      {"stopped:", true, PageMessage::Stopped, ""},
      {"failed:panicked at x", true, PageMessage::Failed, "panicked at x"},
      {"ready", false, {}, ""},
      {"Call:x", false, {}, ""},
      {"calls:x", false, {}, ""},
      {":x", false, {}, ""},
      {"", false, {}, ""},
  };
  for (const auto& c : cases) {
    PageMessage message{};
    std::string body;
    ASSERT_EQ(parsePageMessage(c.text, message, body), c.known) << c.text;
    if (!c.known) continue;
    EXPECT_EQ(message, c.message) << c.text;
    EXPECT_EQ(body, c.body) << c.text;
  }
}

// Every name the page posts is one the view defines, and the view defines no name the page never posts.
TEST(PageMessagesTest, ThePagePostsExactlyTheDefinedNames) {
  const std::string page = vtest::readWholeFile(VORNASK_PAGE_SCRIPT);
  std::set<std::string> posted;
  const std::regex use(R"(post\(message\.([A-Za-z]+))");
  for (std::sregex_iterator it(page.begin(), page.end(), use), end; it != end; ++it) posted.insert((*it)[1]);
  std::set<std::string> defined;
  for (const PageMessageName& entry : pageMessageNames) defined.insert(entry.name);
  EXPECT_EQ(posted, defined);
  EXPECT_NE(pageMessagesScript().find("window.vornaskMessages = Object.freeze({\"call\":\"call\","),
            std::string::npos);
}

}  // namespace
}  // namespace player

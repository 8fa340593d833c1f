#include <gtest/gtest.h>

#include "support/Text.h"
#include "tests/player/MovieFixture.h"

namespace vtest {
namespace {

class MovieFilesTest : public MovieFixture {
 protected:
  void SetUp() override {
    MovieFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    writeFile("game/asset.txt", "ассет один");
    writeFile("game/sub/inner.txt", "inner");
    writeFile("secret.txt", "secret");
    std::filesystem::create_symlink("../secret.txt", path("game/link-out.txt"));
    std::filesystem::create_symlink("asset.txt", path("game/link-in.txt"));
  }

  // "loaded:DATA" or "failed" for a load the movie made of `url`.
  std::string load(const std::string& url) {
    control->callFunction(
        mstd::utf8ToUtf16(invoke("load", "<string>" + url + "</string>"), mstd::Malformed::Replace));
    const std::string tail = "</string></arguments></invoke>";
    std::string loaded = invoke("loaded", "<string>" + url + "</string><string>");
    loaded.erase(loaded.size() - std::string("</arguments></invoke>").size());
    const std::string failed = invoke("loadFailed", "<string>" + url + "</string>");
    std::string outcome;
    pumpUntil(
        [&] {
          for (const std::string& c : control->calls()) {
            if (c == failed) return outcome = "failed", true;
            if (c.compare(0, loaded.size(), loaded) == 0) {
              return outcome = "loaded:" + c.substr(loaded.size(), c.size() - loaded.size() - tail.size()),
                     true;
            }
          }
          return false;
        },
        10000);
    return outcome;
  }
};

TEST_F(MovieFilesTest, FilesNextToTheMovieLoadAndNothingOutsideItDoes) {
  play();
  EXPECT_EQ(load("asset.txt"), "loaded:ассет один");
  EXPECT_EQ(load("sub/inner.txt"), "loaded:inner");
  EXPECT_EQ(load("link-in.txt"), "loaded:ассет один");
  for (const char* outside : {"../secret.txt", "sub/../../secret.txt", "%2e%2e/secret.txt", "..%2fsecret.txt",
                              "sub%2f..%2f..%2fsecret.txt", "link-out.txt", "/etc/hostname", "missing.txt",
                              "sub", "file:///etc/hostname"})
    EXPECT_EQ(load(outside), "failed") << outside;
}

TEST_F(MovieFilesTest, AMovieInAFolderNamedWithAQuestionMarkPlaysAndFindsItsFiles) {
  std::filesystem::create_directories(path("a?b"));
  std::filesystem::copy_file(path("game/main.swf"), path("a?b/main.swf"));
  writeFile("a?b/asset.txt", "beside");
  control = std::make_unique<HostedControl>();
  ASSERT_TRUE(control->created());
  ASSERT_EQ(control->load(path("a?b/main.swf").string() + "?server=127.0.0.1%3A1"), platform::com::S_OK);
  ASSERT_GE(control->waitForCall("ready", startMs), 0) << "the movie did not start";
  EXPECT_EQ(load("asset.txt"), "loaded:beside");
}

}  // namespace
}  // namespace vtest

#include <gtest/gtest.h>

#include "player/MovieFolder.h"
#include "tests/common/Sandbox.h"

namespace player {
namespace {

class MovieFolderTest : public vtest::Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    writeFile("game/main.swf", "FWS");
    writeFile("game/sub/a b.txt", "a");
    writeFile("game/sub/deeper/c.txt", "c");
    writeFile("outside.txt", "secret");
    writeFile("game-sibling/x.txt", "x");
    std::filesystem::create_symlink("../outside.txt", path("game/out-link"));
    std::filesystem::create_symlink("sub/deeper", path("game/in-link"));
    std::filesystem::create_symlink(path("game-sibling"), path("game/sibling"));
    folder = MovieFolder(path("game").string());
  }
  std::string real(const std::string& relative) {
    return std::filesystem::canonical(path(relative)).string();
  }
  MovieFolder folder;
};

TEST_F(MovieFolderTest, FilesInsideResolveEncodedOrNot) {
  EXPECT_EQ(folder.resolve("main.swf"), real("game/main.swf"));
  EXPECT_EQ(folder.resolve("sub/a%20b.txt"), real("game/sub/a b.txt"));
  EXPECT_EQ(folder.resolve("sub%2Fdeeper%2fc.txt"), real("game/sub/deeper/c.txt"));
  EXPECT_EQ(folder.resolve("in-link/c.txt"), real("game/sub/deeper/c.txt"));
}

TEST_F(MovieFolderTest, PathsLeadingOutOrNamingNoFileAreRefused) {
  for (const char* refused :
       {"../outside.txt", "sub/../../outside.txt", "%2e%2e/outside.txt", "sub%2f..%2f..%2foutside.txt",
        "./main.swf", "sub//a%20b.txt", "/etc/hostname", "%2fetc%2fhostname", "out-link", "sibling/x.txt",
        "../game-sibling/x.txt", "sub", "sub/", "", "missing.txt", "main.swf%00.txt", "bad%zz", "cut%2"})
    EXPECT_EQ(folder.resolve(refused), "") << refused;
}

TEST_F(MovieFolderTest, AMissingFolderOrTheRootServesNothing) {
  EXPECT_EQ(MovieFolder(path("nowhere").string()).resolve("main.swf"), "");
  EXPECT_EQ(MovieFolder("/").resolve("etc/hostname"), "");
}

TEST(MovieUrlTest, FlashvarsStartAfterTheFileNameOnly) {
  struct Case {
    const char* url;
    const char* path;
    const char* query;
  };
  for (const Case& c :
       {Case{"/tmp/a?b/main.swf", "/tmp/a?b/main.swf", ""},
        Case{"/tmp/a?b/main.swf?server=h%3A1%2Fx", "/tmp/a?b/main.swf", "server=h%3A1%2Fx"},
        Case{"/g/main.swf?a=1?b", "/g/main.swf", "a=1?b"}, Case{"/g/?/main.swf?", "/g/?/main.swf", ""},
        Case{"main.swf?a=1", "main.swf", "a=1"}, Case{"/g/main.swf", "/g/main.swf", ""}}) {
    const MovieUrl split = splitMovieUrl(c.url);
    EXPECT_EQ(split.path, c.path) << c.url;
    EXPECT_EQ(split.query, c.query) << c.url;
  }
}

TEST(ContentTypeTest, TheTypesThePageNeedsAreNamed) {
  EXPECT_STREQ(contentTypeOf("x.wasm"), "application/wasm");
  EXPECT_STREQ(contentTypeOf("ruffle.js"), "text/javascript");
  EXPECT_STREQ(contentTypeOf("main.swf"), "application/x-shockwave-flash");
  EXPECT_STREQ(contentTypeOf("README"), "application/octet-stream");
}

}  // namespace
}  // namespace player

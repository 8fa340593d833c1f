// What the player lets a movie reach: its web process in a mount namespace of
// its own, sockets to the allowed ports only, and "writestring" kept in the
// game folder when the movie names a way through a link.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "gamehost/MovieFile.h"
#include "gamehost/MovieRequest.h"
#include "support/Text.h"
#include "tests/common/WebProcess.h"
#include "tests/player/EchoServer.h"
#include "tests/player/MovieFixture.h"

namespace fs = std::filesystem;

namespace vtest {
namespace {

class Contain : public MovieFixture {
 protected:
  void SetUp() override {
    MovieFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    useMovie("contain");
    fs::create_directories(sibling("outside"));
    fs::create_directory_symlink(sibling("outside"), path("game/linked"));
  }
  bool sawEvent(const std::string& label, const std::string& event, int ms) {
    return sawCall(invoke("socketEvent", "<string>" + label + "</string><string>" + event + "</string>"), ms);
  }
  EchoServer allowed, other;
};

TEST_F(Contain, TheMovieReachesOnlyTheAllowedPortAndWritesOnlyInsideItsFolder) {
  StdoutCapture records;
  play(320, 240, {allowed.port()},
       "port=" + std::to_string(allowed.port()) + "&other=" + std::to_string(other.port()) + "&link=linked");

  // The web process runs in WebKit's sandbox: a mount namespace of its own.
  const long web = webProcessBelow(::getpid());
  ASSERT_GT(web, 0);
  EXPECT_NE(mountNamespace(web), "");
  EXPECT_NE(mountNamespace(web), mountNamespace(::getpid()));

  // The other port has a listener, yet the movie gets an IO error and no connection.
  EXPECT_TRUE(sawEvent("other", "ioError", 30000));
  EXPECT_TRUE(sawEvent("allowed", "connect", 30000));
  EXPECT_FALSE(sawEvent("other", "connect", 500));
  EXPECT_TRUE(pumpUntil([&] { return allowed.peers().size() == 1; }, 30000));
  EXPECT_TRUE(other.peers().empty());
  EXPECT_TRUE(pumpUntil(
      [&] {
        return records.text().find("WRN [") != std::string::npos &&
               records.text().find(
                   "<flash> the movie's socket is refused: Missing WebSocket proxy for host "
                   "127.0.0.1, port " +
                   std::to_string(other.port())) != std::string::npos;
      },
      30000))
      << records.text();

  // The movie's two writes, as the game host receives and carries them out.
  gamehost::MovieFile file(path("game").string());
  int writes = 0;
  for (const std::string& call : control->calls()) {
    gamehost::MovieRequest request;
    if (!gamehost::parseMovieRequest(mstd::utf8ToUtf16(call, mstd::Malformed::Replace), request) ||
        request.name != u"writestring")
      continue;
    ++writes;
    file.write(request.arguments.at(0), request.arguments.at(1));
  }
  EXPECT_EQ(writes, 2);
  EXPECT_FALSE(fs::exists(sibling("outside/escaped.txt")));
  EXPECT_EQ(readFile("game/note.txt"), "\xEF\xBB\xBFin the folder\r\n");
}

}  // namespace
}  // namespace vtest

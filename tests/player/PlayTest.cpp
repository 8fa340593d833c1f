// The movie as a player meets it: sound from the first frame, saved data kept
// from one start of the client to the next, full screen on a click, the
// clipboard both ways. Starts of the client are child runs of this program.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "tests/common/ChildProcess.h"
#include "tests/common/WaitFor.h"
#include "tests/player/MovieFixture.h"

// X11 last: its macros clash with the headers above.
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace fs = std::filesystem;

namespace vtest {
namespace {

using platform::com::S_OK;

bool inputEnded() {
  pollfd in{0, POLLIN, 0};
  char c;
  return ::poll(&in, 1, 0) == 1 && ::read(0, &c, 1) <= 0;
}

// A child run: plays VORNASK_PLAY_MOVIE as the client does, writes each call of
// the movie and the player's records to standard error, ends when its input does.
TEST(PlayOnce, Plays) {
  const char* movie = std::getenv("VORNASK_PLAY_MOVIE");
  if (!movie) GTEST_SKIP() << "a child run of the tests below";
  ::dup2(2, 1);
  HostedControl control;
  ASSERT_TRUE(control.created()) << PlayerLibrary::get().problem;
  ASSERT_EQ(control.load(movie), S_OK);
  std::size_t told = 0;
  pumpUntil(
      [&] {
        for (; told < control.calls().size(); ++told) std::cerr << "call: " << control.calls()[told] << std::endl;
        return inputEnded();
      },
      300000);
}

class PlayRuns : public Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    fs::create_directories(path("game"));
    fs::copy_file(buildDir() / "tests" / "player" / "movies" / "play.swf", path("game/main.swf"));
  }

  std::unique_ptr<ChildProcess> start(std::map<std::string, std::string> env = {}) {
    env["VORNASK_PLAY_MOVIE"] = path("game/main.swf").string();
    env["VORNASK_TEST_DATA_HOME"] = path("data").string();
    return std::make_unique<ChildProcess>(fs::read_symlink("/proc/self/exe").string(),
                                          std::vector<std::string>{"--gtest_filter=PlayOnce.Plays"}, env,
                                          dir().string());
  }

  // The movie's start count after one start and end of the client, or "".
  std::string oneStart() {
    auto run = start();
    std::string starts;
    run->waitLine(
        [&](const std::string& line) {
          const std::string head = "call: " + invoke("starts", "");
          if (line.rfind(head.substr(0, head.find("<arguments>")), 0) != 0) return false;
          return starts = line, true;
        },
        60000);
    run->closeInput();
    EXPECT_EQ(run->wait(30000), 0) << run->errorOutput();
    return starts.empty() ? run->errorOutput() : starts.substr(6);
  }
};

std::string started(int count) {
  return invoke("starts", "<number>" + std::to_string(count) + "</number><string>flushed</string>");
}

TEST_F(PlayRuns, SavedDataIsKeptFromStartToStartAndADamagedStoreIsSetAside) {
  EXPECT_EQ(oneStart(), started(1));
  EXPECT_EQ(oneStart(), started(2));
  const fs::path store = path("data/Ondrel/Vornask/movies");
  std::vector<fs::path> databases;
  for (const auto& entry : fs::recursive_directory_iterator(store))
    if (entry.path().extension() == ".localstorage") databases.push_back(entry.path());
  ASSERT_FALSE(databases.empty());

  for (const fs::path& db : databases) writeFile(fs::relative(db, dir()).string(), "damaged, not SQLite");
  auto run = start();
  EXPECT_TRUE(run->waitLine([](const std::string& l) { return l.find("WRN") != std::string::npos && l.find("set aside") != std::string::npos; }, 60000));
  EXPECT_TRUE(run->waitLine([](const std::string& l) { return l == "call: " + started(1); }, 60000))
      << run->errorOutput();
  run->closeInput();
  EXPECT_EQ(run->wait(30000), 0);
  int setAside = 0;
  for (const auto& entry : fs::recursive_directory_iterator(path("data/Ondrel/Vornask")))
    setAside += entry.path().string().find("/damaged-") != std::string::npos &&
                readFile(fs::relative(entry.path(), dir()).string()) == "damaged, not SQLite";
  EXPECT_EQ(setAside, static_cast<int>(databases.size()));
  EXPECT_EQ(oneStart(), started(2));
}

}  // namespace
}  // namespace vtest

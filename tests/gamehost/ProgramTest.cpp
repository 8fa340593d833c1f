// The built client in the headless back end with the tests' control in its
// install folder, against nginx.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "tests/common/ChildProcess.h"
#include "tests/common/NginxServer.h"
#include "tests/common/Sandbox.h"
#include "tests/common/ScopedEnv.h"
#include "tests/common/WaitFor.h"
#include "updater/Publish.h"

namespace fs = std::filesystem;

namespace {

const int timeoutMs = 60000;
const fs::path built = VORNASK_TEST_CONTROL_DIR;

bool canConnect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

class GameProgram : public vtest::Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    if (vtest::clientExecutable().empty()) GTEST_SKIP() << "the Vornask executable is not built";
    install_ = path("install");
    server_ = std::make_unique<vtest::NginxServer>();
    // The same files on the server and in the install folder: nothing to update.
    for (const fs::path& folder : {install_, server_->root()}) {
      fs::create_directories(folder);
      fs::copy_file(built / "flash.cab", folder / "flash.cab");
      vtest::writeWholeFile(folder / "main.swf", "movie");
    }
    updater::publishFolder(server_->root().string());
    fs::copy_file(vtest::clientExecutable(), install_ / "Vornask");
    vtest::writeWholeFile(install_ / "vornask.ini", "downloadSounds=0\nfullyDownloaded=1\n");
  }

  std::unique_ptr<vtest::ChildProcess> run(const std::string& movieCalls) {
    writeFile("calls.txt", movieCalls);
    auto c = std::make_unique<vtest::ChildProcess>(
        (install_ / "Vornask").string(), std::vector<std::string>{"noStupidPath"},
        std::map<std::string, std::string>{
            {"VORNASK_UI", "headless"},
            {"VORNASK_WEB_HOST", "127.0.0.1:" + std::to_string(server_->port())},
            {"XDG_CONFIG_HOME", path("config")},
            {"HOME", dir().string()},
            {"VORNASK_TEST_CONTROL_LOG", path("calls.log")},
            {"VORNASK_TEST_CONTROL_CALLS", path("calls.txt")}},
        install_.string());
    c->endGently(5000);
    return c;
  }
  std::string calls() const { return readFile("calls.log"); }

  fs::path install_;
  std::unique_ptr<vtest::NginxServer> server_;
};

}  // namespace

TEST_F(GameProgram, GameOpensAtOnceTalksToTheMovieAndClosingItEndsTheProgram) {
  auto c = run(
      "<invoke name=\"client\" returntype=\"xml\"><arguments><number>320</number></arguments></invoke>\n");
  ASSERT_TRUE(c->waitForLine("game: shown", timeoutMs)) << c->errorOutput();
  EXPECT_NE(c->errorOutput().find("movie: " + install_.string() + "/main.swf\n"), std::string::npos);
  EXPECT_EQ(vtest::readWholeFile(install_ / "flash.ocx"), vtest::readWholeFile(built / "flash.ocx"));

  const std::string head =
      "CallFunction <invoke name=\"client\" returntype=\"xml\"><arguments><string>1.7.0;";
  ASSERT_TRUE(vtest::waitFor([&] { return calls().find(head) != std::string::npos; }, timeoutMs)) << calls();
  const std::string log = calls();
  EXPECT_EQ(log.find("LoadMovie 0 " + install_.string() + "/main.swf\n"), log.find("Advise\n") + 7);
  const int port = std::stoi(log.substr(log.find(head) + head.size()));
  EXPECT_GT(port, 0);
  EXPECT_NE(port, 15190);
  EXPECT_TRUE(canConnect(port));
  // Before its movie loaded the control was told the relay's ports: the fixed
  // one and the one the addressed relay now listens on, and no other.
  const std::string allowed = "AllowSocketPorts 15190 " + std::to_string(port) + "\n";
  EXPECT_NE(log.find(allowed), std::string::npos) << log;
  EXPECT_LT(log.find(allowed), log.find("LoadMovie 0 "));
  ASSERT_TRUE(c->waitForLine("button: Запуск", timeoutMs));  // the list is in
  ASSERT_TRUE(c->waitForLine("status: Нечего обновлять", timeoutMs));

  c->send("close game\n");
  ASSERT_TRUE(c->waitForLine("game: closed", timeoutMs));
  EXPECT_EQ(c->wait(timeoutMs), 0);
  EXPECT_EQ(readFile("config/Ondrel/Vornask/place"), "240,130,1680,910,2");
  EXPECT_EQ(c->last("window"), "");  // the launcher stayed hidden
}

TEST_F(GameProgram, AnUpdateOverTheRunningGameReopensItWithoutSavingItsPlace) {
  server_->writeFile("main.swf", "movie, second version");
  updater::publishFolder(server_->root().string());
  auto c = run("");
  ASSERT_TRUE(c->waitForLine("game: shown", timeoutMs)) << c->errorOutput();
  ASSERT_TRUE(c->waitForLine("button: Запуск", timeoutMs)) << c->errorOutput();
  ASSERT_TRUE(c->waitForLine("window: shown", timeoutMs)) << c->errorOutput();  // the launcher over the game
  c->send("press\n");
  ASSERT_TRUE(c->waitForLine("game: closed", timeoutMs)) << c->errorOutput();
  ASSERT_TRUE(c->waitForLine("game: shown", timeoutMs)) << c->errorOutput();
  ASSERT_TRUE(c->waitForLine("window: hidden", timeoutMs)) << c->errorOutput();
  EXPECT_EQ(vtest::readWholeFile(install_ / "main.swf"), "movie, second version");
  EXPECT_FALSE(fs::exists(path("config/Ondrel/Vornask/place")));
  EXPECT_EQ(c->wait(500), -1);  // still running
  // One library load for both windows; the first control went with its window.
  const std::string log = calls();
  const auto count = [&log](const std::string& line) {
    int n = 0;
    for (std::size_t at = log.find(line + "\n"); at != std::string::npos; at = log.find(line + "\n", at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(count("DllGetClassObject"), 1) << log;
  EXPECT_EQ(count("CreateInstance"), 2) << log;
  EXPECT_EQ(count("Released"), 1) << log;
  c->send("close game\n");
  EXPECT_EQ(c->wait(timeoutMs), 0);
  EXPECT_TRUE(fs::exists(path("config/Ondrel/Vornask/place")));
}

TEST_F(GameProgram, ACabinetThatFailsToUnpackLoadsNoControlAndShowsTheLauncher) {
  // An older control lies in the folder; its cabinet's data is cut short.
  const std::string cab = vtest::readWholeFile(built / "flash.cab");
  for (const fs::path& folder : {install_, server_->root()})
    vtest::writeWholeFile(folder / "flash.cab", cab.substr(0, cab.size() / 2));
  updater::publishFolder(server_->root().string());
  fs::copy_file(built / "flash.ocx", install_ / "flash.ocx");
  fs::last_write_time(install_ / "flash.ocx",
                      fs::last_write_time(install_ / "flash.ocx") - std::chrono::hours(1));
  const std::string old = vtest::readWholeFile(install_ / "flash.ocx");

  // The client's log records join its lines.
  auto c = [this] {
    const vtest::ScopedEnv verbose("VORNASK_TEST_VERBOSE", "1");
    return run("");
  }();
  ASSERT_TRUE(c->waitForLine("window: shown", timeoutMs)) << c->errorOutput();
  EXPECT_TRUE(vtest::waitFor(
      [&] {
        return c->errorOutput().find("<control> cannot unpack flash.ocx from flash.cab: ") !=
               std::string::npos;
      },
      timeoutMs))
      << c->errorOutput();
  EXPECT_NE(c->errorOutput().find("ERR ["), std::string::npos);
  EXPECT_EQ(c->last("game"), "");
  EXPECT_EQ(calls(), "");  // the library was never asked for its factory
  EXPECT_EQ(vtest::readWholeFile(install_ / "flash.ocx"), old);
  for (const auto& e : fs::directory_iterator(install_))
    EXPECT_NE(e.path().filename().string().rfind(".cab-", 0), 0u) << "a temporary file stayed";
  c->send("close\n");
  EXPECT_NE(c->wait(timeoutMs), -1);
}

// Closing the game window of the built client while relay sessions and a
// route trace run. The test runs in a network namespace of its own, where
// 192.0.2.0/24 is routed into the loopback device and never answered.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/common/ChildProcess.h"
#include "tests/common/Sandbox.h"
#include "tests/common/WaitFor.h"
#include "tests/player/EchoServer.h"

namespace fs = std::filesystem;

namespace {

const int timeoutMs = 60000;

bool writeTo(const std::string& file, const std::string& text) {
  std::ofstream out(file);
  return static_cast<bool>(out << text << std::flush);
}

// A network namespace with its loopback device up and the unanswering route.
bool enterOwnNetwork() {
  const uid_t uid = ::geteuid();
  const gid_t gid = ::getegid();
  if (uid == 0) {
    if (::unshare(CLONE_NEWNET) != 0) return false;
  } else {
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) return false;
    writeTo("/proc/self/setgroups", "deny");
    if (!writeTo("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !writeTo("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
      return false;
  }
  return std::system("ip link set lo up && ip route add 192.0.2.0/24 dev lo") == 0;
}

// A relay session to the echo server that has sent it one message; -1 when
// the relay did not take it.
int openSession(int relayPort, std::uint16_t echoPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(relayPort));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return ::close(fd), -1;
  const std::string destination = "127.0.0.1:" + std::to_string(echoPort);
  std::string out(2, '\0');
  out[0] = static_cast<char>(destination.size());
  out += destination;
  out += std::string("\xF4\x01\x05\x00hello", 9);  // a message: id 500, five bytes
  if (::send(fd, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size()))
    return ::close(fd), -1;
  return fd;
}

class GameExit : public vtest::Sandbox {};

}  // namespace

TEST_F(GameExit, ClosingTheGameWindowDuringSessionsAndATraceEndsAtOnce) {
  if (vtest::clientExecutable().empty()) GTEST_SKIP() << "the Vornask executable is not built";
  if (!enterOwnNetwork()) GTEST_SKIP() << "no network namespace of our own";
  vtest::EchoServer echo;
  const fs::path install = path("install");
  fs::create_directories(install);
  fs::copy_file(fs::path(VORNASK_TEST_CONTROL_DIR) / "flash.cab", install / "flash.cab");
  writeFile("install/main.swf", "movie");
  writeFile("install/vornask.ini", "downloadSounds=0\nfullyDownloaded=1\n");
  fs::copy_file(vtest::clientExecutable(), install / "Vornask");
  writeFile(
      "calls.txt",
      "<invoke name=\"client\" returntype=\"xml\"><arguments><number>320</number></arguments></invoke>\n"
      "<invoke name=\"tracert\" returntype=\"xml\"><arguments><string>192.0.2.1</string></arguments>"
      "</invoke>\n");
  vtest::ChildProcess c((install / "Vornask").string(), {"noStupidPath"},
                        {{"VORNASK_UI", "headless"},
                         {"VORNASK_WEB_HOST", "127.0.0.1:9"},
                         {"VORNASK_GAME_SERVER", "127.0.0.1:" + std::to_string(echo.port())},
                         {"XDG_CONFIG_HOME", path("config")},
                         {"HOME", dir().string()},
                         {"VORNASK_TEST_CONTROL_LOG", path("calls.log")},
                         {"VORNASK_TEST_CONTROL_CALLS", path("calls.txt")}},
                        install.string());
  c.endGently(5000);
  ASSERT_TRUE(c.waitForLine("game: shown", timeoutMs)) << c.errorOutput();
  const std::string head =
      "CallFunction <invoke name=\"client\" returntype=\"xml\"><arguments><string>1.7.0;";
  ASSERT_TRUE(
      vtest::waitFor([&] { return readFile("calls.log").find(head) != std::string::npos; }, timeoutMs));
  const std::string log = readFile("calls.log");
  const int relayPort = std::stoi(log.substr(log.find(head) + head.size()));

  std::vector<int> sessions;
  for (int i = 0; i < 8; ++i) {
    const int fd = openSession(relayPort, echo.port());
    ASSERT_GE(fd, 0) << "session " << i << "\n" << c.errorOutput();
    sessions.push_back(fd);
  }
  ASSERT_TRUE(vtest::waitFor(
      [&] {
        const auto peers = echo.peers();
        return peers.size() == sessions.size() &&
               std::all_of(peers.begin(), peers.end(), [](const auto& p) { return p.received > 0; });
      },
      timeoutMs));
  // The trace waits for its unanswered probes; the sessions are open.
  ASSERT_EQ(readFile("calls.log").find("<invoke name=\"bugreport\""), std::string::npos)
      << readFile("calls.log");

  const auto closed = std::chrono::steady_clock::now();
  c.send("close game\n");
  EXPECT_EQ(c.wait(timeoutMs), 0) << c.errorOutput();
  // The client ends soon after the close although the trace and the sessions are still open.
  EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(2));
  for (int fd : sessions) {
    char buffer[64];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
    }
    EXPECT_EQ(n, 0);  // the relay closed its side
    ::close(fd);
  }
}

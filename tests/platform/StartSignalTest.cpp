#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/files/StartSignal.h"
#include "tests/common/Sandbox.h"

namespace {

// The client names its socket relative to its working folder, as here: a socket's address
// holds 107 bytes, less than a folder's path may take.
class StartSignal : public vtest::Sandbox {
 protected:
  void SetUp() override {
    vtest::Sandbox::SetUp();
    previous = std::filesystem::current_path();
    std::filesystem::current_path(dir());
  }
  void TearDown() override {
    listener.reset();
    std::filesystem::current_path(previous);
    vtest::Sandbox::TearDown();
  }
  std::string socketPath() const { return ".vornask.sock"; }
  int listen() {
    return listener->listen(socketPath(), [this](const std::string& token) {
      std::lock_guard<std::mutex> lock(mutex);
      tokens.push_back(token);
    });
  }
  std::vector<std::string> taken() {
    std::lock_guard<std::mutex> lock(mutex);
    return tokens;
  }
  // A socket file at the path with nobody listening, as a client that was killed leaves it.
  void leaveDeadSocket() {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socketPath().c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
  }

  std::filesystem::path previous;
  std::optional<platform::StartSignalListener> listener{std::in_place};
  std::mutex mutex;
  std::vector<std::string> tokens;
};

TEST_F(StartSignal, TokensReachTheRunningProgramOnlyWhenTheyCanBePassed) {
  ASSERT_EQ(listen(), 0);
  const struct {
    const char* name;
    std::string token;
    int result;
  } rows[] = {
      {"no token", "", 0},
      {"X11 startup id", "xfce4-panel-1234-host-Vornask-0_TIME27481", 0},
      {"longest token", std::string(platform::maxStartToken, 'a'), 0},
      {"token too long", std::string(platform::maxStartToken + 1, 'a'), EINVAL},
      {"space inside", "a b", EINVAL},
      {"newline inside", "a\nshow b", EINVAL},
      {"non-ASCII", "токен", EINVAL},
  };
  std::vector<std::string> expected;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(platform::signalStart(socketPath(), row.token), row.result);
    if (row.result == 0) expected.push_back(row.token);
    EXPECT_EQ(taken(), expected);
  }
}

TEST_F(StartSignal, AMalformedRequestIsDroppedAndTheNextOneServed) {
  ASSERT_EQ(listen(), 0);
  for (const std::string& request : {std::string("hide x\n"), std::string(2000, 's'), std::string("show ")}) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socketPath().c_str());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    ::shutdown(fd, SHUT_WR);
    char c;
    EXPECT_LE(::recv(fd, &c, 1, 0), 0);  // closed without an answer
    ::close(fd);
  }
  EXPECT_EQ(platform::signalStart(socketPath(), "t"), 0);
  EXPECT_EQ(taken(), std::vector<std::string>{"t"});
}

TEST_F(StartSignal, ALeftoverSocketIsReplacedAndRemovedAtTheEnd) {
  EXPECT_EQ(platform::signalStart(socketPath(), ""), ENOENT);
  leaveDeadSocket();
  EXPECT_EQ(platform::signalStart(socketPath(), ""), ECONNREFUSED);
  {
    platform::StartSignalListener again;
    ASSERT_EQ(again.listen(socketPath(), [](const std::string&) {}), 0);
    EXPECT_EQ(platform::signalStart(socketPath(), ""), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(socketPath()));
  // Any other file at the name is the user's: it stays.
  writeFile(".vornask.sock", "notes");
  EXPECT_EQ(listen(), EEXIST);
  EXPECT_EQ(readFile(".vornask.sock"), "notes");
}

}  // namespace

#include "tests/common/Sandbox.h"
#include "tests/relay/RelayPeer.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <regex>

using namespace relaytest;

namespace {

std::string vornaskctl() {
  const std::filesystem::path tool = vtest::buildDir() / "tools" / "vornaskctl";
  return std::filesystem::exists(tool) ? tool.string() : std::string();
}

std::string readLine(FILE* in) {
  char line[256] = {};
  if (!std::fgets(line, sizeof line, in)) return {};
  return line;
}

}  // namespace

TEST(VornaskctlRelay, PrintsThePortFirstAndRelaysUntilTerminated) {
  const std::string tool = vornaskctl();
  if (tool.empty()) GTEST_SKIP() << "vornaskctl is not built";
  FILE* out = ::popen(("echo $$; exec " + tool + " relay --addressed").c_str(), "r");
  ASSERT_NE(out, nullptr);
  const pid_t pid = std::stoi(readLine(out));
  const std::string first = readLine(out);
  std::smatch port;
  ASSERT_TRUE(std::regex_match(first, port, std::regex("port=(\\d+)\n"))) << first;

  Upstream upstream;
  const std::string text = "127.0.0.1:" + std::to_string(upstream.endpoint().port());
  Bytes header = {static_cast<unsigned char>(text.size()), 0};
  header.insert(header.end(), text.begin(), text.end());
  Peer client, server;
  client.connect(static_cast<std::uint16_t>(std::stoi(port[1])));
  client.write(header);
  ASSERT_TRUE(upstream.accept(server));
  const Bytes m = message(3, 9, pattern(8));
  client.write(m);
  EXPECT_EQ(server.read(m.size()), m);

  ::kill(pid, SIGTERM);
  const int status = ::pclose(out);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(VornaskctlTrace, PrintsTheReportOrFailsWithStatusOne) {
  const std::string tool = vornaskctl();
  if (tool.empty()) GTEST_SKIP() << "vornaskctl is not built";
  if (::geteuid() != 0) GTEST_SKIP() << "raw ICMP sockets need root";
  FILE* out = ::popen((tool + " trace 127.0.0.1").c_str(), "r");
  ASSERT_NE(out, nullptr);
  const std::string line = readLine(out);
  EXPECT_TRUE(std::regex_match(line, std::regex("1\\)\t\\d+\t\\d+\t\\d+\t127\\.0\\.0\\.1\n"))) << line;
  EXPECT_EQ(readLine(out), "");
  EXPECT_EQ(::pclose(out), 0);

  out = ::popen((tool + " trace no-such-host.invalid 2>&1").c_str(), "r");
  ASSERT_NE(out, nullptr);
  EXPECT_NE(readLine(out).find("resolve"), std::string::npos);
  const int status = ::pclose(out);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
}

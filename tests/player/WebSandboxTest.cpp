#include <gtest/gtest.h>
#include <unistd.h>

#include "player/WebSandbox.h"
#include "tests/common/Sandbox.h"

namespace {

class WebSandbox : public vtest::Sandbox {};

}  // namespace

TEST_F(WebSandbox, TheCauseAndItsRemedyAreNamedWhenTheSandboxCannotStart) {
  const bool root = ::geteuid() == 0;
  struct Case {
    std::string cloneValue, maxValue;  // empty: the sysctl is absent
    std::string bwrap;
    std::string expected;  // a part of the text; empty: no obstacle
  };
  const std::string bwrap = "/bin/sh";  // any executable
  for (const Case& c : {
           Case{"", "", bwrap, ""},
           Case{"1", "15000", bwrap, ""},
           Case{"0", "15000", bwrap, root ? "" : "sysctl -w kernel.unprivileged_userns_clone=1"},
           Case{"1", "0", bwrap, "sysctl -w user.max_user_namespaces=15000"},
           Case{"", "0", bwrap, "user.max_user_namespaces = 0"},
           Case{"1", "15000", "/no/such/bwrap", "bubblewrap (/no/such/bwrap) is missing"},
       }) {
    std::filesystem::remove_all(path("sys"));
    std::filesystem::create_directories(path("sys/kernel"));
    std::filesystem::create_directories(path("sys/user"));
    if (!c.cloneValue.empty()) writeFile("sys/kernel/unprivileged_userns_clone", c.cloneValue + "\n");
    if (!c.maxValue.empty()) writeFile("sys/user/max_user_namespaces", c.maxValue + "\n");
    const std::string obstacle = player::webSandboxObstacle(path("sys").string(), c.bwrap);
    if (c.expected.empty())
      EXPECT_EQ(obstacle, "") << c.cloneValue << " " << c.maxValue;
    else
      EXPECT_NE(obstacle.find(c.expected), std::string::npos) << obstacle;
  }
}

TEST_F(WebSandbox, ThisSystemCanStartIt) {
  // The player's tests and the demo run sandboxed here, also as root.
  EXPECT_EQ(player::webSandboxObstacle(), "");
}

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/process/Process.h"
#include "tests/common/Sandbox.h"
#include "tests/common/WaitFor.h"

namespace fs = std::filesystem;

class Process : public vtest::Sandbox {
 protected:
  // A copy of sleep(1) that the tests can run and replace.
  std::string sleeper(const std::string& name) {
    const fs::path p = path(name);
    fs::copy_file("/bin/sleep", p, fs::copy_options::overwrite_existing);
    return p.string();
  }
  static int waitExit(long pid) {
    int status = 0;
    ::waitpid(static_cast<pid_t>(pid), &status, 0);
    return status;
  }
};

TEST_F(Process, ModulePathIsTheRunningExecutable) {
  EXPECT_EQ(platform::modulePath(), fs::canonical("/proc/self/exe").string());
  EXPECT_EQ(platform::processImagePath(::getpid()), platform::modulePath());
}

TEST_F(Process, SpawnSplitsTheCommandLineIntoArguments) {
  const std::string out = path("out").string();
  const long pid =
      platform::spawnProcess("/bin/sh", "-c \"echo \\\"$#:$1:$2\\\" > '" + out + "'\" sh \"a b\" c");
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WEXITSTATUS(waitExit(pid)), 0);
  EXPECT_EQ(readFile("out"), "2:a b:c\n");

  errno = 0;
  EXPECT_EQ(platform::spawnProcess(path("missing").string(), ""), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(Process, CopyReplacesContentAndMode) {
  writeFile("src", "new content");
  ::chmod(path("src").c_str(), 0755);
  writeFile("dst", "old content that was longer");
  ASSERT_TRUE(platform::copyFile(path("src").string(), path("dst").string()));
  EXPECT_EQ(readFile("dst"), "new content");
  struct stat st;
  ASSERT_EQ(::stat(path("dst").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);

  errno = 0;
  EXPECT_FALSE(platform::copyFile(path("src").string(), path("dst").string(), true));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_FALSE(platform::copyFile(path("none").string(), path("dst2").string()));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(fs::exists(path("dst2")));
  // No temporary file stays behind.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir())) ++entries;
  EXPECT_EQ(entries, 2);

  // The longest name a folder allows.
  const std::string longName(255, 'v');
  ASSERT_TRUE(platform::copyFile(path("src").string(), path(longName).string())) << std::strerror(errno);
  EXPECT_EQ(readFile(longName), "new content");
}

TEST_F(Process, CopyOverARunningExecutableFailsUntilItEnds) {
  const std::string target = sleeper("Vornask");
  writeFile("new.Vornask", "replacement");
  const long pid = platform::spawnProcess(target, "30");
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(vtest::waitFor([&] { return platform::processImagePath(pid) == target; }, 5000));

  errno = 0;
  EXPECT_FALSE(platform::copyFile(path("new.Vornask").string(), target));
  EXPECT_EQ(errno, ETXTBSY);

  ::kill(static_cast<pid_t>(pid), SIGTERM);
  waitExit(pid);
  EXPECT_TRUE(platform::copyFile(path("new.Vornask").string(), target));
  EXPECT_EQ(readFile("Vornask"), "replacement");
}

TEST_F(Process, LeftoversOfThisUserAreAskedToEndThenKilled) {
  const std::string leftover = sleeper("new.Vornask");
  const std::string other = sleeper("other");
  // Another user's copy must reach the executable.
  for (const fs::path& folder : {dir().parent_path(), dir()}) ::chmod(folder.c_str(), 0711);
  struct Case {
    const char* what;
    std::string program, commandLine;
    int signal;  // 0: still running afterwards
    bool asRoot;
  };
  const std::vector<Case> cases{
      {"a leftover ends on SIGTERM", leftover, "30", SIGTERM, false},
      {"one ignoring SIGTERM is killed", "/bin/sh", "-c \"trap '' TERM; exec '" + leftover + "' 30\"",
       SIGKILL, false},
      {"another executable is left alone", other, "30", 0, false},
      {"another user's copy is left alone", "/usr/bin/setpriv",
       "--reuid=65534 --regid=65534 --clear-groups \"" + leftover + "\" 30", 0, true},
  };
  std::vector<long> pids;
  for (const Case& c : cases) {
    if (c.asRoot && ::geteuid() != 0) {
      pids.push_back(0);
      continue;
    }
    pids.push_back(platform::spawnProcess(c.program, c.commandLine));
    const std::string image = c.program == other ? other : leftover;
    ASSERT_TRUE(vtest::waitFor([&] { return platform::processImagePath(pids.back()) == image; }, 5000))
        << c.what;
  }
  const int expected = 2;

  // Paths differing in case name other files.
  std::string upper = leftover;
  upper.replace(upper.size() - 11, 11, "NEW.VORNASK");
  EXPECT_EQ(platform::terminateProcessesRunning(upper), 0);
  EXPECT_EQ(platform::terminateProcessesRunning(leftover), expected);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    if (!pids[i]) continue;
    if (!cases[i].signal) {
      EXPECT_FALSE(platform::processImagePath(pids[i]).empty());
      ::kill(static_cast<pid_t>(pids[i]), SIGKILL);
    }
    const int status = waitExit(pids[i]);
    if (cases[i].signal) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == cases[i].signal) << status;
    }
  }
  EXPECT_EQ(platform::terminateProcessesRunning(leftover), 0);
}

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/com/Com.h"
#include "tests/common/Sandbox.h"
#include "tests/common/WebProcess.h"

namespace {

using namespace platform::com;

// Loads flash.ocx in a child with VORNASK_LOG set to `levels` (nullptr: unset) and no display,
// asks twice for a control; the child's exit code is 0 when both failed cleanly.
int createWithoutDisplay(const char* levels) {
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid != 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
  }
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  if (levels)
    ::setenv("VORNASK_LOG", levels, 1);
  else
    ::unsetenv("VORNASK_LOG");
  void* handle = ::dlopen((vtest::buildDir() / "player" / "flash.ocx").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) ::_exit(2);
  auto get = reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
  void* factory = nullptr;
  if (!get || get(CLSID_ShockwaveFlash, IID_IClassFactory, &factory) != S_OK) ::_exit(3);
  for (int attempt = 0; attempt < 2; ++attempt) {
    void* object = reinterpret_cast<void*>(1);
    // A second try fails the same way rather than half-initialising.
    if (!FAILED(
            static_cast<IClassFactory*>(factory)->CreateInstance(nullptr, IID_IShockwaveFlash, &object)) ||
        object != nullptr)
      ::_exit(4);
  }
  std::fflush(stdout);
  ::_exit(0);
}

TEST(NoDisplayTest, CreateInstanceFailsWithARecordAtTheLevelsSet) {
  struct Row {
    const char* name;
    const char* levels;
    bool recorded;
  } rows[] = {
      {"levels unset", nullptr, true},
      {"errors admitted for flash", "flash=3", true},
      {"flash held below errors", "flash=2", false},
      {"every participant below errors", "2", false},
      {"another participant lowered", "2,flash=7", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string log;
    {
      vtest::StdoutCapture capture;
      EXPECT_EQ(createWithoutDisplay(row.levels), 0);
      log = capture.text();
    }
    const bool recorded =
        log.find("ERR [") != std::string::npos && log.find("<flash> no display") != std::string::npos;
    EXPECT_EQ(recorded, row.recorded) << log;
  }
}

}  // namespace

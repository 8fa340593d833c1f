#include "tests/installer/InstallerFixture.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tests/common/Processes.h"
#include "tests/common/WaitFor.h"

namespace fs = std::filesystem;

namespace vtest {

void InstallerFixture::SetUp() {
  Sandbox::SetUp();
  root_ = fs::canonical(dir());
  const fs::path exe = clientExecutable();
  ASSERT_FALSE(exe.empty()) << "the client is not built";
  fs::create_directories(root_ / "download");
  fs::copy_file(exe, downloaded());
  fs::create_directories(home());
}

void InstallerFixture::TearDown() {
  const std::string prefix = root_.string() + "/";
  for (const ProcessEntry& process : processes()) {
    const std::string image = process.link("exe").string();
    if (process.pid != ::getpid() && image.rfind(prefix, 0) == 0) {
      ADD_FAILURE() << "left running: " << image;
      ::kill(static_cast<pid_t>(process.pid), SIGKILL);
    }
  }
  Sandbox::TearDown();
}

std::map<std::string, std::string> InstallerFixture::env() const {
  return {{"VORNASK_UI", "headless"},
          {"VORNASK_WEB_HOST", "127.0.0.1:9"},
          {"HOME", home().string()},
          {"XDG_CONFIG_HOME", (root_ / "config").string()},
          {"XDG_DATA_HOME", (root_ / "data").string()}};
}

std::unique_ptr<ChildProcess> InstallerFixture::start(const fs::path& exe,
                                                      const std::map<std::string, std::string>& extra) const {
  return startCommand(exe.string(), {}, extra);
}

std::unique_ptr<ChildProcess> InstallerFixture::startCommand(
    const std::string& program, const std::vector<std::string>& args,
    const std::map<std::string, std::string>& extra) const {
  std::map<std::string, std::string> all = env();
  for (const auto& [k, v] : extra) all[k] = v;
  auto p = std::make_unique<ChildProcess>(program, args, all, root_.string());
  p->endGently(3000);
  return p;
}

bool InstallerFixture::installerShown(ChildProcess& p) {
  return p.waitForLine("installer: shown", 10000) &&
         p.waitLine([](const std::string& l) { return l.rfind("folder: ", 0) == 0; }, 10000) &&
         p.waitLine([](const std::string& l) { return l.rfind("shortcut: ", 0) == 0; }, 10000);
}

bool InstallerFixture::install(ChildProcess& p, const std::string& folder) {
  return installerShown(p) && installInto(p, folder);
}

bool InstallerFixture::installInto(ChildProcess& p, const std::string& folder) {
  p.send("folder " + folder + "\n");
  if (!p.waitForLine("folder: " + folder, 10000)) return false;
  p.send("install\n");
  return p.wait(20000) == 0;
}

bool InstallerFixture::startedCopyRuns(ChildProcess& p) {
  // A copy that is not recognised as installed shows the installer again.
  std::string seen;
  if (!p.waitLine(
          [&seen](const std::string& l) {
            if (l == "window: shown" || l == "installer: shown") seen = l;
            return !seen.empty();
          },
          20000))
    return false;
  p.send(seen == "window: shown" ? "close\n" : "exit\n");
  return p.waitForEnd(20000) && seen == "window: shown";
}

bool InstallerFixture::nothingStarted(ChildProcess& p) {
  return p.waitForEnd(3000) && p.last("window").empty();
}

std::string InstallerFixture::recorded() const {
  return readWholeFile(root_ / "config" / "Ondrel" / "Vornask" / "path");
}

void InstallerFixture::record(const std::string& value) const {
  writeWholeFile(root_ / "config" / "Ondrel" / "Vornask" / "path", value);
}

std::vector<long> InstallerFixture::processesRunning(const fs::path& exe) {
  std::vector<long> found;
  for (const ProcessEntry& process : processes())
    if (process.link("exe") == exe) found.push_back(process.pid);
  return found;
}

bool validDesktopEntry(const fs::path& file, std::string& output) {
  if (::access("/usr/bin/desktop-file-validate", X_OK) != 0) return true;
  const std::string command = "/usr/bin/desktop-file-validate '" + file.string() + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return false;
  char buf[512];
  while (std::fgets(buf, sizeof buf, pipe)) output += buf;
  return ::pclose(pipe) == 0 && output.empty();
}

}  // namespace vtest

#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/common/ChildProcess.h"
#include "tests/common/Sandbox.h"

namespace vtest {

// A user without an installation: HOME, the XDG folders and the downloaded
// executable (download/Vornask) all lie in the sandbox. Every process still
// running an executable from the sandbox is killed afterwards.
class InstallerFixture : public Sandbox {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path downloaded() const { return root_ / "download" / "Vornask"; }
  std::filesystem::path home() const { return root_ / "home"; }
  std::filesystem::path menuEntry() const { return root_ / "data" / "applications" / "Vornask.desktop"; }
  std::filesystem::path desktopEntry() const { return home() / "Desktop" / "Vornask.desktop"; }

  // The headless console client without display or network.
  std::map<std::string, std::string> env() const;
  std::unique_ptr<ChildProcess> start(const std::filesystem::path& exe,
                                      const std::map<std::string, std::string>& extra = {}) const;
  std::unique_ptr<ChildProcess> startCommand(const std::string& program, const std::vector<std::string>& args,
                                             const std::map<std::string, std::string>& extra = {}) const;

  // Waits for the installer's first lines.
  static bool installerShown(ChildProcess& p);
  // Sets the folder and presses "Установить"; true when the installer then ended with 0.
  static bool install(ChildProcess& p, const std::string& folder);
  // The same once the installer is shown.
  static bool installInto(ChildProcess& p, const std::string& folder);
  // After the installer ended: the copy it started shows its launcher
  // (and no installer) and is closed through its console.
  static bool startedCopyRuns(ChildProcess& p);
  // Nothing started by the installer still holds its output.
  static bool nothingStarted(ChildProcess& p);

  // The recorded install folders; "" when none.
  std::string recorded() const;
  void record(const std::string& value) const;
  // Processes running `exe`.
  static std::vector<long> processesRunning(const std::filesystem::path& exe);

 private:
  std::filesystem::path root_;
};

// True when desktop-file-validate accepts the file (or is not installed).
bool validDesktopEntry(const std::filesystem::path& file, std::string& output);

}  // namespace vtest

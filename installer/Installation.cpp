#include "installer/Installation.h"

#include <cerrno>
#include <filesystem>

#include "installer/DesktopEntry.h"
#include "installer/ErrorBox.h"
#include "installer/PathList.h"
#include "platform/files/Files.h"
#include "platform/files/XdgFolders.h"
#include "platform/process/Process.h"
#include "platform/registry/Registry.h"
#include "platform/ui/Icon.h"
#include "shell/Startup.h"

namespace installer {

const char* const installedName = "Vornask";
const char* const iconName = "Vornask.png";

namespace {

const char* const entryName = "/Vornask.desktop";

// Adds the folder to "path" unless it is listed; failures are shown and the
// installation goes on.
void record(const std::string& folder) {
  platform::RegistryKey key;
  if (int err = key.create(shell::registryRoot(), shell::registryKeyName)) {
    showErrorBox("Не удалось начать запись в реестр", err);
    return;
  }
  std::string value;
  bool hadValue = false;
  if (int err = key.queryString(pathValueName, value, pathValueBytes)) {
    if (err != ENOENT) showErrorBox("Не удалось узнать текущие пути установки", err);
    value.clear();
  } else {
    hadValue = true;
    if (listsFolder(value, folder)) return;
  }
  if (int err = key.setString(pathValueName, appendFolder(value, hadValue, folder)))
    showErrorBox("Не удалось записать путь в реестр", err);
}

// The icon beside the executable, then the entry on the desktop (made when
// missing) and in the applications menu. 0 or errno.
int createEntries(const std::string& target, const std::string& desktop) {
  if (target.empty() || target[0] != '/') return EINVAL;
  if (int err = platform::createFolderLevels(desktop)) return err;
  const std::string icon = target.substr(0, target.rfind('/') + 1) + iconName;
  const std::string png(reinterpret_cast<const char*>(vornaskIconPng), vornaskIconPngSize);
  if (int err = platform::writeFileAtomically(icon, png, 0644)) return err;
  const std::string entry = desktopEntryText(target, icon);
  if (int err = platform::writeFileAtomically(desktop + entryName, entry, 0755)) return err;
  const std::string dataHome = platform::dataHome();
  if (dataHome.empty()) return ENOENT;
  const std::string menu = dataHome + "/applications";
  if (int err = platform::createFolderLevels(menu)) return err;
  return platform::writeFileAtomically(menu + entryName, entry, 0755);
}

}  // namespace

void runInstallation(const std::string& folderText, bool shortcut) {
  if (folderText.empty()) {
    showErrorBox("Не удалось узнать путь для установки", 0);
    return;
  }
  errno = 0;
  const std::string running = platform::modulePath();
  const int runningError = errno;
  // Relative texts lie in the folder the installer runs from, so the copy there knows its folder.
  const std::string runningFolder =
      running.empty() ? std::string() : std::filesystem::path(running).parent_path().string();
  const std::string absolute = absoluteFolder(folderText, platform::homeFolder(), runningFolder);
  const std::string folder = withFinalSlash(absolute);
  record(recordedFolder(absolute));

  if (int err = platform::createFolderLevels(folder)) {
    showErrorBox("Не удалось создать указанный путь", err);
    return;
  }

  const std::string target = folder + installedName;
  if (running.empty()) {
    showErrorBox("Не удалось узнать исполняемый файл", runningError);
    return;
  }
  std::error_code linkError;  // the running executable's path is a real one
  if (running != target && std::filesystem::canonical(target, linkError) != running) {
    platform::terminateProcessesRunning(target);
    // Copied beside the target and renamed over it: a failed copy leaves nothing.
    if (!platform::copyFile(running, target)) {
      showErrorBox("Не удалось скопировать файл в указанную директорию", errno);
      return;
    }
  }

  if (shortcut) {
    std::string desktop;
    if (int err = platform::desktopFolder(desktop)) {
      showErrorBox("Не удалось получить путь к Рабочему столу", err);
      return;
    }
    if (int err = createEntries(target, desktop)) {
      showErrorBox("Не удалось создать ярлык", err);
      return;
    }
  }

  if (platform::spawnProcess(target, "", folder) < 0) showErrorBox("Не удалось запустить клиент", errno);
}

}  // namespace installer

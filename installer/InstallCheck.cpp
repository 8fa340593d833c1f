#include "installer/InstallCheck.h"

#include <unistd.h>

#include <cstdio>

#include "installer/InstallerWindow.h"
#include "installer/PathList.h"
#include "platform/registry/Registry.h"
#include "platform/ui/Console.h"
#include "shell/Startup.h"

namespace installer {

bool installCheck(const std::string& executableFolder) {
  platform::RegistryKey key;
  std::string value;
  if (key.open(shell::registryRoot(), shell::registryKeyName) == 0 &&
      key.queryString(pathValueName, value, pathValueBytes) == 0 &&
      listsFolder(value, executableFolder, true))
    return true;
  platform::ui::startConsole(STDIN_FILENO, stderr);
  {
    installer::InstallerWindow window;
    window.run();
  }
  platform::ui::stopConsole();
  return false;
}

}  // namespace installer

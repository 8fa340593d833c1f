#include "shell/InstallCheck.h"

#include <unistd.h>

#include <cstdio>

#include "installer/InstallerWindow.h"
#include "installer/PathList.h"
#include "platform/registry/Registry.h"
#include "platform/ui/Console.h"
#include "shell/Startup.h"

namespace shell {

bool installCheck(const std::string& executableFolder) {
  platform::RegistryKey key;
  std::string value;
  if (key.open(registryRoot(), registryKeyName) == 0 &&
      key.queryString(installer::pathValueName, value, installer::pathValueBytes) == 0 &&
      installer::listsFolder(value, executableFolder, true))
    return true;
  platform::ui::startConsole(STDIN_FILENO, stderr);
  {
    installer::InstallerWindow window;
    window.run();
  }
  platform::ui::stopConsole();
  return false;
}

}  // namespace shell

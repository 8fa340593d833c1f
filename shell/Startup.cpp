#include "shell/Startup.h"

#include <unistd.h>

#include <cstdio>

#include "platform/ui/Console.h"
#include "platform/ui/MessageLoop.h"
#include "shell/Client.h"
#include "shell/Invoker.h"
#include "shell/Replacement.h"

namespace shell {
namespace {

platform::RegistryRoot root;
bool ole = false;

}  // namespace

const char* const registryKeyName = "Software\\Ondrel\\Vornask";

void openRegistryRoot() {
  root = platform::openCurrentUser();
}
const platform::RegistryRoot& registryRoot() {
  if (root.folder.empty()) openRegistryRoot();
  return root;
}

// Nothing to set up for the control on this platform; the flag keeps the order of start-up.
bool initialiseOle() {
  if (!ole) ole = true;
  return ole;
}
bool oleInitialised() {
  return ole;
}

int runClient(const StartOptions& options, const Wiring& wiring, ClientParts parts) {
  namespace ui = platform::ui;
  openRegistryRoot();
  initialiseOle();
  if (!options.noStupidPath) {
    if (wiring.installCheck && !wiring.installCheck(options.executableFolder)) return 0;
    if (!options.executableFolder.empty() && ::chdir(options.executableFolder.c_str()) != 0)
      std::perror("Vornask: chdir");
  }
  ui::ensureMessageQueue();
  ui::setMessageDisposer(disposeThreadMessage);
  const ui::ThreadId uiThread = ui::currentThreadId();
  if (wiring.prepareHttp) wiring.prepareHttp(std::string("Vornask client v") + clientVersion, uiThread);
  ui::startConsole(STDIN_FILENO, stderr);
  {
    Client client(options, uiThread, std::move(parts));
    client.startFileList();
    client.runMessageLoop();
  }
  ui::stopConsole();
  ui::closeMessageQueue();
  return 0;
}

int runProgram(const std::string& modulePath, const std::vector<std::string>& arguments, const Wiring& wiring,
               ClientParts parts) {
  // The arguments arrive split already; no program path means the path is the only item, as
  // with an empty command line.
  const StartOptions options =
      readArguments(arguments.empty() ? std::vector<std::string>{modulePath} : arguments, modulePath);
  if (options.replacement) {
    runReplacement(options.executableFolder + "/" + options.executableFileName, options.replacementTarget,
                   options.replacementArguments);
    return 0;
  }
  return runClient(options, wiring, std::move(parts));
}

}  // namespace shell

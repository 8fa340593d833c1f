#include "shell/Startup.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "logging/Log.h"
#include "logging/LogParticipant.h"
#include "platform/files/FolderLock.h"
#include "platform/files/StartSignal.h"
#include "platform/ui/Console.h"
#include "platform/ui/MessageLoop.h"
#include "shell/Client.h"
#include "shell/Log.h"
#include "shell/Replacement.h"
#include "shell/ThreadMessages.h"
#include "shell/Version.h"

namespace shell {
namespace {

platform::RegistryRoot root;

std::string workingFolder() {
  char buffer[4096];
  return ::getcwd(buffer, sizeof buffer) ? buffer : ".";
}

}  // namespace

MLOG_DEFINE_PARTICIPANT(clientLog, "client")

const char* const clientVersion = "1.7.0";
const char* const registryKeyName = "Software\\Ondrel\\Vornask";

void openRegistryRoot() {
  root = platform::openCurrentUser();
}
const platform::RegistryRoot& registryRoot() {
  if (root.folder.empty()) openRegistryRoot();
  return root;
}

int runClient(const StartOptions& options, ClientParts parts) {
  namespace ui = platform::ui;
  openRegistryRoot();
  if (!options.skipInstallCheck) {
    if (parts.installCheck && !parts.installCheck(options.executableFolder)) return 0;
    if (!options.executableFolder.empty() && ::chdir(options.executableFolder.c_str()) != 0) {
      MLOG(clientLog(), mlog::Error) << "chdir " << options.executableFolder << ": " << std::strerror(errno);
    }
  }
  // One client per working folder: a second one would resume into the first
  // one's temporary downloads.
  platform::FolderLock lock;
  if (const int error = lock.take(folderLockName)) {
    if (error == EWOULDBLOCK) {
      const int signalled = platform::signalStart(startSignalName, platform::startToken());
      MLOG(clientLog(), mlog::Info) << "another client runs in " << workingFolder()
                                    << (signalled ? "; this one ends"
                                                  : "; its window comes to the front, this one ends");
      if (signalled) {
        MLOG(clientLog(), mlog::Debug) << "the running client was not reached: " << std::strerror(signalled);
      }
      return 0;
    }
    MLOG(clientLog(), mlog::Warning) << "the folder " << workingFolder()
                                     << " cannot be locked: " << std::strerror(error);
  }
  ui::ensureMessageQueue();
  ui::setMessageDisposer(disposeThreadMessage);
  const ui::ThreadId uiThread = ui::currentThreadId();
  if (parts.prepareHttp) parts.prepareHttp(std::string("Vornask client v") + clientVersion, uiThread);
  ui::startConsole(STDIN_FILENO, stderr);
  {
    Client client(options, uiThread, std::move(parts));
    platform::StartSignalListener startSignal;
    if (lock.held()) {
      const int error = startSignal.listen(startSignalName, [&client, uiThread](const std::string& token) {
        post(uiThread, InvokeMessage{[&client, token] { client.bringToFront(token); }});
      });
      if (error) {
        MLOG(clientLog(), mlog::Warning) << "a later start in " << workingFolder()
                                         << " cannot reach this client: " << std::strerror(error);
      }
    }
    client.startFileList();
    client.runMessageLoop();
  }
  ui::stopConsole();
  ui::closeMessageQueue();
  return 0;
}

int runProgram(const std::string& modulePath, const std::vector<std::string>& arguments, ClientParts parts) {
  // The arguments arrive split already; no program path means the path is the only item, as
  // with an empty command line.
  const StartOptions options =
      readArguments(arguments.empty() ? std::vector<std::string>{modulePath} : arguments, modulePath);
  if (options.replacement) {
    runReplacement(options.executableFolder + "/" + options.executableFileName, options.replacementTarget,
                   options.replacementArguments);
    return 0;
  }
  return runClient(options, std::move(parts));
}

}  // namespace shell

#include "app/ClientWorkflow.h"

#include <strings.h>
#include <cerrno>

#include "launcher/LauncherWindow.h"
#include "platform/process/Process.h"
#include "platform/ui/MessageLoop.h"
#include "shell/Client.h"
#include "shell/Startup.h"
#include "shell/ThreadMessages.h"
#include "updater/MnetTransport.h"
#include "updater/UpdateWorkflow.h"

namespace app {

namespace {

using updater::UpdateWorkflow;
using updater::WorkflowOptions;

WorkflowOptions optionsOf(const shell::StartOptions& start) {
  WorkflowOptions options;
  options.executableFolder = start.executableFolder;
  options.executableName = start.executableFileName;
  options.argumentText = start.argumentText;
  options.user = start.user;
  options.password = start.password;
  options.debug = start.debug;
  options.noDownload = start.noDownload;
  options.noClientUpdate = start.noClientUpdate;
  options.updateKey = updater::configuredUpdateKey();
  options.registryRoot = shell::registryRoot();
  options.registryKey = shell::registryKeyName;
  for (const std::string& item : start.items)
    if (::strcasecmp(item.c_str(), "verify") == 0) options.verify = true;
  return options;
}

// The update workflow on the Client's launcher window, over mnet.
class ClientWorkflow : public shell::UpdateHandler, private updater::WorkflowHost {
 public:
  explicit ClientWorkflow(shell::Client& client)
      : client_(client), workflow_(*this, transport_, optionsOf(client.options())) {}

  void onLauncherCreated() override {
    launcher().setTimer(Launcher::Timer::Progress, Launcher::progressPeriodMs);
    workflow_.launcherCreated();
  }
  void startFileList() override { workflow_.startFileList(); }
  void onActionButton() override { workflow_.buttonPressed(); }
  void onCheckBox() override { workflow_.checkBoxClicked(); }
  void onProgressTimer() override { workflow_.onProgressTick(); }
  void onRestartTimer() override { workflow_.onRestart(); }
  void stopDownload() override { workflow_.stopDownload(); }

 private:
  using Launcher = launcher::LauncherWindow;
  Launcher& launcher() { return client_.launcher(); }

  void setStatus(const std::string& text) override { launcher().setStatus(text); }
  void setError(const std::string& text) override { launcher().setError(text); }
  void setCaption(const std::string& text) override { launcher().setButtonCaption(text); }
  void enableCheckBox(bool enabled) override { launcher().setCheckEnabled(enabled); }
  bool checkBoxChecked() const override { return client_.launcher().isChecked(); }
  void setCheckBox(bool checked) override { launcher().setChecked(checked); }
  void setProgressMarquee(bool marquee) override { launcher().setProgressMarquee(marquee); }
  void setProgressRange(int maximum) override { launcher().setProgressRange(0, maximum); }
  void setProgressPosition(int position) override { launcher().setProgressPos(position); }
  void showProgress(bool shown) override { launcher().showProgress(shown); }
  void showLauncher(bool shown) override {
    if (shown)
      launcher().show();
    else
      launcher().hide();
  }
  void redraw() override { launcher().redraw(); }
  void startRestartTimer(unsigned ms) override { launcher().setTimer(Launcher::Timer::Restart, ms); }
  void stopRestartTimer() override { launcher().killTimer(Launcher::Timer::Restart); }

  GameWindow openGameWindow() override {
    if (!client_.makeGameWindow()) return GameWindow::Failed;
    return client_.gameWindowVisible() ? GameWindow::Visible : GameWindow::Hidden;
  }
  void post(std::function<void()> job) override {
    shell::post(client_.uiThread(), shell::InvokeMessage{std::move(job)});
  }
  void quit() override { platform::ui::postQuitMessage(0); }
  int startProcess(const std::string& application, const std::string& commandLine) override {
    return platform::spawnProcess(application, commandLine) > 0 ? 0 : errno;
  }
  void terminateProcessesOf(const std::string& path) override { platform::terminateProcessesRunning(path); }

  shell::Client& client_;
  updater::MnetTransport transport_;
  UpdateWorkflow workflow_;
};

}  // namespace

std::unique_ptr<shell::UpdateHandler> makeClientWorkflow(shell::Client& client) {
  return std::make_unique<ClientWorkflow>(client);
}

}  // namespace app

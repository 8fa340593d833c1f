// The update workflow plugged into the shell's Client.
#include <cerrno>

#include "launcher/LauncherWindow.h"
#include "platform/process/Process.h"
#include "platform/ui/MessageLoop.h"
#include "shell/Client.h"
#include "shell/Invoker.h"
#include "shell/Startup.h"
#include "shell/UpdateHandler.h"
#include "updater/MnetTransport.h"
#include "updater/UpdateWorkflow.h"

namespace updater {

namespace {

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
  options.updateKey = configuredUpdateKey();
  options.registryRoot = shell::registryRoot();
  return options;
}

class ClientWorkflow : public shell::UpdateHandler, private WorkflowHost {
 public:
  explicit ClientWorkflow(shell::Client& client)
      : client_(client), workflow_(*this, transport_, optionsOf(client.options())) {}

  void onLauncherCreated() override {
    launcher().setTimer(launcher::LauncherWindow::ProgressTimer, 300);
    workflow_.launcherCreated();
  }
  void startFileList() override { workflow_.startFileList(); }
  void onActionButton() override { workflow_.buttonPressed(); }
  void onCheckBox() override { workflow_.checkBoxClicked(); }
  void onProgressTimer() override { workflow_.timer(UpdateWorkflow::pollTimer); }
  void onRestartTimer() override { workflow_.timer(UpdateWorkflow::restartTimer); }
  void stopDownload() override { workflow_.stopDownload(); }

 private:
  launcher::LauncherWindow& launcher() { return client_.launcher(); }

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
  void startRestartTimer() override { launcher().setTimer(launcher::LauncherWindow::RestartTimer, 3000); }
  void stopRestartTimer() override { launcher().killTimer(launcher::LauncherWindow::RestartTimer); }

  GameWindow openGameWindow() override {
    if (!client_.makeGameWindow()) return GameWindow::Failed;
    return client_.gameWindowVisible() ? GameWindow::Visible : GameWindow::Hidden;
  }
  void post(boost::function<void()> job) override { shell::postToThread(client_.uiThread(), job); }
  void quit() override { platform::ui::postQuitMessage(0); }
  int startProcess(const std::string& application, const std::string& commandLine) override {
    return platform::spawnProcess(application, commandLine) > 0 ? 0 : errno;
  }
  void terminateProcessesOf(const std::string& path) override { platform::terminateProcessesRunning(path); }

  shell::Client& client_;
  MnetTransport transport_;
  UpdateWorkflow workflow_;
};

}  // namespace

}  // namespace updater

std::unique_ptr<shell::UpdateHandler> shell::createUpdateWorkflow(Client& client) {
  return std::make_unique<updater::ClientWorkflow>(client);
}

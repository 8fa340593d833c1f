#include "updater/UpdateWorkflow.h"

#include "updater/FileCheck.h"
#include "updater/Install.h"
#include "updater/Settings.h"
#include "updater/UpdatePlan.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <system_error>

namespace updater {

namespace {

const char* const downloadFolder = "download";

std::string loadError(int code) {
  return "Ошибка загрузки: " + std::to_string(code);
}

// Runs `call` only while the workflow behind `alive` still exists.
template <class F>
boost::function<void()> guarded(const std::weak_ptr<bool>& alive, F call) {
  return [alive, call] {
    if (alive.lock()) call();
  };
}

}  // namespace

UpdateWorkflow::UpdateWorkflow(WorkflowHost& host, WorkflowNet& net, const WorkflowOptions& options)
    : host_(host),
      net_(net),
      options_(options),
      baseUrl_(updater::baseUrl(options.debug, options.user, options.password)),
      signing_(options.updateKey, options.registryRoot),
      alive_(std::make_shared<bool>(true)) {}

UpdateWorkflow::~UpdateWorkflow() {
  alive_.reset();
  download_.reset();
}

void UpdateWorkflow::launcherCreated() {
  readSettings();
  if (fullyDownloaded_)
    launchGame();
  else
    host_.showLauncher(true);
}

void UpdateWorkflow::updateCaption() {
  host_.setCaption(busy_ ? "Отмена" : error_.empty() ? "Запуск" : "Повторить");
}

void UpdateWorkflow::setError(const std::string& text) {
  error_ = text;
  host_.setError(text);
  updateCaption();
}

void UpdateWorkflow::setBusy(bool busy) {
  busy_ = busy;
  host_.enableCheckBox(!busy);
  updateCaption();
}

void UpdateWorkflow::startFileList() {
  // The new plan replaces the one a running download belongs to, and a
  // restart still pending would stop the next download the player starts.
  stopDownload();
  host_.stopRestartTimer();
  host_.setStatus("Получение списка файлов");
  setError("");
  host_.setProgressMarquee(false);
  host_.setProgressRange(0);
  host_.showProgress(false);
  host_.setProgressMarquee(true);
  setBusy(true);
  if (listInFlight_)
    listAgain_ = true;  // a cancelled request would take the new one down with it
  else
    requestFileList();
  host_.redraw();
}

void UpdateWorkflow::requestFileList() {
  listInFlight_ = true;
  const std::weak_ptr<bool> alive = alive_;
  net_.getData(
      fileListUrl(baseUrl_, tickCount()),
      [this, alive](int percent) {
        if (alive.lock()) fileListProgress(percent);
      },
      [this, alive](int code, const std::string& body) {
        if (alive.lock()) listArrived(code, body);
      });
}

void UpdateWorkflow::fileListProgress(int) {
  host_.setProgressPosition(0);
  host_.redraw();
}

void UpdateWorkflow::fileListFinished(int code, const std::string& body, const std::string& failure) {
  listInFlight_ = false;
  if (listAgain_) {
    listAgain_ = false;
    requestFileList();
    return;
  }
  if (code != 0 || !failure.empty()) {
    setError(failure.empty() ? loadError(code) : failure);
    setBusy(false);
    host_.showProgress(false);
    return;
  }
  completedBytes_ = 0;
  PlanOptions options;
  options.noDownload = options_.noDownload;
  options.noClientUpdate = options_.noClientUpdate;
  options.executableFolder = options_.executableFolder;
  options.executableName = options_.executableName;
  options.terminateLeftover = [this](const std::string& path) { host_.terminateProcessesOf(path); };
  plan_ = buildPlan(body, options);
  setBusy(false);
  host_.showProgress(false);
  planSummary();
  host_.redraw();
}

int UpdateWorkflow::progressValue(uint64_t bytes) const {
  return static_cast<int>(std::min<uint64_t>(bytes >> progressShift_, INT_MAX));
}

void UpdateWorkflow::planSummary() {
  const uint64_t size = updateSize(plan_, host_.checkBoxChecked());
  host_.setProgressMarquee(false);
  progressShift_ = 0;
  while ((size >> progressShift_) > static_cast<uint64_t>(INT_MAX)) ++progressShift_;
  host_.setProgressRange(progressValue(size));
  if (size == 0) {
    host_.setStatus("Нечего обновлять");
    return;
  }
  host_.setStatus(plan_.front().client ? "Необходимо обновить клиент."
                                       : "Размер обновления: " + sizeText(size));
  host_.showLauncher(true);
}

void UpdateWorkflow::buttonPressed() {
  if (!busy_) {
    processPlan(0, false);
    return;
  }
  if (listInFlight_) net_.cancelAll();
  startFileList();
}

void UpdateWorkflow::stopDownload() {
  ++downloadSerial_;
  download_.reset();
}

void UpdateWorkflow::checkBoxClicked() {
  planSummary();
  writeSettings();
}

void UpdateWorkflow::timer(int id) {
  if (id == restartTimer) {
    startFileList();
    return;
  }
  if (!download_) return;
  const uint64_t count = download_->downloaded();
  if (count == shownBytes_) return;
  shownBytes_ = count;
  host_.setProgressPosition(progressValue(completedBytes_ + count));
  host_.redraw();
}

void UpdateWorkflow::processPlan(size_t index, bool acceptUnverified) {
  for (;;) {
    if (!host_.checkBoxChecked())
      while (index < plan_.size() && plan_[index].sound) ++index;
    acceptUnverified_ = acceptUnverified;
    if (index >= plan_.size()) break;

    UpdateEntry& entry = plan_[index];
    host_.setStatus("Загружаем: " + entry.target);
    setError("");
    shownBytes_ = 0;
    host_.setProgressPosition(progressValue(completedBytes_));
    setBusy(true);
    host_.showProgress(true);
    entry.started = true;
    const bool running = startEntry(index, acceptUnverified);
    host_.redraw();
    if (running) return;
    // A temporary file completed by an earlier run counts as finished at once.
    completedBytes_ += entry.size;
    ++index;
    acceptUnverified = false;
    host_.setProgressPosition(progressValue(completedBytes_));
  }

  if (!finishEntries()) return;
  if (!plan_.empty() && plan_.front().client) {
    relaunchClient();
    return;
  }
  deleteFilesIn(downloadFolder);
  launchGame();
}

bool UpdateWorkflow::startEntry(size_t index, bool acceptUnverified) {
  const UpdateEntry& entry = plan_[index];
  const std::string temporary = temporaryPath(entry);
  if (acceptUnverified) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
  } else if (temporaryVerified(entry)) {
    return false;
  }
  const unsigned serial = ++downloadSerial_;
  WorkflowHost& host = host_;
  const std::weak_ptr<bool> alive = alive_;
  download_ = net_.makeDownload(fileUrl(baseUrl_, entry.name), temporary, entry.size,
                                [this, &host, alive, serial, index](int action, int code) {
                                  host.post(guarded(alive, [this, serial, index, action, code] {
                                    entryFinished(serial, index, action, code);
                                  }));
                                });
  download_->start();
  return true;
}

void UpdateWorkflow::entryFinished(unsigned serial, size_t index, int action, int code) {
  if (serial != downloadSerial_) return;  // a download that was cancelled or replaced
  download_.reset();
  if (action != 0) {
    setError(loadError(code));
    host_.redraw();
    host_.startRestartTimer();
    return;
  }
  const UpdateEntry& entry = plan_[index];
  bool accept = false;
  if ((acceptUnverified_ && !signing_.enabled()) || temporaryVerified(entry)) {
    completedBytes_ += entry.size;
    ++index;
  } else if (acceptUnverified_) {
    fileCorrupted(entry);  // a signed file that failed twice
    return;
  } else {
    accept = true;  // one fresh download, taken without a check
  }
  host_.setProgressPosition(progressValue(completedBytes_));
  processPlan(index, accept);
}

bool UpdateWorkflow::finishEntries() {
  for (const UpdateEntry& entry : plan_) {
    if (!entry.started) continue;
    const std::string temporary = temporaryPath(entry);
    const std::string failure =
        entry.client ? renameOver(temporary, entry.target) : moveIntoPlace(temporary, entry.target);
    if (failure.empty()) {
      if (entry.client) makeExecutable(entry.target);
      continue;
    }
    host_.setStatus("Перемещаем: " + entry.target);
    setError(failure);
    host_.redraw();
    host_.startRestartTimer();
    return false;
  }
  return true;
}

void UpdateWorkflow::relaunchClient() {
  const UpdateEntry& entry = plan_.front();
  if (!installedIntact(entry.name, entry.target)) return;
  const std::string commandLine =
      "\"@" + options_.executableFolder + "/" + options_.executableName + "\" " + options_.argumentText;
  // The old client stays when the new one cannot start.
  if (const int error = host_.startProcess(entry.target, commandLine)) {
    setError(std::generic_category().message(error));
    host_.redraw();
    return;
  }
  host_.quit();
}

void UpdateWorkflow::launchGame() {
  if (!installedIntact("download/flash.cab", "flash.cab")) {
    host_.showLauncher(true);
    return;
  }
  if (!fullyDownloaded_) {
    fullyDownloaded_ = true;
    writeSettings();
  }
  switch (host_.openGameWindow()) {
    case WorkflowHost::GameWindow::Failed:
      host_.showLauncher(true);
      break;
    case WorkflowHost::GameWindow::Visible:
      host_.showLauncher(false);
      break;
    case WorkflowHost::GameWindow::Hidden:
      break;
  }
}

void UpdateWorkflow::readSettings() {
  for (const auto& [key, value] : updater::readSettings(settingsFileName)) {
    if (key == "downloadSounds") {
      host_.setCheckBox(value != 0);
      planSummary();
    } else if (key == "fullyDownloaded") {
      fullyDownloaded_ = value != 0;
    }
  }
}

void UpdateWorkflow::writeSettings() {
  updater::writeSettings(settingsFileName, host_.checkBoxChecked(), fullyDownloaded_);
}

}  // namespace updater

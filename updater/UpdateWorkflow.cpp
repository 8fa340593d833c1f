#include "updater/UpdateWorkflow.h"

#include "logging/Log.h"
#include "net/RetryPolicy.h"
#include "updater/Logs.h"
#include "updater/Settings.h"
#include "updater/StartRecord.h"
#include "updater/UpdatePlan.h"

#include <algorithm>
#include <climits>

namespace updater {

namespace {

// The first wait is the launcher's classic 3 s; growth stops at 5 minutes, so a long outage
// costs the server one request per player every few minutes.
const std::chrono::milliseconds firstRestart{3000};
const std::chrono::milliseconds longestRestart{300000};

}  // namespace

unsigned restartDelayMs(int failures, double random) {
  return static_cast<unsigned>(mnet::backoff(firstRestart, longestRestart, failures - 1, random).count());
}

std::string UpdateWorkflow::loadError(int code) {
  return "Ошибка загрузки: " + std::to_string(code);
}

UpdateWorkflow::UpdateWorkflow(WorkflowHost& host, WorkflowNet& net, const WorkflowOptions& options)
    : host_(host),
      net_(net),
      options_(options),
      baseUrl_(updater::baseUrl(options.debug, options.user, options.password)),
      signing_(options.updateKey, options.registryRoot, options.registryKey),
      alive_(std::make_shared<bool>(true)) {}

UpdateWorkflow::~UpdateWorkflow() {
  alive_.reset();
  download_.reset();
  if (worker_.joinable()) worker_.join();
}

void UpdateWorkflow::offUiThread(std::function<std::function<void()>()> work) {
  if (worker_.joinable()) worker_.join();
  WorkflowHost& host = host_;
  const std::weak_ptr<bool> alive = alive_;
  worker_ = std::thread([&host, alive, work] {
    std::function<void()> then = work();
    host.post([alive, then] {
      if (alive.lock()) then();
    });
  });
}

void UpdateWorkflow::launcherCreated() {
  readSettings();
  if (fullyDownloaded_)
    launchGame();
  else
    host_.showLauncher(true);
}

void UpdateWorkflow::updateCaption() {
  const char* caption = busy_ ? "Отмена" : error_.empty() ? "Запуск" : "Повторить";
  host_.setCaption(caption);
  MLOG(updaterLog(), mlog::Debug) << "button: " << caption;
}

void UpdateWorkflow::setError(const std::string& text) {
  error_ = text;
  host_.setError(text);
  updateCaption();
}

void UpdateWorkflow::failRound(const std::string& error) {
  setError(error);
  host_.redraw();
  ++failedRounds_;
  host_.startRestartTimer(
      restartDelayMs(failedRounds_, options_.random ? options_.random() : mnet::uniformRandom()));
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
  ++listSerial_;
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
      fileListUrl(baseUrl_, tickCount()), listFetchLimit,
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
  std::string leftover;
  options.terminateLeftover = [&leftover](const std::string& path) { leftover = path; };
  StartRecord record = options_.verify ? StartRecord() : StartRecord::load(startRecordName);
  const StartRecord loaded = record;
  options.record = &record;
  plan_ = buildPlan(body, options);
  // A record that cannot be written only costs the next start a full read.
  if (!(record == loaded)) record.save(startRecordName);
  const unsigned serial = listSerial_;
  if (leftover.empty()) {
    planReady(serial);
    return;
  }
  // Ending a leftover process waits for it; the window stays responsive meanwhile.
  WorkflowHost& host = host_;
  offUiThread([&host, leftover, this, serial] {
    host.terminateProcessesOf(leftover);
    return std::function<void()>([this, serial] { planReady(serial); });
  });
}

void UpdateWorkflow::planReady(unsigned serial) {
  if (serial != listSerial_) return;  // the player asked for the list again meanwhile
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

void UpdateWorkflow::onRestart() {
  startFileList();
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

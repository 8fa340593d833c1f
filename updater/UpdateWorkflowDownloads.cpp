// The download half of the update cycle: each planned file in turn, its check, the move
// into place, and the client's self-replacement.
#include "updater/UpdateWorkflow.h"

#include "net/DownloadResume.h"
#include "updater/FileCheck.h"
#include "updater/Install.h"
#include "updater/UpdatePlan.h"

#include <filesystem>
#include <system_error>

namespace updater {

namespace {

const char* const downloadFolder = "download";

// Runs `call` only while the workflow behind `alive` still exists.
template <class F>
std::function<void()> guarded(const std::weak_ptr<bool>& alive, F call) {
  return [alive, call] {
    if (alive.lock()) call();
  };
}

}  // namespace

void UpdateWorkflow::onProgressTick() {
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
    mnet::discardResume(temporary);  // nothing of the last run is kept
  } else if (temporaryVerified(entry)) {
    return false;
  }
  const unsigned serial = ++downloadSerial_;
  if (!acceptUnverified && startDelta(index, serial)) return true;
  beginDownload(index, serial);
  return true;
}

void UpdateWorkflow::beginDownload(size_t index, unsigned serial) {
  const UpdateEntry& entry = plan_[index];
  const std::string temporary = temporaryPath(entry);
  WorkflowHost& host = host_;
  const std::weak_ptr<bool> alive = alive_;
  // The finished file is checked on the download's thread, so the UI never waits for the read.
  const FileExpectation expected = signing_.expectation(entry.name, temporary, entry.size, entry.crc);
  download_ =
      net_.makeDownload(sourcesOf(entry), temporary, entry.size, oneSourceAtATime_,
                        [this, &host, alive, serial, index, expected](mnet::DownloadAction action, int code) {
                          const bool verified = action == mnet::DownloadAction::Finished && expected.holds();
                          host.post(guarded(alive, [this, serial, index, action, code, verified] {
                            entryFinished(serial, index, action, code, verified);
                          }));
                        });
  download_->start();
}

void UpdateWorkflow::entryFinished(unsigned serial, size_t index, mnet::DownloadAction action, int code,
                                   bool verified) {
  if (serial != downloadSerial_) return;  // a download that was cancelled or replaced
  const std::vector<std::string> used = download_ ? download_->sourcesUsed() : std::vector<std::string>();
  download_.reset();
  if (action != mnet::DownloadAction::Finished) {
    failRound(loadError(code));
    return;
  }
  const UpdateEntry& entry = plan_[index];
  if (!mirrors_.empty() && judgeMirrors(index, verified, used)) return;
  bool again = false;
  if (verified) {
    failedRounds_ = 0;
    completedBytes_ += entry.size;
    ++index;
  } else if (acceptUnverified_) {
    fileCorrupted(entry);  // failed twice: never moved into place
    return;
  } else {
    again = true;  // one fresh download
  }
  host_.setProgressPosition(progressValue(completedBytes_));
  processPlan(index, again);
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
    failRound(failure);
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

}  // namespace updater

#pragma once

#include "platform/registry/Registry.h"
#include "updater/UpdateEntry.h"
#include "updater/UpdateSigning.h"
#include "updater/WorkflowHost.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace updater {

struct WorkflowOptions {
  std::string executableFolder;
  std::string executableName;
  std::string argumentText;  // every argument, joined by single spaces
  std::string user;
  std::string password;
  bool debug = false;
  bool noDownload = false;
  bool noClientUpdate = false;
  std::string updateKey;  // base64; empty: the list and files are not signed
  // Where the accepted serial is kept, beside "path"; an empty root is the current user's.
  platform::RegistryRoot registryRoot;
  std::string registryKey;
  bool verify = false;  // "verify": every file is read, whatever the start record holds
  // Jitter of the restart's wait, uniform in [0, 1); empty: random.
  std::function<double()> random;
};

// The wait before the cycle starts again after `failures` failed rounds in a row (from 1):
// 3 s, then up to 6 s, 12 s … 5 min, jittered by `random` in [0, 1).
unsigned restartDelayMs(int failures, double random);

// The update cycle of the launcher window: file list, plan, downloads,
// moving into place, self-replacement and launching the game. UI thread only.
class UpdateWorkflow {
 public:
  UpdateWorkflow(WorkflowHost& host, WorkflowNet& net, const WorkflowOptions& options);
  ~UpdateWorkflow();
  UpdateWorkflow(const UpdateWorkflow&) = delete;
  UpdateWorkflow& operator=(const UpdateWorkflow&) = delete;

  // The launcher window exists: read the settings, then open the game at
  // once (fully downloaded) or show the launcher window.
  void launcherCreated();
  void startFileList();
  void buttonPressed();
  void checkBoxClicked();
  // The launcher's progress timer: shows the bytes of the running download.
  void onProgressTick();
  // The restart timer after a failure: the cycle starts again with the file list.
  void onRestart();
  void launchGame();
  // Destroys the current download; its end report is dropped.
  void stopDownload();

  const std::string& baseUrl() const { return baseUrl_; }
  const std::vector<UpdateEntry>& plan() const { return plan_; }
  bool busy() const { return busy_; }
  bool fullyDownloaded() const { return fullyDownloaded_; }

 private:
  // The file list and the plan (UpdateWorkflow.cpp).
  // `failure`, when given, is the error line instead of the code's.
  void fileListFinished(int code, const std::string& body, const std::string& failure = std::string());
  void fileListProgress(int percent);
  void requestFileList();
  // The mirror list after an accepted file list, then the plan (UpdateWorkflowMirrors.cpp).
  void requestMirrors(const std::string& list);
  std::vector<std::string> sourcesOf(const UpdateEntry& entry) const;
  // True when the download's only server was a mirror, which is then left for this update.
  bool leaveMirrorThatServed(const std::vector<std::string>& used);
  // After a file from the mirrors was checked: true when it is being fetched again because
  // a mirror served it wrong.
  bool judgeMirrors(size_t index, bool verified, const std::vector<std::string>& used);
  void planSummary();
  // The downloads, one file at a time (UpdateWorkflowDownloads.cpp).
  void processPlan(size_t index, bool acceptUnverified);
  bool startEntry(size_t index, bool acceptUnverified);
  void beginDownload(size_t index, unsigned serial);
  // The delta from the local copy (UpdateWorkflowDelta.cpp): false when the entry has none
  // to start from; else its block index is requested and the download begins once it is in.
  bool startDelta(size_t index, unsigned serial);
  void blockIndexArrived(unsigned serial, size_t index, int code, const std::string& body);
  // `verified`: the temporary file is what the list (and its signature) says.
  void entryFinished(unsigned serial, size_t index, mnet::DownloadAction action, int code, bool verified);
  bool finishEntries();
  void relaunchClient();
  // Which list is taken, and whether a file may be used (SignedWorkflow.cpp).
  void listArrived(int code, const std::string& body);
  // Step 0 the manifest, 1 the root statements, 2 the endorsement.
  void fetchTrustText(size_t step, const TrustInput& input);
  void judgeTrust(const TrustInput& input);
  bool temporaryVerified(const UpdateEntry& entry) const;
  void fileCorrupted(const UpdateEntry& entry);
  bool installedIntact(const std::string& name, const std::string& path);
  // Runs `work` on a thread of its own; what it returns runs on the UI thread afterwards
  // (not after the workflow is gone). One job at a time.
  void offUiThread(std::function<std::function<void()>()> work);
  // The list is in and the plan made: the summary (after any leftover process is gone).
  void planReady(unsigned serial);
  void deltaPrepared(unsigned serial, size_t index, bool prepared, bool complete, bool verified);
  void updateCaption();
  // Byte counts on the progress bar, scaled down so that the update's size fits an int.
  int progressValue(uint64_t bytes) const;
  static std::string loadError(int code);
  void setError(const std::string& text);
  // The round failed: the error line says why, and the cycle starts again after a wait that
  // grows with the failed rounds in a row.
  void failRound(const std::string& error);
  void setBusy(bool busy);
  void readSettings();
  void writeSettings();

  WorkflowHost& host_;
  WorkflowNet& net_;
  WorkflowOptions options_;
  std::string baseUrl_;
  std::vector<UpdateEntry> plan_;
  bool busy_ = true;
  uint64_t completedBytes_ = 0;
  uint64_t shownBytes_ = 0;
  unsigned progressShift_ = 0;
  bool acceptUnverified_ = false;  // the entry's second download: failing its check ends the update
  bool fullyDownloaded_ = false;
  std::string error_;
  int failedRounds_ = 0;  // in a row; a file that arrives whole ends the run of failures
  std::unique_ptr<WorkflowDownload> download_;
  std::vector<std::string> mirrors_;   // base URLs from the web host's mirror list
  std::set<std::string> badMirrors_;   // served a wrong file in this update
  bool oneSourceAtATime_ = false;      // after a file failed its check, until one passes
  std::vector<std::string> suspects_;  // the servers of a wrong file, until one passes
  unsigned downloadSerial_ = 0;        // completions of replaced downloads are dropped
  bool listInFlight_ = false;
  bool listAgain_ = false;  // fetch again once the running request reports back
  UpdateSigning signing_;
  std::shared_ptr<bool> alive_;
  std::thread worker_;
  unsigned listSerial_ = 0;  // a plan's summary waiting for a leftover process is dropped by a new fetch
};

}  // namespace updater

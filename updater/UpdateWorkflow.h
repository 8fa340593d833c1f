#pragma once

#include "platform/registry/Registry.h"
#include "updater/UpdateEntry.h"
#include "updater/UpdateSigning.h"
#include "updater/WorkflowHost.h"

#include <cstdint>
#include <memory>
#include <string>
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
};

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
  void updateCaption();
  // Byte counts on the progress bar, scaled down so that the update's size fits an int.
  int progressValue(uint64_t bytes) const;
  static std::string loadError(int code);
  void setError(const std::string& text);
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
  std::unique_ptr<WorkflowDownload> download_;
  unsigned downloadSerial_ = 0;  // completions of replaced downloads are dropped
  bool listInFlight_ = false;
  bool listAgain_ = false;  // fetch again once the running request reports back
  UpdateSigning signing_;
  std::shared_ptr<bool> alive_;
};

}  // namespace updater

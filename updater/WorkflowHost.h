#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/Download.h"

namespace updater {

// What the update workflow needs from the launcher window and the application.
// Everything is called on the UI thread unless said otherwise.
class WorkflowHost {
 public:
  virtual ~WorkflowHost() = default;

  virtual void setStatus(const std::string& text) = 0;
  virtual void setError(const std::string& text) = 0;
  virtual void setCaption(const std::string& text) = 0;
  virtual void enableCheckBox(bool enabled) = 0;
  virtual bool checkBoxChecked() const = 0;
  virtual void setCheckBox(bool checked) = 0;
  virtual void setProgressMarquee(bool marquee) = 0;
  // Range 0..maximum and position of the progress bar, as the control takes them.
  virtual void setProgressRange(int maximum) = 0;
  virtual void setProgressPosition(int position) = 0;
  virtual void showProgress(bool shown) = 0;
  virtual void showLauncher(bool shown) = 0;
  virtual void redraw() = 0;
  // The launcher window's one-shot restart timer; it reaches the workflow as onRestart().
  virtual void startRestartTimer(unsigned ms) = 0;
  virtual void stopRestartTimer() = 0;

  enum class GameWindow { Failed, Visible, Hidden };
  // Closes any game window and opens it anew.
  virtual GameWindow openGameWindow() = 0;
  // Runs `job` later on the UI thread; callable from any thread.
  virtual void post(std::function<void()> job) = 0;
  virtual void quit() = 0;
  // Starts `application` with a Windows-style command line (quoted items);
  // 0 or the system's error number.
  virtual int startProcess(const std::string& application, const std::string& commandLine) = 0;
  // Terminates running processes started from the executable at `path`, waiting for them.
  // Called off the UI thread.
  virtual void terminateProcessesOf(const std::string& path) = 0;
};

// One running segmented download, as the workflow sees it.
class WorkflowDownload {
 public:
  virtual ~WorkflowDownload() = default;  // stops a running download
  virtual void start() = 0;
  virtual uint64_t downloaded() const = 0;
  // The URLs given whose servers delivered bytes; after the end was reported.
  virtual std::vector<std::string> sourcesUsed() const { return {}; }
};

// Bounds of fetched texts. The list and its signature file grow with the files listed (room for
// over a hundred thousand); endorsements, root statements and block indexes stay far smaller.
constexpr size_t listFetchLimit = 16u << 20;
constexpr size_t statementFetchLimit = 1u << 20;

// The network side: the list request, cancelling, and downloads.
class WorkflowNet {
 public:
  virtual ~WorkflowNet() = default;
  // Body of `url`, at most `limit` bytes (past it the fetch fails with its code); completion
  // on the UI thread with (code, body).
  virtual void getData(const std::string& url, size_t limit, std::function<void(int)> onProgress,
                       std::function<void(int, const std::string&)> onData) = 0;
  virtual void cancelAll() = 0;
  // `onEnd(action, code)` runs on a download thread once each run ends. `urls`: the web
  // host's first, then the mirrors'; `oneSourceAtATime`: they take turns (mnet::Download).
  using DownloadEnd = std::function<void(mnet::DownloadAction action, int code)>;
  virtual std::unique_ptr<WorkflowDownload> makeDownload(const std::vector<std::string>& urls,
                                                         const std::string& path, uint64_t size,
                                                         bool oneSourceAtATime, DownloadEnd onEnd) = 0;
};

}  // namespace updater

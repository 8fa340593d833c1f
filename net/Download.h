#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mnet {

enum class DownloadAction { Finished = 0, Failed = 1, Stopped = 2 };

struct DownloadProgress {
  std::int64_t downloaded = 0;
  std::int64_t total = 0;
  // Bytes per second over the running ranges.
  std::int64_t speed = 0;
  std::chrono::milliseconds elapsed{0};
};

// One file over up to five ranged transfers on a thread of its own, resumable through the
// file's ".meta" companion. The file may come from several sources (URLs of the same bytes):
// the ranges are spread over them, a source that fails rests for the retry policy's wait
// (HTTPContext::retryPolicy) while the others go on, and one that fails for good is left.
// A resting source gets one transfer at a time until an answer delivers bytes again.
class Download {
 public:
  // Called once at the end of every run, on the download thread, with the status: 200 when
  // finished or stopped; when failed, the last failure's code: the HTTP status (404, 503 …)
  // or 600 + curl's error. It must not destroy the download.
  using Callback = std::function<void(Download&, DownloadAction, int)>;

  Download(const std::string& url, const std::string& path, std::int64_t expectedLength,
           const Callback& callback);
  // `urls`: the sources, the first one probed first; at least one.
  Download(const std::vector<std::string>& urls, const std::string& path, std::int64_t expectedLength,
           const Callback& callback);
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;
  // Stops a running run (it reports Stopped unless nothing was missing) and joins it.
  ~Download();

  // Before start(): the sources take turns instead of sharing the file, so that whoever
  // served it can be told.
  void oneSourceAtATime();
  // The sources (as given) whose answers delivered bytes in the last run; after its end.
  std::vector<std::string> sourcesUsed() const;

  // Starts a run unless one is under way.
  void start();
  // Any thread; never blocks.
  DownloadProgress progress() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace mnet

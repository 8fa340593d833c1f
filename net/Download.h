#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace mnet {

enum class DownloadAction { Finished = 0, Failed = 1, Stopped = 2 };

struct DownloadProgress {
  std::int64_t downloaded = 0;
  std::int64_t total = 0;
  // Bytes per second over the running ranges.
  std::int64_t speed = 0;
  std::chrono::milliseconds elapsed{0};
};

// One URL into one file over up to five ranged transfers on a thread of its own, resumable
// through the file's ".meta" companion.
class Download {
 public:
  // Called once at the end of every run, on the download thread, with the status 200, 400
  // or 404. It must not destroy the download.
  using Callback = std::function<void(Download&, DownloadAction, int)>;

  Download(const std::string& url, const std::string& path, std::int64_t expectedLength,
           const Callback& callback);
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;
  // Stops a running run (it reports Stopped unless nothing was missing) and joins it.
  ~Download();

  // Starts a run unless one is under way.
  void start();
  // Any thread; never blocks.
  DownloadProgress progress() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace mnet

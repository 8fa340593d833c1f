// vornaskctl fetch: one segmented, resumable download.
#include "tools/vornaskctl/Command.h"

#include "net/Download.h"
#include "net/HTTPContext.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>

namespace {

std::atomic<bool> interruptRequested{false};

void onInterrupt(int) {
  interruptRequested = true;
}

std::string humanBytes(double bytes) {
  static const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit ? "%.1f %s" : "%.0f %s", bytes, units[unit]);
  return text;
}

std::string progressLine(const mnet::DownloadProgress& p) {
  const int percent = p.total > 0 ? static_cast<int>(p.downloaded * 100 / p.total) : 0;
  std::string eta = "--:--";
  if (p.speed > 0 && p.total >= p.downloaded) {
    const long long seconds = (p.total - p.downloaded) / p.speed;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld", seconds / 60, seconds % 60);
    eta = text;
  }
  return humanBytes(static_cast<double>(p.downloaded)) + " / " + humanBytes(static_cast<double>(p.total)) +
         " (" + std::to_string(percent) + "%)  " + humanBytes(static_cast<double>(p.speed)) + "/s  left " +
         eta;
}

const char* actionName(mnet::DownloadAction action) {
  switch (action) {
    case mnet::DownloadAction::Finished:
      return "Finished";
    case mnet::DownloadAction::Failed:
      return "Failed";
    default:
      return "Stopped";
  }
}

}  // namespace

static int runFetch(const std::vector<std::string>& args) {
  std::string url, file;
  std::int64_t size = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--size" && i + 1 < args.size())
      size = std::stoll(args[++i]);
    else if (url.empty())
      url = args[i];
    else if (file.empty())
      file = args[i];
    else
      url.clear(), i = args.size();
  }
  if (url.empty() || file.empty()) {
    std::cerr << "usage: vornaskctl fetch URL FILE [--size N]\n";
    return 2;
  }
  mnet::HTTPContext::instance().setUserAgent("Vornask client v" VORNASK_VERSION);
  struct sigaction action {};
  action.sa_handler = &onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  mnet::DownloadAction result = mnet::DownloadAction::Failed;
  int status = 0;
  auto download =
      std::make_unique<mnet::Download>(url, file, size, [&](mnet::Download&, mnet::DownloadAction a, int s) {
        std::lock_guard<std::mutex> lock(mutex);
        result = a;
        status = s;
        done = true;
        ended.notify_all();
      });
  const bool terminal = ::isatty(2);
  download->start();
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (!done && !interruptRequested) {
      ended.wait_for(lock, std::chrono::milliseconds(200));
      if (terminal && !done) std::cerr << "\r\033[K" << progressLine(download->progress()) << std::flush;
    }
  }
  // Destroying a running download stops it; its resume file lets the next run continue.
  download.reset();
  if (terminal) std::cerr << "\r\033[K";
  std::cout << "action=" << actionName(result) << " status=" << status << std::endl;
  return result == mnet::DownloadAction::Finished ? 0 : 1;
}

VORNASKCTL_COMMAND(fetch, "fetch URL FILE [--size N]",
                   "segmented resumable download (Ctrl-C stops; the next run resumes)", runFetch);

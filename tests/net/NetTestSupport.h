#pragma once

#include "net/Download.h"
#include "net/HTTPContext.h"
#include "net/Request.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vtest {

// Result of one asynchronous request, gathered from its callbacks.
struct Fetched {
  int code = -1;
  std::string body;
  std::string headers;
  std::vector<int> progress;
  int completions = 0;
};

// Runs the request through the engine and waits (at most 30 s) for its completion.
Fetched fetch(mnet::Request request, bool withHeaders = false);
inline Fetched fetch(const std::string& url) {
  mnet::Request request;
  request.url = url;
  return fetch(request);
}

// The policy every test of this binary runs with: waits of a few milliseconds.
mnet::RetryPolicy fastRetryPolicy();

// A loopback port on which nothing listens.
int refusedPort();

struct Outcome {
  int runs = 0;
  mnet::DownloadAction action = mnet::DownloadAction::Failed;
  int status = 0;
};

// Collects the end callbacks of a download.
class Ends {
 public:
  mnet::Download::Callback callback() {
    return [this](mnet::Download&, mnet::DownloadAction action, int status) {
      std::lock_guard<std::mutex> lock(mutex_);
      ++outcome_.runs;
      outcome_.action = action;
      outcome_.status = status;
      ended_.notify_all();
    };
  }
  // Waits (at most 60 s) until `runs` ends have been reported.
  Outcome wait(int runs = 1) {
    std::unique_lock<std::mutex> lock(mutex_);
    ended_.wait_for(lock, std::chrono::seconds(60), [&] { return outcome_.runs >= runs; });
    return outcome_;
  }
  Outcome current() {
    std::lock_guard<std::mutex> lock(mutex_);
    return outcome_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  Outcome outcome_;
};

// Runs one download to its end.
Outcome download(const std::string& url, const std::string& target, std::int64_t expected = 0);

}  // namespace vtest

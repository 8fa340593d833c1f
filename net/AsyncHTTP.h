#pragma once

#include "net/AsyncTask.h"

#include <memory>

namespace mnet {

// Completion code of a cancelled task (curl's "aborted by callback", 42, plus 600).
const int CancelledCode = 642;

// Maps a finished transfer to its completion code: 0 for success with status 200, the HTTP
// status when it is neither 0 nor 200, else 600 + the curl result.
int completionCode(CURLcode result, long status);

// The engine: one thread running every queued task over a curl multi handle.
class AsyncHTTP {
 public:
  AsyncHTTP();
  AsyncHTTP(const AsyncHTTP&) = delete;
  AsyncHTTP& operator=(const AsyncHTTP&) = delete;
  // Stops and joins the thread; tasks still held are released without finish().
  ~AsyncHTTP();

  // Any thread.
  void queue(const AsyncTaskPtr& task);
  // Every task queued before this call ends with CancelledCode at the engine's next pass, running or
  // not; a task queued after it returns runs.
  void cancelAll();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mnet

#pragma once

#include <boost/chrono/duration.hpp>
#include <functional>
#include <memory>

namespace mstd {

// Runs posted jobs one at a time, in posting order, on one worker thread.
// A job's exception (including an empty job's std::bad_function_call) is dropped.
// Destruction stops the worker: a running job is waited for up to the join timeout; a job
// still running after that is interrupted and, if it does not end within 100 ms more, left
// to finish on its own (the worker keeps what it uses alive). Jobs still queued are destroyed
// without running.
class thread_pool {
 public:
  static constexpr long default_join_timeout_ms = 3000;

  thread_pool();
  explicit thread_pool(boost::chrono::milliseconds joinTimeout);
  thread_pool(const thread_pool&) = delete;
  thread_pool& operator=(const thread_pool&) = delete;
  ~thread_pool();

  void post(std::function<void()> job);

 private:
  struct impl;
  std::shared_ptr<impl> impl_;
};

}  // namespace mstd

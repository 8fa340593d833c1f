#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace mstd {
class thread_pool;
}

namespace gamehost {

// The movie's route traces on the pool: a trace of an unreachable host takes
// minutes, so only a few are kept at once and the rest are dropped with a WRN
// record instead of holding the movie's later traces back for hours.
class TraceQueue {
 public:
  // A trace running plus two waiting.
  static constexpr int maxTraces = 3;

  using Trace = std::function<std::string(const std::string& host)>;
  // `trace` runs on the pool's worker; the real route tracer when empty.
  explicit TraceQueue(Trace trace = {});

  // Queues a trace; `done` gets the report on the worker (not called when the
  // trace fails). False, with a WRN record, when maxTraces are outstanding.
  bool post(mstd::thread_pool& pool, const std::string& host, std::function<void(const std::string&)> done);
  int outstanding() const { return *outstanding_; }

 private:
  Trace trace_;
  // Shared with the queued work, which may outlive this object.
  std::shared_ptr<std::atomic<int>> outstanding_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace gamehost

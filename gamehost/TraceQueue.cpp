#include "gamehost/TraceQueue.h"

#include "logging/Log.h"
#include "logging/LogParticipant.h"
#include "relay/Trace.h"
#include "support/ThreadPool.h"

namespace gamehost {
namespace {

MLOG_DEFINE_PARTICIPANT(traceLog, "tracert")

}  // namespace

TraceQueue::TraceQueue(Trace trace) : trace_(std::move(trace)) {
  if (!trace_) trace_ = [](const std::string& host) { return relay::Trace(host); };
}

bool TraceQueue::post(mstd::thread_pool& pool, const std::string& host,
                      std::function<void(const std::string&)> done) {
  if (++*outstanding_ > maxTraces) {
    --*outstanding_;
    MLOG(traceLog(), mlog::Warning) << "the route trace to " << host << " is dropped: " << maxTraces
                                    << " are already running or waiting";
    return false;
  }
  pool.post([count = outstanding_, trace = trace_, host, done = std::move(done)] {
    struct Leave {
      std::atomic<int>& count;
      ~Leave() { --count; }
    } leave{*count};
    done(trace(host));
  });
  return true;
}

}  // namespace gamehost

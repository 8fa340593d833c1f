#include "relay/Trace.h"

#include "relay/RouteTracer.h"
#include "support/ThreadPool.h"

#include <sstream>

namespace relay {

std::string Trace(const std::string& host, boost::posix_time::time_duration probeTimeout) {
  std::ostringstream out;
  {
    RouteTracer tracer(host, probeTimeout);
    tracer.run(out);
  }
  return out.str();
}

void postTrace(mstd::thread_pool& pool, const std::string& host,
               std::function<void(const std::string&)> done) {
  pool.post([host, done] { done(Trace(host)); });
}

}  // namespace relay

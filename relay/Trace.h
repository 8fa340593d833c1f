#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <functional>
#include <string>

namespace mstd {
class thread_pool;
}

namespace relay {

// Traces the route to `host` and returns the report, one line per hop.
// Throws boost::system::system_error when the host cannot be resolved or the
// raw socket fails.
std::string Trace(const std::string& host,
                  boost::posix_time::time_duration probeTimeout = boost::posix_time::seconds(3));

// Runs Trace on the pool's worker; `done` gets the report there. A failed
// trace calls nothing.
void postTrace(mstd::thread_pool& pool, const std::string& host,
               std::function<void(const std::string&)> done);

}  // namespace relay

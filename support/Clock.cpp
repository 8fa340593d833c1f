#include "support/Clock.h"

#include "logging/Log.h"
#include "logging/LogParticipant.h"

#include <boost/date_time/posix_time/posix_time.hpp>

namespace mstd {

long DelayWatch::tick(boost::posix_time::ptime now) {
  long report = -1;
  if (countdown_ == 1) {
    const long lateness = static_cast<long>((now - scheduled_).total_milliseconds());
    if (lateness > report_above_ms) report = lateness;
    scheduled_ = now;
    countdown_ = check_every;
  } else {
    --countdown_;
  }
  scheduled_ += boost::posix_time::milliseconds(period_ms);
  return report;
}

MLOG_DEFINE_PARTICIPANT(clockLog, "clock")

Clock::Clock() {
  clockLog();
  thread_ = boost::thread([this] { run(); });
}

Clock::~Clock() {
  thread_.interrupt();
  thread_.join();
}

void Clock::run() {
  DelayWatch watch(boost::posix_time::microsec_clock::universal_time());
  try {
    for (;;) {
      boost::this_thread::sleep(watch.scheduled());
      const long late = watch.tick(boost::posix_time::microsec_clock::universal_time());
      if (late >= 0) {
        MLOG(clockLog(), mlog::Level::Warning) << "Long delay: " << late;
      }
    }
  } catch (const boost::thread_interrupted&) {
  }
}

namespace {
Clock process_clock;
}

Clock& Clock::process() {
  return process_clock;
}

}  // namespace mstd

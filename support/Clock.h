#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/thread/thread.hpp>

namespace mlog {
class LogParticipant;
}

namespace mstd {

// The schedule of the delay watch: a tick every 10 ms, lateness checked on
// every 100th tick, the schedule restarted from the moment of each check.
class DelayWatch {
 public:
  static constexpr long period_ms = 10;
  static constexpr long check_every = 100;
  static constexpr long report_above_ms = 50;

  explicit DelayWatch(boost::posix_time::ptime start) : scheduled_(start) {}

  boost::posix_time::ptime scheduled() const { return scheduled_; }
  // Called on waking at now for the scheduled tick; returns the lateness in
  // milliseconds when it is to be reported, else -1.
  long tick(boost::posix_time::ptime now);

 private:
  boost::posix_time::ptime scheduled_;
  long countdown_ = 1;
};

// Background thread that writes "Long delay: " under "clock" when it wakes up late.
class Clock {
 public:
  Clock();
  ~Clock();
  Clock(const Clock&) = delete;
  Clock& operator=(const Clock&) = delete;

  // The process's clock, started during static initialisation.
  static Clock& process();

 private:
  void run();

  boost::thread thread_;
};

mlog::LogParticipant& clockLog();

}  // namespace mstd

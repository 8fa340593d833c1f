#pragma once

#include "base/Singleton.h"

#include <atomic>
#include <string>

namespace mlog {

// Settings of one participant name, owned by the manager and shared by every participant
// of that name.
struct ParticipantEntry {
  std::atomic<int> level;
  std::atomic<int> group;  // additional device group, 0 for none
};

// Named source of log records.
class LogParticipant {
 public:
  explicit LogParticipant(const std::string& name);
  LogParticipant(const LogParticipant&) = delete;
  LogParticipant& operator=(const LogParticipant&) = delete;

  int level() const noexcept { return entry_->level.load(std::memory_order_relaxed); }
  int group() const noexcept { return entry_->group.load(std::memory_order_relaxed); }
  const std::string& name() const noexcept { return name_; }
  ParticipantEntry& entry() const noexcept { return *entry_; }

 private:
  std::string name_;
  ParticipantEntry* entry_;
};

}  // namespace mlog

// Defines `mlog::LogParticipant& accessor()` returning a process-wide participant and builds
// it during static initialisation. Use at namespace scope in one source file:
//   MLOG_DEFINE_PARTICIPANT(httpLog, "http")
#define MLOG_DEFINE_PARTICIPANT(accessor, participantName) \
  ::mlog::LogParticipant& accessor() {                     \
    struct Named : ::mlog::LogParticipant {                \
      Named() : ::mlog::LogParticipant(participantName) {} \
    };                                                     \
    return ::mstd::singleton<Named>::instance();           \
  }                                                        \
  [[maybe_unused]] static ::mlog::LogParticipant& accessor##AtStart = accessor();

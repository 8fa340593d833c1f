#pragma once

#include "logging/Levels.h"
#include "logging/LogParticipant.h"

#include <cstddef>
#include <ostream>

namespace mlog {
namespace detail {

class Stream;

// Builds one record in a pooled stream: header on construction; newline, packing and delivery
// to the manager on destruction.
class RecordWriter {
 public:
  RecordWriter(const LogParticipant& participant, int level);
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;
  ~RecordWriter();

  std::ostream& stream() noexcept;

 private:
  const LogParticipant& participant_;
  int level_;
  Stream* stream_;
};

// "DD HH:MM:SS.mmm" into out[0..14].
void formatTime(char* out, int day, int hour, int minute, int second, int millisecond) noexcept;

// Record header "TAG [tid] DD HH:MM:SS.mmm <name> " for the calling thread and the current
// local time; returns its length. out must hold headerRoom + name length bytes.
constexpr std::size_t headerRoom = 48;
std::size_t formatHeader(char* out, int level, const char* name, std::size_t nameLength) noexcept;

// Operating-system identifier of the calling thread.
int threadId() noexcept;

}  // namespace detail
}  // namespace mlog

// MLOG(participant, mlog::Debug) << "text" << value;
// When participant.level() < level nothing is formatted and no stream is taken.
#define MLOG(participant, lvl)         \
  if ((participant).level() < (lvl)) { \
  } else                               \
    ::mlog::detail::RecordWriter((participant), (lvl)).stream()

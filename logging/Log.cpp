#include "logging/Log.h"

#include "logging/Manager.h"
#include "logging/Record.h"
#include "logging/Stream.h"
#include "logging/StreamPool.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <limits>

namespace mlog {
namespace detail {
namespace {

thread_local int cachedThreadId = 0;

void forgetThreadId() {
  cachedThreadId = 0;
}

// Local date and time of the current second, formatted once per second and thread.
struct SecondCache {
  std::time_t second = -1;
  char text[11];  // "DD HH:MM:SS"
};
thread_local SecondCache secondCache;

inline void twoDigits(char* out, int value) noexcept {
  out[0] = static_cast<char>('0' + value / 10 % 10);
  out[1] = static_cast<char>('0' + value % 10);
}

std::size_t formatDecimal(char* out, unsigned value) noexcept {
  char digits[12];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (std::size_t i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
  return count;
}

}  // namespace

int threadId() noexcept {
  if (cachedThreadId == 0) {
    // A forked child's thread must not keep its parent thread's identifier.
    static const bool forkHandler = (pthread_atfork(nullptr, nullptr, &forgetThreadId), true);
    (void)forkHandler;
    cachedThreadId = static_cast<int>(::syscall(SYS_gettid));
  }
  return cachedThreadId;
}

void formatTime(char* out, int day, int hour, int minute, int second, int millisecond) noexcept {
  twoDigits(out, day);
  out[2] = ' ';
  twoDigits(out + 3, hour);
  out[5] = ':';
  twoDigits(out + 6, minute);
  out[8] = ':';
  twoDigits(out + 9, second);
  out[11] = '.';
  out[12] = static_cast<char>('0' + millisecond / 100 % 10);
  twoDigits(out + 13, millisecond % 100);
}

std::size_t formatHeader(char* out, int level, const char* name, std::size_t nameLength) noexcept {
  char* at = out;
  std::memcpy(at, levelInfo(level).tag, 3);
  at += 3;
  *at++ = ' ';
  *at++ = '[';
  at += formatDecimal(at, static_cast<unsigned>(threadId()));
  *at++ = ']';
  *at++ = ' ';

  timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  SecondCache& cache = secondCache;
  if (cache.second != now.tv_sec) {
    std::tm local;
    ::localtime_r(&now.tv_sec, &local);
    char text[15];
    formatTime(text, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, 0);
    std::memcpy(cache.text, text, sizeof cache.text);
    cache.second = now.tv_sec;
  }
  std::memcpy(at, cache.text, sizeof cache.text);
  at += sizeof cache.text;
  const int millisecond = static_cast<int>(now.tv_nsec / 1000000);
  *at++ = '.';
  *at++ = static_cast<char>('0' + millisecond / 100);
  twoDigits(at, millisecond % 100);
  at += 2;

  *at++ = ' ';
  *at++ = '<';
  std::memcpy(at, name, nameLength);
  at += nameLength;
  *at++ = '>';
  *at++ = ' ';
  return static_cast<std::size_t>(at - out);
}

RecordWriter::RecordWriter(const LogParticipant& participant, int level)
    : participant_(participant), level_(level), stream_(StreamPool::instance().take()) {
  const std::string& name = participant.name();
  char small[headerRoom + 64];
  if (name.size() <= 64) {
    stream_->buffer().sputn(
        small, static_cast<std::streamsize>(formatHeader(small, level, name.data(), name.size())));
  } else {
    std::string large(headerRoom + name.size(), '\0');
    stream_->buffer().sputn(
        &large[0], static_cast<std::streamsize>(formatHeader(&large[0], level, name.data(), name.size())));
  }
}

RecordWriter::~RecordWriter() {
  try {
    StreamBuf& buffer = stream_->buffer();
    buffer.sputc('\n');
    const std::size_t length = buffer.length();
    // The length field has 32 bits: a longer text is dropped rather than packed into a short block.
    if (length < std::numeric_limits<std::uint32_t>::max()) {
      boost::intrusive_ptr<Record> record =
          Record::create(participant_.group(), level_, static_cast<std::uint32_t>(length));
      buffer.copyTo(record->text());
      record->text()[length] = '\0';
      Manager::instance().write(*record, participant_.name());
    }
  } catch (...) {
    // A record that cannot be built or delivered is dropped.
  }
  StreamPool::instance().give(stream_);
}

std::ostream& RecordWriter::stream() noexcept {
  return *stream_;
}

}  // namespace detail
}  // namespace mlog

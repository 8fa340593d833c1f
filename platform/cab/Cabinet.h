#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace platform {

struct CabinetEntry {
  std::string name;  // as stored in the cabinet
  std::uint32_t size = 0;
  // The entry's DOS date and time read as local time, in seconds since 1970-01-01 UTC.
  std::int64_t time = 0;
};

enum class CabinetAnswer { Skip, Extract };

// Called per entry; an Extract answer writes the entry to `target`, replacing
// an existing file or link (through a new temporary file and a rename), and
// gives it the entry's time as modification time.
using CabinetCallback = std::function<CabinetAnswer(const CabinetEntry& entry, std::string& target)>;

// 0, or errno: of the cabinet's file when it cannot be read, EBADMSG when it
// is no cabinet, or of the first entry that failed to extract (EIO for its
// data). A failure stops the iteration; the failed entry's name goes to `failed`.
int iterateCabinet(const std::string& cabinetPath, const CabinetCallback& callback,
                   std::string* failed = nullptr);

// Size and modification time (seconds since 1970-01-01 UTC) of an existing
// regular file; false for anything else, a symbolic link included.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t time = 0;
};
bool fileStamp(const std::string& path, FileStamp& stamp);

// Seconds since 1970-01-01 UTC of a local date and time (as DOS keeps them).
std::int64_t localTimeToUnix(int year, int month, int day, int hour, int minute, int second);

}  // namespace platform

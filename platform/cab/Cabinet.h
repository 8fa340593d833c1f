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
// an existing file (through a temporary file and a rename), and gives it the
// entry's time as modification time.
using CabinetCallback = std::function<CabinetAnswer(const CabinetEntry& entry, std::string& target)>;

// False when the cabinet cannot be opened; entries that fail to extract are passed over.
bool iterateCabinet(const std::string& cabinetPath, const CabinetCallback& callback);

// Size and modification time (seconds since 1970-01-01 UTC) of an existing file.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t time = 0;
};
bool fileStamp(const std::string& path, FileStamp& stamp);

// Seconds since 1970-01-01 UTC of a local date and time (as DOS keeps them).
std::int64_t localTimeToUnix(int year, int month, int day, int hour, int minute, int second);

}  // namespace platform

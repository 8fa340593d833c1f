#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/files/ChangeStamp.h"

namespace updater {

// The record's file in the install folder.
extern const char* const startRecordName;

// Files found correct at an earlier start, each with the stamp it had before it was read
// and the CRC-32 it was found to have. A file whose stamp is unchanged since then counts
// as checked without being read.
class StartRecord {
 public:
  struct Entry {
    platform::ChangeStamp stamp;
    uint32_t crc = 0;
    bool operator==(const Entry& other) const { return stamp == other.stamp && crc == other.crc; }
  };

  // The record in `file`; empty when it is missing, of another version or damaged anywhere.
  static StartRecord load(const std::string& file);
  // Writes the record through a temporary file and a rename; 0 or errno.
  int save(const std::string& file) const;

  // The text form: a version line, one line per file, and a last line with the count and the
  // CRC-32 of everything before it. parse is false (and leaves `out` empty) on any fault.
  std::string format() const;
  static bool parse(const std::string& text, StartRecord& out);

  // True when `path` is recorded with `size` and `crc` and `now` is its recorded stamp.
  bool unchanged(const std::string& path, uint32_t size, uint32_t crc,
                 const platform::ChangeStamp& now) const;
  // Records `path` as found with `crc` when it had `stamp`. A file changed less than
  // the racy margin before `checkedAtNs` is left out: a later write within the same clock tick
  // of the file system would leave its stamp as it is.
  void note(const std::string& path, const platform::ChangeStamp& stamp, uint32_t crc, int64_t checkedAtNs);

  void clear() { entries_.clear(); }
  const std::map<std::string, Entry>& entries() const { return entries_; }
  // Tests of files written a moment ago narrow the margin; the default suits any file system.
  void setRacyMargin(int64_t nanoseconds) { racyMarginNs_ = nanoseconds; }
  bool operator==(const StartRecord& other) const { return entries_ == other.entries_; }

  // Two seconds: the coarsest file time kept by a file system the folder may be on (FAT).
  static constexpr int64_t defaultRacyMarginNs = 2000000000;

 private:
  std::map<std::string, Entry> entries_;
  int64_t racyMarginNs_ = defaultRacyMarginNs;
};

}  // namespace updater

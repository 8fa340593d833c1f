#include "updater/StartRecord.h"

#include "platform/files/Files.h"
#include "updater/FileCheck.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace updater {

const char* const startRecordName = "vornask.checked";

namespace {

const char* const header = "vornask start record 1\n";

// Reads a decimal or hex field ending at `stop`; false when it is empty, overflows or
// holds anything else.
template <class T>
bool field(const std::string& text, size_t& at, char stop, int base, T& out) {
  const size_t end = text.find(stop, at);
  if (end == std::string::npos || end == at || end - at > 20) return false;
  uint64_t value = 0;
  for (size_t i = at; i < end; ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      return false;
    if (value > (UINT64_MAX - static_cast<unsigned>(digit)) / static_cast<unsigned>(base)) return false;
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
  out = static_cast<T>(value);
  if (static_cast<uint64_t>(out) != value) return false;
  at = end + 1;
  return true;
}

}  // namespace

StartRecord StartRecord::load(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  StartRecord record;
  if (in && (text << in.rdbuf())) parse(text.str(), record);
  return record;
}

int StartRecord::save(const std::string& file) const {
  return platform::writeFileAtomically(file, format(), 0644);
}

std::string StartRecord::format() const {
  std::string text = header;
  for (const auto& [path, entry] : entries_) {
    char fields[128];
    std::snprintf(fields, sizeof fields, "%" PRIu64 " %" PRId64 " %" PRId64 " %" PRIu64 " %x ",
                  entry.stamp.size, entry.stamp.modifiedNs, entry.stamp.changedNs, entry.stamp.inode,
                  entry.crc);
    text += fields + path + "\n";
  }
  char end[64];
  std::snprintf(end, sizeof end, "end %zu %x\n", entries_.size(), crc32Of(text.data(), text.size()));
  return text + end;
}

bool StartRecord::parse(const std::string& text, StartRecord& out) {
  out.entries_.clear();
  const std::string headerText = header;
  if (text.compare(0, headerText.size(), headerText) != 0) return false;
  const size_t last = text.rfind("end ");
  if (last == std::string::npos || last < headerText.size() || text[last - 1] != '\n') return false;
  size_t at = last + 4;
  size_t count = 0;
  uint32_t crc = 0;
  if (!field(text, at, ' ', 10, count) || !field(text, at, '\n', 16, crc) || at != text.size()) return false;
  if (crc != crc32Of(text.data(), last)) return false;

  StartRecord record;
  at = headerText.size();
  while (at < last) {
    Entry entry;
    uint64_t modified = 0, changed = 0;
    if (!field(text, at, ' ', 10, entry.stamp.size) || !field(text, at, ' ', 10, modified) ||
        !field(text, at, ' ', 10, changed) || !field(text, at, ' ', 10, entry.stamp.inode) ||
        !field(text, at, ' ', 16, entry.crc))
      return false;
    const size_t end = text.find('\n', at);
    if (end == std::string::npos || end == at || end >= last) return false;
    entry.stamp.modifiedNs = static_cast<int64_t>(modified);
    entry.stamp.changedNs = static_cast<int64_t>(changed);
    if (entry.stamp.modifiedNs < 0 || entry.stamp.changedNs < 0) return false;
    if (!record.entries_.emplace(text.substr(at, end - at), entry).second) return false;
    at = end + 1;
  }
  if (record.entries_.size() != count) return false;
  out = std::move(record);
  return true;
}

bool StartRecord::unchanged(const std::string& path, uint32_t size, uint32_t crc,
                            const platform::ChangeStamp& now) const {
  const auto found = entries_.find(path);
  return found != entries_.end() && found->second.crc == crc && found->second.stamp.size == size &&
         found->second.stamp == now;
}

void StartRecord::note(const std::string& path, const platform::ChangeStamp& stamp, uint32_t crc,
                       int64_t checkedAtNs) {
  // A line end would end the record's line; times before 1970 are not written.
  const bool writable =
      !path.empty() && path.find('\n') == std::string::npos && stamp.modifiedNs >= 0 && stamp.changedNs >= 0;
  if (!writable || stamp.changedNs > checkedAtNs - racyMarginNs_ ||
      stamp.modifiedNs > checkedAtNs - racyMarginNs_) {
    entries_.erase(path);
    return;
  }
  entries_[path] = Entry{stamp, crc};
}

}  // namespace updater

#include "net/DownloadResume.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "logging/Log.h"
#include "net/Logs.h"
#include "net/UniqueFd.h"

namespace mnet {

std::optional<ResumeState> readResumeFile(const std::string& path, std::int64_t expected) {
  UniqueFd meta(::open((path + ".meta").c_str(), O_RDONLY | O_CLOEXEC));
  if (!meta) return std::nullopt;
  MLOG(downloadLog(), mlog::Debug) << "Download::Impl, meta found";
  std::string bytes;
  if (!readAll(meta.get(), bytes)) return std::nullopt;
  std::vector<Chunk> records;
  if (!parseResumeRecords(bytes, records)) {
    MLOG(downloadLog(), mlog::Warning) << "malformed resume file ignored: " << path << ".meta";
    return std::nullopt;
  }
  std::int64_t previousEnd = 0, found = 0, writtenEnd = 0;
  for (const Chunk& record : records) {
    MLOG(downloadLog(), mlog::Debug) << "read chunk: " << record.start << ", " << record.end;
    found += record.start - previousEnd;
    if (record.start > previousEnd) writtenEnd = record.start;
    previousEnd = record.end;
  }
  if (records.empty()) return std::nullopt;
  if (expected > 0 && previousEnd != expected) {
    MLOG(downloadLog(), mlog::Warning)
        << "resume file ignored, length " << previousEnd << " instead of " << expected << ": " << path;
    return std::nullopt;
  }
  // Bytes the records count as written must be in the target.
  struct stat target;
  const std::int64_t targetSize = ::stat(path.c_str(), &target) == 0 ? target.st_size : 0;
  if (targetSize < writtenEnd) {
    MLOG(downloadLog(), mlog::Warning) << "resume file ignored, target too short: " << path;
    return std::nullopt;
  }
  ResumeState state;
  for (const Chunk& record : records)
    if (!record.done()) insertChunk(state.pending, record.start, record.end);
  state.downloaded = found;
  state.length = previousEnd;
  return state;
}

void writeResumeFile(int fd, const ChunkList& chunks, std::int64_t length) {
  if (fd < 0) return;
  const std::string records = resumeRecords(chunks, length);
  const ssize_t written = ::pwrite(fd, records.data(), records.size(), 0);
  if (written != static_cast<ssize_t>(records.size())) {
    MLOG(downloadLog(), mlog::Error) << "meta save failed: " << written << " vs " << records.size();
  }
  if (::ftruncate(fd, static_cast<off_t>(records.size())) != 0) {
    MLOG(downloadLog(), mlog::Error) << "meta save failed: truncate";
  }
}

}  // namespace mnet

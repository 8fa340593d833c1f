#include "net/DownloadResume.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

bool seedResume(const std::string& path, const ChunkList& pending, std::int64_t length) {
  const std::string meta = path + ".meta", temporary = meta + ".new";
  const std::string records = resumeRecords(pending, length);
  {
    UniqueFd out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!out) return false;
    size_t done = 0;
    while (done < records.size()) {
      const ssize_t put = ::write(out.get(), records.data() + done, records.size() - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) break;
      done += static_cast<size_t>(put);
    }
    if (done != records.size() || ::fsync(out.get()) != 0) {
      ::unlink(temporary.c_str());
      return false;
    }
  }
  if (::rename(temporary.c_str(), meta.c_str()) == 0) return true;
  ::unlink(temporary.c_str());
  return false;
}

bool resumable(const std::string& path) {
  return ::access((path + ".meta").c_str(), F_OK) == 0;
}

void discardResume(const std::string& path) {
  ::unlink(path.c_str());
  forgetResume(path);
}

void forgetResume(const std::string& path) {
  ::unlink((path + ".meta").c_str());
}

}  // namespace mnet

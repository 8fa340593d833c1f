#include "platform/cab/Cabinet.h"

#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace platform {
namespace {

struct DecompressorDeleter {
  void operator()(mscab_decompressor* d) const { mspack_destroy_cab_decompressor(d); }
};

// The entry goes to a new file of a name nobody can foresee (made with
// O_EXCL) beside the target, takes its time there and is renamed over the
// target, which replaces a link at the target rather than following it.
// 0 or errno.
int extractTo(mscab_decompressor* d, mscabd_file* file, const std::string& target, std::int64_t time) {
  const std::size_t slash = target.rfind('/');
  std::string temporary =
      (slash == std::string::npos ? std::string(".") : target.substr(0, slash == 0 ? 1 : slash)) +
      "/.cab-XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  // libmspack writes by name: the descriptor's own name reaches exactly this file.
  const std::string through = "/proc/self/fd/" + std::to_string(fd);
  int err = d->extract(d, file, through.c_str()) == MSPACK_ERR_OK ? 0 : EIO;
  const timespec times[2] = {{static_cast<time_t>(time), 0}, {static_cast<time_t>(time), 0}};
  // Readable to all, like a file unpacked by any other tool.
  if (!err && ::fchmod(fd, 0644) != 0) err = errno;
  if (!err && ::futimens(fd, times) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(temporary.c_str(), target.c_str()) != 0) err = errno;
  if (err) ::unlink(temporary.c_str());
  return err;
}

}  // namespace

bool fileStamp(const std::string& path, FileStamp& stamp) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.time = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  return true;
}

std::int64_t localTimeToUnix(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&tm));
}

int iterateCabinet(const std::string& cabinetPath, const CabinetCallback& callback, std::string* failed) {
  struct stat st {};
  if (::stat(cabinetPath.c_str(), &st) != 0) return errno;
  std::unique_ptr<mscab_decompressor, DecompressorDeleter> d(mspack_create_cab_decompressor(nullptr));
  if (!d) return ENOMEM;
  mscabd_cabinet* cab = d->open(d.get(), cabinetPath.c_str());
  if (!cab) return d->last_error(d.get()) == MSPACK_ERR_OPEN ? EACCES : EBADMSG;
  int err = 0;
  for (mscabd_file* f = cab->files; f && !err; f = f->next) {
    CabinetEntry entry;
    entry.name = f->filename ? f->filename : "";
    entry.size = f->length;
    entry.time = localTimeToUnix(f->date_y, f->date_m, f->date_d, f->time_h, f->time_m, f->time_s);
    std::string target;
    if (callback(entry, target) == CabinetAnswer::Extract && !target.empty()) {
      err = extractTo(d.get(), f, target, entry.time);
      if (err && failed) *failed = entry.name;
    }
  }
  d->close(d.get(), cab);
  return err;
}

}  // namespace platform

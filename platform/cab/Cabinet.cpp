#include "platform/cab/Cabinet.h"

#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace platform {
namespace {

struct DecompressorDeleter {
  void operator()(mscab_decompressor* d) const { mspack_destroy_cab_decompressor(d); }
};

bool extractTo(mscab_decompressor* d, mscabd_file* file, const std::string& target, std::int64_t time) {
  const std::string temporary = target + ".part" + std::to_string(::getpid());
  if (d->extract(d, file, temporary.c_str()) != MSPACK_ERR_OK) {
    std::remove(temporary.c_str());
    return false;
  }
  const timespec times[2] = {{static_cast<time_t>(time), 0}, {static_cast<time_t>(time), 0}};
  if (::utimensat(AT_FDCWD, temporary.c_str(), times, 0) != 0 ||
      std::rename(temporary.c_str(), target.c_str())) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool fileStamp(const std::string& path, FileStamp& stamp) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
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

bool iterateCabinet(const std::string& cabinetPath, const CabinetCallback& callback) {
  std::unique_ptr<mscab_decompressor, DecompressorDeleter> d(mspack_create_cab_decompressor(nullptr));
  if (!d) return false;
  mscabd_cabinet* cab = d->open(d.get(), cabinetPath.c_str());
  if (!cab) return false;
  for (mscabd_file* f = cab->files; f; f = f->next) {
    CabinetEntry entry;
    entry.name = f->filename ? f->filename : "";
    entry.size = f->length;
    entry.time = localTimeToUnix(f->date_y, f->date_m, f->date_d, f->time_h, f->time_m, f->time_s);
    std::string target;
    if (callback(entry, target) == CabinetAnswer::Extract && !target.empty())
      extractTo(d.get(), f, target, entry.time);
  }
  d->close(d.get(), cab);
  return true;
}

}  // namespace platform

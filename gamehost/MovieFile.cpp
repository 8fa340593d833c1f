#include "gamehost/MovieFile.h"

#include <cerrno>
#include <cstring>

#include "logging/Log.h"
#include "logging/LogParticipant.h"
#include "support/Text.h"

namespace gamehost {
namespace {

MLOG_DEFINE_PARTICIPANT(movieFileLog, "writestring")

bool startsWith(const std::string& text, const char* head) {
  return text.compare(0, std::strlen(head), head) == 0;
}

bool endsWith(const std::string& text, const char* tail) {
  const std::size_t n = std::strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

void refuse(const std::string& name, const std::string& why) {
  MLOG(movieFileLog(), mlog::Warning) << "the movie's write to \"" << name << "\" is refused: " << why;
}

}  // namespace

MovieFile::MovieFile(std::string folder) : folder_(std::move(folder)) {}

bool MovieFile::acceptableName(const std::string& name) {
  if (!name.empty() && name[0] == '/') return false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && name[i] != '/') continue;
    if (i - start == 2 && name.compare(start, 2, "..") == 0) return false;
    start = i + 1;
  }
  return true;
}

bool MovieFile::reservedName(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
  if (last.empty() || last[0] == '.') return true;
  // The updater's folders and temporary files.
  if (startsWith(name, "download/") || startsWith(name, "library/") || endsWith(last, ".tmp") ||
      endsWith(last, ".new"))
    return true;
  if (slash != std::string::npos) return false;
  // What the client, the control loading and the updater keep in the folder itself.
  static const char* const exact[] = {"Vornask",   "vornask.exe",    "vornask.ini", "main.swf",
                                      "flash.cab", "flash.ocx",      "crc.txt",     "version",
                                      "vclient",   "vornask.checked"};
  for (const char* own : exact)
    if (last == own) return true;
  return startsWith(last, "flash-player.") || startsWith(last, "ruffle") ||
         startsWith(last, "core.ruffle.") || endsWith(last, ".wasm") || endsWith(last, ".swf") ||
         endsWith(last, ".ocx");
}

void MovieFile::write(const std::u16string& name, const std::u16string& text) {
  const std::string narrow = mstd::utf16ToUtf8(name, mstd::Malformed::Bridge);
  if (narrow.empty() && name_.empty()) return;
  if (!acceptableName(narrow)) return refuse(narrow, "the name leaves the game folder");
  if (name != name_) {
    if (reservedName(narrow)) return refuse(narrow, "the file is the client's own or hidden");
    platform::GuardedFile next;
    if (const int error = next.open(folder_, narrow))
      return refuse(narrow, error == ELOOP || error == EXDEV
                                ? "the way leads through a link or out of the folder"
                                : std::strerror(error));
    if (next.size() == 0 && next.append("\xEF\xBB\xBF", sizeLimit) != 0)
      return refuse(narrow, "the byte-order mark cannot be written");
    file_ = std::move(next);
    name_ = name;
  }
  if (!file_.isOpen()) return;
  if (const int error = file_.append(mstd::utf16ToUtf8(text, mstd::Malformed::Bridge) + "\r\n", sizeLimit))
    refuse(narrow, error == EFBIG ? "the file would pass 16 MiB" : std::strerror(error));
}

void MovieFile::close() {
  file_.close();
  name_.clear();
}

}  // namespace gamehost

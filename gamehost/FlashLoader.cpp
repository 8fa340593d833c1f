#include "gamehost/FlashLoader.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "base/Singleton.h"
#include "logging/Log.h"
#include "platform/cab/Cabinet.h"
#include "platform/com/Bstr.h"
#include "platform/files/SystemError.h"
#include "platform/library/Library.h"

namespace gamehost {

namespace com = platform::com;

namespace {

MLOG_DEFINE_PARTICIPANT(loaderLog, "control")

bool leavesFolder(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') return true;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && name[i] != '/' && name[i] != '\\') continue;
    if (name.compare(start, i - start, "..") == 0 && i - start == 2) return true;
    start = i + 1;
  }
  return false;
}

}  // namespace

bool unpackCabinet(const std::string& cabinet, const std::string& folder) {
  std::string entryName;
  const int err = platform::iterateCabinet(
      cabinet,
      [&](const platform::CabinetEntry& entry, std::string& target) {
        if (leavesFolder(entry.name)) return platform::CabinetAnswer::Skip;
        std::string name = entry.name;
        std::replace(name.begin(), name.end(), '\\', '/');
        target = folder + "/" + name;
        platform::FileStamp stamp;
        if (platform::fileStamp(target, stamp) && stamp.size < (std::uint64_t(1) << 32) &&
            stamp.size == entry.size && stamp.time == entry.time)
          return platform::CabinetAnswer::Skip;
        return platform::CabinetAnswer::Extract;
      },
      &entryName);
  // Without a cabinet, whatever control lies in the folder is used.
  if (!err || err == ENOENT) return true;
  const std::string reason = platform::systemErrorText(err).value_or("error " + std::to_string(err));
  if (entryName.empty())
    MLOG(loaderLog(), mlog::Error) << "cannot unpack " << cabinet << ": " << reason;
  else
    MLOG(loaderLog(), mlog::Error) << "cannot unpack " << entryName << " from " << cabinet << ": " << reason;
  return false;
}

namespace {

ControlSource sourceOf(const std::string& cabinet, const std::string& folder, const std::string& library) {
  ControlSource source;
  source.unpack = [cabinet, folder] {
    return unpackCabinet(cabinet, folder.empty() ? std::filesystem::current_path().string() : folder);
  };
  source.load = [library]() -> com::DllGetClassObjectFn {
    platform::LibraryHandle handle = platform::loadLibrary(library);
    return reinterpret_cast<com::DllGetClassObjectFn>(platform::librarySymbol(handle, "DllGetClassObject"));
  };
  return source;
}

}  // namespace

ControlSource defaultControlSource() {
  return sourceOf("flash.cab", "", "./flash.ocx");
}

ControlSource controlSource(const std::string& folder) {
  return sourceOf(folder + "/flash.cab", folder, folder + "/flash.ocx");
}

FlashLoader::FlashLoader(ControlSource source) : source_(std::move(source)) {}

com::IShockwaveFlash* FlashLoader::create() {
  if (!factory_) {
    // A control older than the rest of the game must not be loaded.
    if (source_.unpack && !source_.unpack()) return nullptr;
    if (com::DllGetClassObjectFn getClassObject = source_.load ? source_.load() : nullptr)
      if (com::FAILED(getClassObject(com::CLSID_ShockwaveFlash, com::IID_IClassFactory, factory_.out())))
        factory_.detach();  // a failed call's value is not used
  }
  if (!factory_) return nullptr;
  com::ComPtr<com::IShockwaveFlash> control;
  if (com::FAILED(factory_->CreateInstance(nullptr, com::IID_IShockwaveFlash, control.out()))) {
    control.detach();
    return nullptr;
  }
  if (!control) return nullptr;
  com::Bstr mode(u"direct");
  control->put_WMode(mode.get());
  return control.detach();
}

com::IShockwaveFlash* createFlashControl() {
  return mstd::singleton<FlashLoader>::instance().create();
}

}  // namespace gamehost

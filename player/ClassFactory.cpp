#include "player/ClassFactory.h"

#include <dlfcn.h>
#include <gtk/gtk.h>

#include <climits>
#include <cstdlib>
#include <exception>
#include <string>

#include "player/FlashControl.h"
#include "player/PlayerLog.h"

namespace player {

using namespace platform::com;

namespace {

bool haveDisplay() {
  if (gdk_display_get_default()) return true;
  return gtk_init_check(nullptr, nullptr) && gdk_display_get_default();
}

}  // namespace

std::string libraryFolder() {
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<void*>(&libraryFolder), &info) || !info.dli_fname) return ".";
  char real[PATH_MAX];
  std::string path = ::realpath(info.dli_fname, real) ? real : info.dli_fname;
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

ClassFactory& ClassFactory::instance() {
  static ClassFactory factory;
  return factory;
}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (!haveDisplay()) {
    logRecord(mlog::Level::Error,
              "no display to play the movie on (DISPLAY is not set or the display cannot be opened)");
    return E_FAIL;
  }
  try {
    FlashControl* control = new FlashControl(libraryFolder());
    const HRESULT result = control->QueryInterface(riid, object);
    control->Release();
    return result;
  } catch (const std::exception& e) {
    logRecord(mlog::Level::Error, std::string("the control could not be made: ") + e.what());
    return E_OUTOFMEMORY;
  }
}

}  // namespace player

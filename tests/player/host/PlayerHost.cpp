#include "tests/player/host/PlayerHost.h"

#include <dlfcn.h>
#include <gtk/gtk.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "platform/com/Bstr.h"
#include "support/Text.h"
#include "tests/platform/Xvfb.h"

namespace vtest {

using namespace platform::com;

namespace {

struct Folder {
  std::filesystem::path path;
  ~Folder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
};

// A GtkFixed that asks for no size, as the game window's client area: the
// window may shrink below the view, which follows the window.
GtkWidget* newHostArea() {
  static const GType type = g_type_register_static_simple(
      GTK_TYPE_FIXED, "VornaskTestHostArea", sizeof(GtkFixedClass),
      [](gpointer cls, gpointer) {
        GTK_WIDGET_CLASS(cls)->get_preferred_width = [](GtkWidget*, gint* min, gint* nat) {
          *min = *nat = 1;
        };
        GTK_WIDGET_CLASS(cls)->get_preferred_height = [](GtkWidget*, gint* min, gint* nat) {
          *min = *nat = 1;
        };
      },
      sizeof(GtkFixed), nullptr, GTypeFlags(0));
  return GTK_WIDGET(g_object_new(type, nullptr));
}

}  // namespace

PlayerLibrary& PlayerLibrary::get() {
  static Xvfb xvfb;
  static Folder unpacked;
  static PlayerLibrary* library = [] {
    auto* lib = new PlayerLibrary;
    if (xvfb.display().empty()) return lib->problem = "Xvfb did not start", lib;
    ::setenv("DISPLAY", xvfb.display().c_str(), 1);
    ::unsetenv("WAYLAND_DISPLAY");
    // The client's web processes run JavaScriptCore so (app/main.cpp).
    ::setenv("JSC_useOMGJIT", "0", 0);
    ::setenv("JSC_forceRAMSize", "268435456", 0);
    char folder[] = "/tmp/player-lib-XXXXXX";
    if (!::mkdtemp(folder)) return lib->problem = "no temporary folder", lib;
    unpacked.path = lib->folder = folder;
    // The movies' saved data stays out of the user's own data folder.
    const char* data = std::getenv("VORNASK_TEST_DATA_HOME");
    ::setenv("XDG_DATA_HOME", data ? data : (lib->folder + "/data").c_str(), 1);
    if (!gtk_init_check(nullptr, nullptr)) return lib->problem = "GTK cannot open the display", lib;
    const char* build = std::getenv("VORNASK_BUILD_DIR");
    const std::string cab = build ? std::string(build) + "/player/flash.cab" : std::string(VORNASK_FLASH_CAB);
    const std::string command = "gcab -x -C '" + lib->folder + "' '" + cab + "' >/dev/null";
    if (std::system(command.c_str()) != 0) return lib->problem = "cannot unpack " + cab, lib;
    void* handle = ::dlopen((lib->folder + "/flash.ocx").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return lib->problem = ::dlerror(), lib;
    auto get = reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
    void* factory = nullptr;
    if (!get || FAILED(get(CLSID_ShockwaveFlash, IID_IClassFactory, &factory)))
      return lib->problem = "no class factory", lib;
    lib->getClassObject = get;
    lib->factory = static_cast<IClassFactory*>(factory);
    return lib;
  }();
  return *library;
}

bool pumpUntil(const std::function<bool()>& pred, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  // Blocks in the main context as a message loop does; the tick only lets the deadline be seen.
  const guint tick = g_timeout_add(
      10, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  bool held = pred();
  while (!held && std::chrono::steady_clock::now() < deadline) {
    g_main_context_iteration(nullptr, TRUE);
    held = pred();
  }
  g_source_remove(tick);
  return held;
}

void pumpFor(int ms) {
  pumpUntil([] { return false; }, ms);
}

class HostedControl::Sink final : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__IShockwaveFlashEvents) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id != DISPID_FlashCall || !params || params->cArgs != 1 || params->rgvarg[0].vt != VT_BSTR) {
      calls.push_back("(malformed event)");
    } else {
      calls.push_back(mstd::utf16ToUtf8(bstrText(params->rgvarg[0].bstrVal), mstd::Malformed::Replace));
    }
    onUiThread = onUiThread && g_main_context_is_owner(g_main_context_default());
    return S_OK;
  }

  std::vector<std::string> calls;
  bool onUiThread = true;
};

HostedControl::HostedControl(int width, int height) : sink_(new Sink) {
  PlayerLibrary& lib = PlayerLibrary::get();
  if (!lib.ready()) return;
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window_), width, height);
  fixed_ = newHostArea();
  gtk_container_add(GTK_CONTAINER(window_), fixed_);
  gtk_widget_show_all(window_);
  void* object = nullptr;
  if (FAILED(lib.factory->CreateInstance(nullptr, IID_IShockwaveFlash, &object))) return;
  flash_ = static_cast<IShockwaveFlash*>(object);
  flash_->put_WMode(Bstr(u"direct").get());
  void* attach = nullptr;
  if (SUCCEEDED(flash_->QueryInterface(IID_IControlAttach, &attach))) {
    static_cast<IControlAttach*>(attach)->Attach(fixed_, width, height);
    static_cast<IControlAttach*>(attach)->Release();
  }
  void* container = nullptr;
  if (SUCCEEDED(flash_->QueryInterface(IID_IConnectionPointContainer, &container))) {
    static_cast<IConnectionPointContainer*>(container)->FindConnectionPoint(DIID__IShockwaveFlashEvents,
                                                                            &point_);
    static_cast<IConnectionPointContainer*>(container)->Release();
  }
  if (point_) point_->Advise(sink_, &cookie_);
}

void HostedControl::allowSocketPorts(const std::vector<std::uint16_t>& ports) {
  void* attach = nullptr;
  if (!flash_ || FAILED(flash_->QueryInterface(IID_IControlAttach, &attach))) return;
  static_cast<IControlAttach*>(attach)->AllowSocketPorts(ports.data(), static_cast<int>(ports.size()));
  static_cast<IControlAttach*>(attach)->Release();
}

HostedControl::~HostedControl() {
  if (point_) {
    point_->Unadvise(cookie_);
    point_->Release();
  }
  if (flash_) flash_->Release();
  if (window_) gtk_widget_destroy(window_);
  pumpFor(20);
  delete sink_;
}

void HostedControl::closeWindow() {
  if (window_) gtk_widget_destroy(window_);
  window_ = nullptr;
}

HRESULT HostedControl::load(const std::string& moviePath) {
  return flash_->LoadMovie(0, Bstr(mstd::utf8ToUtf16(moviePath, mstd::Malformed::Replace)).get());
}

std::u16string HostedControl::callFunction(const std::u16string& request, HRESULT* result) {
  Bstr response;
  const HRESULT r = flash_->CallFunction(Bstr(request).get(), response.out());
  if (result) *result = r;
  return response.text();
}

void HostedControl::resize(int width, int height) {
  gtk_window_resize(GTK_WINDOW(window_), width, height);
  void* attach = nullptr;
  if (SUCCEEDED(flash_->QueryInterface(IID_IControlAttach, &attach))) {
    static_cast<IControlAttach*>(attach)->SetExtent(width, height);
    static_cast<IControlAttach*>(attach)->Release();
  }
}

const std::vector<std::string>& HostedControl::calls() const {
  return sink_->calls;
}

bool HostedControl::allOnUiThread() const {
  return sink_->onUiThread;
}

int HostedControl::waitForCall(const std::string& name, int ms, std::size_t from) {
  const std::string head = "<invoke name=\"" + name + "\"";
  int found = -1;
  pumpUntil(
      [&] {
        for (std::size_t i = from; i < sink_->calls.size(); ++i)
          if (sink_->calls[i].compare(0, head.size(), head) == 0) return found = static_cast<int>(i), true;
        return false;
      },
      ms);
  return found;
}

std::string invoke(const std::string& name, const std::string& arguments) {
  return "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>" + arguments + "</arguments></invoke>";
}

}  // namespace vtest

#if defined(VORNASK_SANITIZED) && !defined(VORNASK_TSAN)
// LeakSanitizer's exit check cannot stop WebKit's threads (its tracer faults in
// them), so these executables run without it; AddressSanitizer stays on.
extern "C" int __lsan_is_turned_off() {
  return 1;
}
#endif

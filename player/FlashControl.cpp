#include "player/FlashControl.h"

#include <gtk/gtk.h>

#include <exception>

#include "platform/com/Bstr.h"
#include "player/PageFiles.h"
#include "player/PlayerLog.h"
#include "player/PlayerView.h"
#include "player/bridge/SocketBridge.h"
#include "support/Text.h"

namespace player {

using namespace platform::com;

namespace {

// A released control's view, its page and compiled Ruffle kept up for a while:
// a game that makes its control again (a reload) plays without starting a
// web process and Ruffle anew.
constexpr guint parkedSeconds = 60;

struct ParkedView {
  std::unique_ptr<PlayerView> view;
  guint timer = 0;
};

ParkedView& parked() {
  static auto* slot = new ParkedView;  // never freed: the library stays loaded until exit
  return *slot;
}

std::unique_ptr<PlayerView> takeParked(const std::string& libraryFolder) {
  ParkedView& slot = parked();
  if (!slot.view || slot.view->libraryFolder() != libraryFolder) return nullptr;
  if (slot.timer) g_source_remove(slot.timer);
  slot.timer = 0;
  return std::move(slot.view);
}

void park(std::unique_ptr<PlayerView> view) {
  if (!view->reusable()) return;
  ParkedView& slot = parked();
  view->park();
  if (slot.timer) g_source_remove(slot.timer);
  slot.view = std::move(view);  // a view parked before ends here
  slot.timer = g_timeout_add_seconds(
      parkedSeconds,
      [](gpointer) -> gboolean {
        parked().timer = 0;
        parked().view.reset();
        return G_SOURCE_REMOVE;
      },
      nullptr);
}

}  // namespace

FlashControl::FlashControl(std::string libraryFolder)
    : libraryFolder_(std::move(libraryFolder)), events_(*this) {
  PlayerView::CallHandler onCall = [this](const std::u16string& request) {
    // The sink may release the control from inside its event.
    AddRef();
    events_.fireFlashCall(request);
    Release();
  };
  view_ = takeParked(libraryFolder_);
  if (view_)
    view_->setCallHandler(std::move(onCall));
  else
    view_ = std::make_unique<PlayerView>(libraryFolder_, std::move(onCall));
}

// The movie stops first: its sockets are the bridge's connections.
FlashControl::~FlashControl() {
  park(std::move(view_));
  bridge_.reset();
}

HRESULT FlashControl::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IShockwaveFlash)
    *object = static_cast<IShockwaveFlash*>(this);
  else if (riid == IID_IConnectionPointContainer)
    *object = static_cast<IConnectionPointContainer*>(this);
  else if (riid == IID_IControlAttach)
    *object = static_cast<IControlAttach*>(this);
  else
    return *object = nullptr, E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG FlashControl::AddRef() {
  return ++references_;
}

ULONG FlashControl::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT FlashControl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT FlashControl::GetTypeInfo(UINT, LCID, ITypeInfo**) {
  return E_NOTIMPL;
}

HRESULT FlashControl::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT FlashControl::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT FlashControl::put_WMode(BSTR mode) {
  wmode_ = mstd::utf16ToUtf8(bstrText(mode), mstd::Malformed::Replace);
  return S_OK;
}

HRESULT FlashControl::LoadMovie(int layer, BSTR url) {
  std::string path = mstd::utf16ToUtf8(bstrText(url), mstd::Malformed::Replace);
  if (layer != 0 || path.empty()) return E_INVALIDARG;
  if (path.rfind("file://", 0) == 0) path.erase(0, 7);
  std::string proxyPrefix;
  try {
    if (!bridge_) bridge_ = std::make_unique<SocketBridge>(pageOrigin);
    bridge_->allowPorts(socketPorts_);
    proxyPrefix = bridge_->proxyUrl(0);
    proxyPrefix.pop_back();  // "…/SECRET/0" without the port
  } catch (const std::exception& e) {
    logRecord(mlog::Level::Error, std::string("the movie's sockets are off: ") + e.what());
  }
  view_->load(path, proxyPrefix, wmode_,
              std::vector<std::uint16_t>(socketPorts_.begin(), socketPorts_.end()));
  return S_OK;
}

// The call is handed to the movie in order with the movie's own calls; the
// answer does not wait for the movie's callback.
HRESULT FlashControl::CallFunction(BSTR request, BSTR* response) {
  if (response) *response = nullptr;
  view_->callMovie(bstrText(request));
  if (response) *response = allocBstr(u"<undefined/>");
  return S_OK;
}

HRESULT FlashControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT FlashControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  if (riid != DIID__IShockwaveFlashEvents) return *point = nullptr, CONNECT_E_NOCONNECTION;
  *point = &events_;
  AddRef();
  return S_OK;
}

HRESULT FlashControl::Attach(void* parent, int width, int height) {
  if (!parent) return S_OK;  // no native parent: the movie plays unseen
  if (!GTK_IS_FIXED(parent)) return E_INVALIDARG;
  view_->attach(GTK_WIDGET(parent), width, height);
  return S_OK;
}

HRESULT FlashControl::SetExtent(int width, int height) {
  view_->setExtent(width, height);
  return S_OK;
}

HRESULT FlashControl::AllowSocketPorts(const std::uint16_t* ports, int count) {
  if (count < 0 || (count > 0 && !ports)) return E_INVALIDARG;
  socketPorts_.clear();
  for (int i = 0; i < count; ++i)
    if (ports[i] != 0) socketPorts_.insert(ports[i]);
  return S_OK;
}

}  // namespace player

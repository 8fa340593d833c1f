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

FlashControl::FlashControl(std::string libraryFolder)
    : libraryFolder_(std::move(libraryFolder)),
      events_(*this),
      view_(std::make_unique<PlayerView>(libraryFolder_, [this](const std::u16string& request) {
        // The sink may release the control from inside its event.
        AddRef();
        events_.fireFlashCall(request);
        Release();
      })) {}

// The view goes first: its page holds the bridge's connections.
FlashControl::~FlashControl() {
  view_.reset();
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

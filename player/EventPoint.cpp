#include "player/EventPoint.h"

#include "platform/com/Bstr.h"

namespace player {

using namespace platform::com;

EventPoint::~EventPoint() {
  for (auto& sink : sinks_) sink.second->Release();
}

HRESULT EventPoint::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT EventPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = DIID__IShockwaveFlashEvents;
  return S_OK;
}

HRESULT EventPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  *container = &owner_;
  owner_.AddRef();
  return S_OK;
}

HRESULT EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  void* events = nullptr;
  if (FAILED(sink->QueryInterface(DIID__IShockwaveFlashEvents, &events)) || !events)
    return CONNECT_E_CANNOTCONNECT;
  *cookie = nextCookie_++;
  sinks_.emplace_back(*cookie, static_cast<IDispatch*>(events));
  return S_OK;
}

HRESULT EventPoint::Unadvise(DWORD cookie) {
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->first == cookie) {
      IDispatch* sink = it->second;
      sinks_.erase(it);
      sink->Release();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT EventPoint::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

void EventPoint::fireFlashCall(const std::u16string& request) {
  // A sink may advise or unadvise from inside its event: walk a counted copy.
  auto sinks = sinks_;
  for (auto& sink : sinks) sink.second->AddRef();
  for (auto& sink : sinks) {
    VARIANT argument;
    argument.vt = VT_BSTR;
    argument.bstrVal = allocBstr(request);
    DISPPARAMS params;
    params.rgvarg = &argument;
    params.cArgs = 1;
    sink.second->Invoke(DISPID_FlashCall, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    SysFreeString(argument.bstrVal);
  }
  for (auto& sink : sinks) sink.second->Release();
}

}  // namespace player

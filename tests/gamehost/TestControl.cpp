#include "tests/gamehost/TestControl.h"

#include <stdexcept>

#include "platform/com/Bstr.h"
#include "support/Text.h"

namespace vtest {

namespace com = platform::com;

TestControl::TestControl(Options options) : options_(std::move(options)) {}

TestControl::~TestControl() {
  if (sink_) sink_->Release();
  log("Released");
}

void TestControl::log(const std::string& line) const {
  if (options_.log) options_.log(line);
}

bool TestControl::fire(const std::u16string& request) {
  com::VARIANT argument;
  argument.vt = com::VT_BSTR;
  argument.bstrVal = com::allocBstr(request);
  const bool fired = fireRaw(com::DISPID_FlashCall, argument);
  com::SysFreeString(argument.bstrVal);
  return fired;
}

bool TestControl::fireRaw(com::DISPID id, com::VARIANT argument) {
  if (!sink_) return false;
  com::DISPPARAMS params;
  params.rgvarg = &argument;
  params.cArgs = 1;
  com::VARIANT result;
  sink_->Invoke(id, com::IID_NULL, 0, com::DISPATCH_METHOD, &params, &result, nullptr, nullptr);
  return true;
}

com::HRESULT TestControl::QueryInterface(com::REFIID riid, void** object) {
  if (!object) return com::E_POINTER;
  *object = nullptr;
  if (riid == com::IID_IUnknown || riid == com::IID_IDispatch || riid == com::IID_IShockwaveFlash)
    *object = static_cast<com::IShockwaveFlash*>(this);
  else if (riid == com::IID_IConnectionPointContainer)
    *object = static_cast<com::IConnectionPointContainer*>(this);
  else if (riid == com::IID_IConnectionPoint)
    *object = static_cast<com::IConnectionPoint*>(this);
  else if (riid == com::IID_IControlAttach && options_.attachable)
    *object = static_cast<com::IControlAttach*>(this);
  if (!*object) return com::E_NOINTERFACE;
  AddRef();
  return com::S_OK;
}

com::ULONG TestControl::AddRef() {
  return ++refs_;
}

com::ULONG TestControl::Release() {
  const com::ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

com::HRESULT TestControl::GetTypeInfoCount(com::UINT*) {
  return com::E_NOTIMPL;
}
com::HRESULT TestControl::GetTypeInfo(com::UINT, com::LCID, com::ITypeInfo**) {
  return com::E_NOTIMPL;
}
com::HRESULT TestControl::GetIDsOfNames(com::REFIID, com::LPOLESTR*, com::UINT, com::LCID, com::DISPID*) {
  return com::E_NOTIMPL;
}
com::HRESULT TestControl::Invoke(com::DISPID, com::REFIID, com::LCID, com::WORD, com::DISPPARAMS*,
                                 com::VARIANT*, com::EXCEPINFO*, com::UINT*) {
  return com::E_NOTIMPL;
}

com::HRESULT TestControl::put_WMode(com::BSTR mode) {
  log("put_WMode " + mstd::utf16ToUtf8(com::bstrText(mode), mstd::Malformed::Bridge));
  return com::S_OK;
}

com::HRESULT TestControl::LoadMovie(int layer, com::BSTR url) {
  log("LoadMovie " + std::to_string(layer) + " " +
      mstd::utf16ToUtf8(com::bstrText(url), mstd::Malformed::Bridge));
  for (const std::u16string& call : options_.callsOnLoad) fire(call);
  return com::S_OK;
}

com::HRESULT TestControl::CallFunction(com::BSTR request, com::BSTR* response) {
  log("CallFunction " + mstd::utf16ToUtf8(com::bstrText(request), mstd::Malformed::Bridge));
  if (options_.throwOnCall) throw std::runtime_error("the movie is gone");
  if (response) *response = com::allocBstr(u"<undefined/>");
  return com::S_OK;
}

com::HRESULT TestControl::EnumConnectionPoints(com::IEnumConnectionPoints**) {
  return com::E_NOTIMPL;
}

com::HRESULT TestControl::FindConnectionPoint(com::REFIID riid, com::IConnectionPoint** point) {
  if (!point) return com::E_POINTER;
  *point = nullptr;
  if (riid != com::DIID__IShockwaveFlashEvents) return com::CONNECT_E_NOCONNECTION;
  AddRef();
  *point = this;
  return com::S_OK;
}

com::HRESULT TestControl::GetConnectionInterface(com::IID* iid) {
  if (iid) *iid = com::DIID__IShockwaveFlashEvents;
  return com::S_OK;
}
com::HRESULT TestControl::GetConnectionPointContainer(com::IConnectionPointContainer** c) {
  AddRef();
  *c = this;
  return com::S_OK;
}

com::HRESULT TestControl::Advise(com::IUnknown* sink, com::DWORD* cookie) {
  void* p = nullptr;
  if (!sink || com::FAILED(sink->QueryInterface(com::DIID__IShockwaveFlashEvents, &p)) || !p)
    return com::CONNECT_E_CANNOTCONNECT;
  if (sink_) sink_->Release();
  sink_ = static_cast<com::IDispatch*>(p);
  if (cookie) *cookie = 1;
  log("Advise");
  return com::S_OK;
}
com::HRESULT TestControl::Unadvise(com::DWORD) {
  return com::E_NOTIMPL;
}
com::HRESULT TestControl::EnumConnections(com::IEnumConnections**) {
  return com::E_NOTIMPL;
}

com::HRESULT TestControl::Attach(void* parent, int width, int height) {
  log(std::string("Attach ") + (parent ? "native " : "null ") + std::to_string(width) + "x" +
      std::to_string(height));
  if (parent && options_.addChild) child_ = options_.addChild(parent, width, height);
  return com::S_OK;
}

com::HRESULT TestControl::AllowSocketPorts(const std::uint16_t* ports, int count) {
  std::string line = "AllowSocketPorts";
  for (int i = 0; i < count; ++i) line += " " + std::to_string(ports[i]);
  log(line);
  return com::S_OK;
}

com::HRESULT TestControl::SetExtent(int width, int height) {
  log("SetExtent " + std::to_string(width) + "x" + std::to_string(height));
  if (child_ && options_.resizeChild) options_.resizeChild(child_, width, height);
  return com::S_OK;
}

}  // namespace vtest

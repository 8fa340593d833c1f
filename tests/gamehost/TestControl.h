#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "platform/com/Com.h"

namespace vtest {

// A test double of the Flash control: records every call the host
// makes as a line ("put_WMode direct", "Attach native 800x600", "SetExtent 640x480",
// "Advise", "LoadMovie 0 /path/main.swf", "CallFunction <invoke ...>", "Released"),
// and fires FlashCall at the advised sink on request.
class TestControl final : public platform::com::IShockwaveFlash,
                          public platform::com::IConnectionPointContainer,
                          public platform::com::IConnectionPoint,
                          public platform::com::IControlAttach {
 public:
  struct Options {
    std::function<void(const std::string&)> log;
    bool attachable = true;
    bool throwOnCall = false;
    // Fired (in order) while LoadMovie runs.
    std::vector<std::u16string> callsOnLoad;
    // A native child put into the host's container; resized on SetExtent.
    std::function<void*(void* parent, int width, int height)> addChild;
    std::function<void(void* child, int width, int height)> resizeChild;
  };

  explicit TestControl(Options options);

  // Sends a FlashCall with `request`; false without a sink.
  bool fire(const std::u16string& request);
  // Any other event, or a FlashCall argument of another type.
  bool fireRaw(platform::com::DISPID id, platform::com::VARIANT argument);
  platform::com::ULONG references() const { return refs_; }

  platform::com::HRESULT QueryInterface(platform::com::REFIID riid, void** object) override;
  platform::com::ULONG AddRef() override;
  platform::com::ULONG Release() override;

  // IDispatch: not used by the host.
  platform::com::HRESULT GetTypeInfoCount(platform::com::UINT*) override;
  platform::com::HRESULT GetTypeInfo(platform::com::UINT, platform::com::LCID,
                                     platform::com::ITypeInfo**) override;
  platform::com::HRESULT GetIDsOfNames(platform::com::REFIID, platform::com::LPOLESTR*, platform::com::UINT,
                                       platform::com::LCID, platform::com::DISPID*) override;
  platform::com::HRESULT Invoke(platform::com::DISPID, platform::com::REFIID, platform::com::LCID,
                                platform::com::WORD, platform::com::DISPPARAMS*, platform::com::VARIANT*,
                                platform::com::EXCEPINFO*, platform::com::UINT*) override;

  platform::com::HRESULT put_WMode(platform::com::BSTR mode) override;
  platform::com::HRESULT LoadMovie(int layer, platform::com::BSTR url) override;
  platform::com::HRESULT CallFunction(platform::com::BSTR request, platform::com::BSTR* response) override;

  platform::com::HRESULT EnumConnectionPoints(platform::com::IEnumConnectionPoints**) override;
  platform::com::HRESULT FindConnectionPoint(platform::com::REFIID riid,
                                             platform::com::IConnectionPoint** point) override;

  platform::com::HRESULT GetConnectionInterface(platform::com::IID* iid) override;
  platform::com::HRESULT GetConnectionPointContainer(platform::com::IConnectionPointContainer** c) override;
  platform::com::HRESULT Advise(platform::com::IUnknown* sink, platform::com::DWORD* cookie) override;
  platform::com::HRESULT Unadvise(platform::com::DWORD cookie) override;
  platform::com::HRESULT EnumConnections(platform::com::IEnumConnections**) override;

  platform::com::HRESULT Attach(void* parent, int width, int height) override;
  platform::com::HRESULT SetExtent(int width, int height) override;
  platform::com::HRESULT AllowSocketPorts(const std::uint16_t* ports, int count) override;

 private:
  ~TestControl();
  void log(const std::string& line) const;

  Options options_;
  std::atomic<platform::com::ULONG> refs_{1};
  platform::com::IDispatch* sink_ = nullptr;
  void* child_ = nullptr;
};

}  // namespace vtest

#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "platform/com/Com.h"
#include "player/EventPoint.h"

namespace player {

class PlayerView;
class SocketBridge;

// The control object: plays a movie in a web view and carries its
// ExternalInterface calls both ways. Used on the GTK main thread only.
class FlashControl final : public platform::com::IShockwaveFlash,
                           public platform::com::IConnectionPointContainer,
                           public platform::com::IControlAttach {
 public:
  // The page and Ruffle's files lie in `libraryFolder`.
  explicit FlashControl(std::string libraryFolder);
  FlashControl(const FlashControl&) = delete;
  FlashControl& operator=(const FlashControl&) = delete;

  platform::com::HRESULT QueryInterface(platform::com::REFIID riid, void** object) override;
  platform::com::ULONG AddRef() override;
  platform::com::ULONG Release() override;

  platform::com::HRESULT GetTypeInfoCount(platform::com::UINT* count) override;
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

  platform::com::HRESULT EnumConnectionPoints(platform::com::IEnumConnectionPoints** points) override;
  platform::com::HRESULT FindConnectionPoint(platform::com::REFIID riid,
                                             platform::com::IConnectionPoint** point) override;

  platform::com::HRESULT Attach(void* parent, int width, int height) override;
  platform::com::HRESULT SetExtent(int width, int height) override;
  platform::com::HRESULT AllowSocketPorts(const std::uint16_t* ports, int count) override;

 private:
  ~FlashControl();

  std::atomic<platform::com::ULONG> references_{1};
  std::string libraryFolder_;
  std::string wmode_ = "window";
  std::set<std::uint16_t> socketPorts_;
  EventPoint events_;
  std::unique_ptr<SocketBridge> bridge_;
  std::unique_ptr<PlayerView> view_;
};

}  // namespace player

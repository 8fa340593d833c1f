#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/com/Com.h"

namespace player {

// The control's connection point for its event interface. Its reference count
// is the control's; the sinks it holds are released with it.
class EventPoint final : public platform::com::IConnectionPoint {
 public:
  explicit EventPoint(platform::com::IConnectionPointContainer& owner) : owner_(owner) {}
  ~EventPoint();
  EventPoint(const EventPoint&) = delete;
  EventPoint& operator=(const EventPoint&) = delete;

  platform::com::HRESULT QueryInterface(platform::com::REFIID riid, void** object) override;
  platform::com::ULONG AddRef() override { return owner_.AddRef(); }
  platform::com::ULONG Release() override { return owner_.Release(); }
  platform::com::HRESULT GetConnectionInterface(platform::com::IID* iid) override;
  platform::com::HRESULT GetConnectionPointContainer(
      platform::com::IConnectionPointContainer** container) override;
  platform::com::HRESULT Advise(platform::com::IUnknown* sink, platform::com::DWORD* cookie) override;
  platform::com::HRESULT Unadvise(platform::com::DWORD cookie) override;
  platform::com::HRESULT EnumConnections(platform::com::IEnumConnections** connections) override;

  // Fires FlashCall (dispatch id 197) with `request` at every sink.
  void fireFlashCall(const std::u16string& request);

 private:
  platform::com::IConnectionPointContainer& owner_;
  std::vector<std::pair<platform::com::DWORD, platform::com::IDispatch*>> sinks_;
  platform::com::DWORD nextCookie_ = 1;
};

}  // namespace player

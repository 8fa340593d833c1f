#pragma once

#include <string>
#include <vector>

#include "platform/com/Com.h"

namespace shell {
class Client;
}

namespace gamehost {

class MovieFile;

// The event sink of a game window's control: the movie's FlashCall requests
// ("reload", "client", "tracert", "writestring"). No reference counting: it
// lives exactly as long as its game window. UI thread only.
class FlashEventHandler : public platform::com::IDispatch {
 public:
  FlashEventHandler(shell::Client& client, MovieFile& file) : client_(client), file_(file) {}

  platform::com::HRESULT QueryInterface(platform::com::REFIID riid, void** object) override;
  platform::com::ULONG AddRef() override { return 1; }
  platform::com::ULONG Release() override { return 1; }
  platform::com::HRESULT GetTypeInfoCount(platform::com::UINT*) override { return platform::com::E_NOTIMPL; }
  platform::com::HRESULT GetTypeInfo(platform::com::UINT, platform::com::LCID,
                                     platform::com::ITypeInfo**) override {
    return platform::com::E_NOTIMPL;
  }
  platform::com::HRESULT GetIDsOfNames(platform::com::REFIID, platform::com::LPOLESTR*, platform::com::UINT,
                                       platform::com::LCID, platform::com::DISPID*) override {
    return platform::com::E_NOTIMPL;
  }
  // Always S_OK, no result.
  platform::com::HRESULT Invoke(platform::com::DISPID id, platform::com::REFIID riid,
                                platform::com::LCID lcid, platform::com::WORD flags,
                                platform::com::DISPPARAMS* params, platform::com::VARIANT* result,
                                platform::com::EXCEPINFO* exception, platform::com::UINT* argError) override;

  // One parsed request; unknown names are ignored.
  void dispatch(const std::u16string& name, const std::vector<std::u16string>& arguments);

 private:
  void handleRequest(const std::u16string& request);

  shell::Client& client_;
  MovieFile& file_;
};

// The movie's version: an optional leading "-", every other character counts as a digit.
std::int32_t readVersion(const std::u16string& text);

}  // namespace gamehost

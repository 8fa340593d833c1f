#pragma once

#include <string>

#include "platform/com/Com.h"

namespace player {

// The control's class factory: one per process, never deleted.
class ClassFactory final : public platform::com::IClassFactory {
 public:
  static ClassFactory& instance();

  platform::com::HRESULT QueryInterface(platform::com::REFIID riid, void** object) override;
  platform::com::ULONG AddRef() override { return 2; }
  platform::com::ULONG Release() override { return 1; }
  // Fails with E_FAIL and a log record when there is no display to play on.
  platform::com::HRESULT CreateInstance(platform::com::IUnknown* outer, platform::com::REFIID riid,
                                        void** object) override;
  platform::com::HRESULT LockServer(platform::com::BOOL) override { return platform::com::S_OK; }

 private:
  ClassFactory() = default;
};

// The folder that holds this library, where the page and Ruffle's files lie.
std::string libraryFolder();

}  // namespace player

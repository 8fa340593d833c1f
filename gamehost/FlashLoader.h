#pragma once

#include <functional>
#include <string>

#include "platform/com/ComPtr.h"

namespace gamehost {

// Where the control's class factory comes from.
struct ControlSource {
  // Unpacks "flash.cab" into the working directory; false when the cabinet is
  // there but could not be unpacked, and then no control is loaded.
  std::function<bool()> unpack;
  // Loads "./flash.ocx" (never unloaded) and finds its DllGetClassObject; null when either fails.
  std::function<platform::com::DllGetClassObjectFn()> load;
};
// "flash.cab" and "./flash.ocx" in the working directory.
ControlSource defaultControlSource();
// `folder`/flash.cab unpacked into `folder`, then `folder`/flash.ocx.
ControlSource controlSource(const std::string& folder);

// Holds the control library's class factory and makes one control per game
// window. While no factory is held, every creation unpacks and loads again.
class FlashLoader {
 public:
  explicit FlashLoader(ControlSource source = defaultControlSource());
  FlashLoader(const FlashLoader&) = delete;
  FlashLoader& operator=(const FlashLoader&) = delete;

  // A new control in window mode "direct" (the caller owns the reference), or null.
  platform::com::IShockwaveFlash* create();
  bool holdsFactory() const { return static_cast<bool>(factory_); }

 private:
  ControlSource source_;
  platform::com::ComPtr<platform::com::IClassFactory> factory_;
};

// Through the process-wide loader (made on first use, its factory released at exit).
platform::com::IShockwaveFlash* createFlashControl();

// Extracts each entry of `cabinet` into `folder`, except those whose file
// there has the entry's size and time already, and names that would leave
// the folder. True when that went well or there is no cabinet; otherwise an
// ERR record names what failed.
bool unpackCabinet(const std::string& cabinet, const std::string& folder);

}  // namespace gamehost

#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/com/Com.h"

typedef struct _GtkWidget GtkWidget;

namespace vtest {

// The player library loaded as the game host loads it: flash.cab (of
// VORNASK_BUILD_DIR, else of the tree this was built in) unpacked into a
// folder of its own, flash.ocx opened there, on a private X server. Made on
// first use and kept for the process.
struct PlayerLibrary {
  static PlayerLibrary& get();
  bool ready() const { return factory != nullptr; }

  std::string folder;
  platform::com::DllGetClassObjectFn getClassObject = nullptr;
  platform::com::IClassFactory* factory = nullptr;
  std::string problem;  // why it is not ready
};

// Keeps the GTK main context running until `pred` holds or `ms` pass.
bool pumpUntil(const std::function<bool()>& pred, int ms);
void pumpFor(int ms);

// One control in a window of its own, with a sink that records every FlashCall.
class HostedControl {
 public:
  HostedControl(int width = 640, int height = 480);
  ~HostedControl();  // releases the control, then closes the window
  HostedControl(const HostedControl&) = delete;
  HostedControl& operator=(const HostedControl&) = delete;

  bool created() const { return flash_ != nullptr; }
  platform::com::IShockwaveFlash* flash() const { return flash_; }
  platform::com::HRESULT load(const std::string& moviePath);
  // CallFunction with a request; returns the response text.
  std::u16string callFunction(const std::u16string& request, platform::com::HRESULT* result = nullptr);
  void resize(int width, int height);
  // The loopback ports the movie's sockets may reach from the next load on.
  void allowSocketPorts(const std::vector<std::uint16_t>& ports);
  GtkWidget* window() const { return window_; }
  // Destroys the window and the control's view in it, the control left alive.
  void closeWindow();

  // FlashCall requests in arrival order, as UTF-8.
  const std::vector<std::string>& calls() const;
  bool allOnUiThread() const;
  // Waits for a call whose request starts with `<invoke name="NAME"`; returns its index or -1.
  int waitForCall(const std::string& name, int ms, std::size_t from = 0);

 private:
  class Sink;
  Sink* sink_;
  GtkWidget* window_ = nullptr;
  GtkWidget* fixed_ = nullptr;
  platform::com::IShockwaveFlash* flash_ = nullptr;
  platform::com::IConnectionPoint* point_ = nullptr;
  platform::com::DWORD cookie_ = 0;
};

// The request the control sends for a call of `name` with these argument elements.
std::string invoke(const std::string& name, const std::string& arguments);

}  // namespace vtest

#pragma once

namespace shell {

// Private thread messages of the UI thread (no target window).
enum : unsigned {
  ReloadMessage = 1148,
  ClientHelloMessage = 1149,
  TraceResultMessage = 1150,  // wParam: std::string* (UTF-8), owned by the receiver
  InvokeMessage = 1152,       // wParam: InvokerBase*, owned by the receiver
};

// The client version.
extern const char* const clientVersion;

}  // namespace shell

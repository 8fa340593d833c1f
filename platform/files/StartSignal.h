#pragma once

#include <functional>
#include <string>
#include <thread>

namespace platform {

// A running program's socket in its working folder (a Unix socket, mode 0600) through which a
// later start of the program in that folder asks it to show its window, handing over its
// activation token (the desktop's startup id, possibly empty).
class StartSignalListener {
 public:
  StartSignalListener() = default;
  // Stops listening and removes the socket.
  ~StartSignalListener();
  StartSignalListener(const StartSignalListener&) = delete;
  StartSignalListener& operator=(const StartSignalListener&) = delete;

  // Listens on `path`, replacing what is there (the caller holds the folder's lock, so nothing
  // else listens). `onStart` runs on the listener's own thread, once per request of a process of
  // the same user. 0 or the errno of the failure.
  int listen(const std::string& path, std::function<void(const std::string& token)> onStart);

 private:
  void serve();

  std::string path_;
  std::function<void(const std::string&)> onStart_;
  int socket_ = -1;
  int stop_[2] = {-1, -1};
  std::thread thread_;
};

// Longest activation token passed on; a longer one is not a token.
constexpr std::size_t maxStartToken = 256;

// Asks the program listening on `path` to show its window: 0 once it took the request, else an
// errno (ENOENT, ECONNREFUSED: nothing listens; EINVAL: the token cannot be passed).
int signalStart(const std::string& path, const std::string& token);

// The activation token this process was started with (XDG_ACTIVATION_TOKEN, else
// DESKTOP_STARTUP_ID), or "".
std::string startToken();

}  // namespace platform

#include "platform/ui/Console.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/ui/Backend.h"
#include "platform/ui/Headless.h"
#include "platform/ui/MessageLoop.h"

namespace platform::ui {
namespace {

enum Command : WParam {
  Press = 1,
  Check,
  Close,
  CloseGame,
  Folder,
  ShortcutOn,
  ShortcutOff,
  Install,
  Browse,
  Exit
};

const std::map<std::string, Command> plainCommands = {{"press", Press},
                                                      {"check", Check},
                                                      {"close", Close},
                                                      {"close game", CloseGame},
                                                      {"shortcut on", ShortcutOn},
                                                      {"shortcut off", ShortcutOff},
                                                      {"install", Install},
                                                      {"browse", Browse},
                                                      {"exit", Exit}};

// Longer input lines are ignored as a whole, so endless input cannot grow memory.
constexpr std::size_t maxCommandLine = 1024;

struct ConsoleState {
  std::FILE* out = nullptr;
  ThreadId uiThread = 0;
  std::map<ConsoleRole, detail::WindowObject*> holders;  // UI thread only
  std::map<ConsoleRole, std::string> lastLine;
  std::thread reader;
  int stopPipe[2] = {-1, -1};
  // Arguments of posted commands, by the number the message carries.
  std::mutex argumentMutex;
  std::map<LParam, std::string> arguments;
  LParam nextArgument = 0;

  ~ConsoleState() { stop(); }

  void stop() {
    if (reader.joinable()) {
      char c = 0;
      [[maybe_unused]] auto n = ::write(stopPipe[1], &c, 1);
      reader.join();
    }
    for (int& fd : stopPipe)
      if (fd >= 0) ::close(fd), fd = -1;
    out = nullptr;
    std::lock_guard<std::mutex> lock(argumentMutex);
    arguments.clear();
  }

  void post(ThreadId ui, Command cmd, const std::string* argument) {
    LParam id = 0;
    if (argument) {
      std::lock_guard<std::mutex> lock(argumentMutex);
      id = ++nextArgument;
      arguments[id] = *argument;
    }
    if (postThreadMessage(ui, detail::ConsoleCommandMessage, cmd, id) || !id) return;
    std::lock_guard<std::mutex> lock(argumentMutex);
    arguments.erase(id);
  }

  std::string takeArgument(LParam id) {
    std::lock_guard<std::mutex> lock(argumentMutex);
    auto it = arguments.find(id);
    if (it == arguments.end()) return {};
    std::string value = std::move(it->second);
    arguments.erase(it);
    return value;
  }
};

ConsoleState& state() {
  static ConsoleState s;
  return s;
}

std::string lineOf(const detail::WindowObject& w) {
  switch (w.role) {
    case ConsoleRole::Window:
      return std::string("window: ") + (w.visible ? "shown" : "hidden");
    case ConsoleRole::Status:
      return "status: " + w.text;
    case ConsoleRole::Error:
      return "error: " + w.text;
    case ConsoleRole::Button:
      return "button: " + w.text;
    case ConsoleRole::Check:
      return std::string("check: ") + (w.checked ? "on " : "off ") + (w.enabled ? "enabled" : "disabled");
    case ConsoleRole::Progress:
      return "progress: " + std::to_string(w.progress.pos) + "/" + std::to_string(w.progress.high) +
             (w.visible ? " shown" : " hidden");
    case ConsoleRole::Game:
      return std::string("game: ") + (w.destroying ? "closed" : w.visible ? "shown" : "hidden");
    case ConsoleRole::Installer:
      return w.visible ? "installer: shown" : "";
    case ConsoleRole::Folder:
      return "folder: " + w.text;
    case ConsoleRole::Shortcut:
      return std::string("shortcut: ") + (w.checked ? "on" : "off");
    case ConsoleRole::None:
    case ConsoleRole::InstallButton:
    case ConsoleRole::BrowseButton:
    case ConsoleRole::ExitButton:
      break;
  }
  return {};
}

void writeLine(ConsoleState& s, const std::string& line) {
  if (line.empty()) return;
  std::fprintf(s.out, "%s\n", line.c_str());
  std::fflush(s.out);
}

void readCommands(ConsoleState& s, int inFd, int stopFd, ThreadId ui) {
  std::string pending;
  bool overlong = false;  // dropping the rest of a line longer than maxCommandLine
  char buf[256];
  for (;;) {
    pollfd fds[2] = {{inFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    const ssize_t n = ::read(inFd, buf, sizeof buf);
    if (n <= 0) return;  // end of input changes nothing
    pending.append(buf, static_cast<std::size_t>(n));
    std::size_t eol;
    while ((eol = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, eol);
      pending.erase(0, eol + 1);
      if (overlong || line.size() > maxCommandLine) {
        overlong = false;
        continue;
      }
      const auto first = line.find_first_not_of(" \t\r");
      const auto last = line.find_last_not_of(" \t\r");
      line = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
      if (line == "folder" || line.rfind("folder ", 0) == 0) {
        const std::string path = line.size() > 7 ? line.substr(7) : std::string();
        s.post(ui, Folder, &path);
      } else if (auto it = plainCommands.find(line); it != plainCommands.end()) {
        s.post(ui, it->second, nullptr);
      }
    }
    if (pending.size() > maxCommandLine) {
      pending.clear();
      overlong = true;
    }
  }
}

}  // namespace

void setConsoleRole(WindowHandle window, ConsoleRole role) {
  detail::WindowObject* w = detail::find(window);
  if (!w || role == ConsoleRole::None) return;
  ConsoleState& s = state();
  auto& holder = s.holders[role];
  if (holder && holder != w) holder->role = ConsoleRole::None;
  holder = w;
  w->role = role;
  s.lastLine[role] = lineOf(*w);
}

void startConsole(int inFd, std::FILE* out) {
  if (detail::backend().kind() != BackendKind::Headless) return;
  ConsoleState& s = state();
  s.stop();
  s.out = out;
  s.uiThread = currentThreadId();
  ensureMessageQueue();
  if (inFd >= 0 && ::pipe2(s.stopPipe, O_CLOEXEC) == 0)
    s.reader = std::thread(readCommands, std::ref(s), inFd, s.stopPipe[0], s.uiThread);
}

void stopConsole() {
  state().stop();
}

void consoleLine(const std::string& line) {
  ConsoleState& s = state();
  if (!s.out) return;
  writeLine(s, line);
}

void detail::consoleFront(detail::WindowObject& w) {
  const std::string line = lineOf(w);
  if (!line.empty()) consoleLine("front: " + line);
}

void consoleReport(WindowHandle window) {
  detail::WindowObject* w = detail::find(window);
  ConsoleState& s = state();
  if (!w || w->role == ConsoleRole::None || !s.out) return;
  s.lastLine[w->role] = lineOf(*w);
  writeLine(s, s.lastLine[w->role]);
}

namespace detail {

void consoleChanged(WindowObject& w) {
  ConsoleState& s = state();
  if (w.role == ConsoleRole::None || !s.out) return;
  std::string line = lineOf(w);
  std::string& last = s.lastLine[w.role];
  if (line == last) return;
  last = line;
  writeLine(s, line);
}

void consoleForget(WindowObject& w) {
  if (w.role == ConsoleRole::None) return;
  auto& holders = state().holders;
  auto it = holders.find(w.role);
  if (it != holders.end() && it->second == &w) holders.erase(it);
  w.role = ConsoleRole::None;
}

bool consoleDispatch(const Message& msg) {
  auto& holders = state().holders;
  auto holder = [&](ConsoleRole r) -> WindowObject* {
    auto it = holders.find(r);
    return it == holders.end() ? nullptr : it->second;
  };
  switch (msg.wParam) {
    case Press:
      if (WindowObject* b = holder(ConsoleRole::Button)) return headless::click(b->handle);
      break;
    case Check:
      if (WindowObject* c = holder(ConsoleRole::Check)) return headless::click(c->handle);
      break;
    case Close:
    case CloseGame:
      if (WindowObject* w = holder(msg.wParam == Close ? ConsoleRole::Window : ConsoleRole::Game)) {
        callHandler(*w, WmClose, 0, 0);
        return true;
      }
      break;
    case Folder: {
      const std::string path = state().takeArgument(msg.lParam);
      if (WindowObject* f = holder(ConsoleRole::Folder)) return setWindowText(f->handle, path);
      break;
    }
    case ShortcutOn:
    case ShortcutOff:
      if (WindowObject* c = holder(ConsoleRole::Shortcut))
        return setCheck(c->handle, msg.wParam == ShortcutOn);
      break;
    case Install:
    case Browse:
    case Exit: {
      const ConsoleRole role = msg.wParam == Install  ? ConsoleRole::InstallButton
                               : msg.wParam == Browse ? ConsoleRole::BrowseButton
                                                      : ConsoleRole::ExitButton;
      if (WindowObject* b = holder(role)) return headless::click(b->handle);
      break;
    }
  }
  return false;
}

}  // namespace detail
}  // namespace platform::ui

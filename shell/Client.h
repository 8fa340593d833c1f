#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "launcher/LauncherWindow.h"
#include "platform/ui/Types.h"
#include "shell/CommandLine.h"
#include "shell/ThreadMessages.h"

namespace mstd {
class thread_pool;
}

namespace shell {

class GameHost;
class UpdateHandler;

// What the program plugs into the start-up and the Client; empty parts get
// defaults (no install check, a workflow that only shows the launcher, no game
// window, no relay).
struct ClientParts {
  // True: the program may run from `executableFolder`; false ends the process.
  std::function<bool(const std::string& executableFolder)> installCheck;
  // Sets the HTTP engine's user agent and hands its work to `uiThread`.
  std::function<void(const std::string& userAgent, platform::ui::ThreadId uiThread)> prepareHttp;
  std::function<std::unique_ptr<UpdateHandler>(class Client&)> makeUpdateHandler;
  std::function<std::unique_ptr<GameHost>(class Client&)> makeGameHost;
  // Starts the relay once (addressed: a system-chosen port) and returns its
  // port; throws when it cannot listen.
  std::function<std::uint16_t(bool addressed)> startRelay;
};

// The one application object: lives on the UI thread's stack from after the
// start-up preparation until the message loop ends.
class Client : private launcher::LauncherEvents {
 public:
  Client(const StartOptions& options, platform::ui::ThreadId uiThread, ClientParts parts = {});
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  const StartOptions& options() const { return options_; }
  platform::ui::ThreadId uiThread() const { return uiThread_; }

  launcher::LauncherWindow& launcher() { return launcher_; }
  // Makes the launcher window anew (destroying an older one after) and hands
  // it to the workflow.
  void createLauncherWindow();

  UpdateHandler& updater() { return *updater_; }
  void startFileList();

  // The game window (false / no-op without a game host).
  bool makeGameWindow();
  void closeGameWindow();
  bool gameWindowExists() const;
  bool gameWindowVisible() const;
  GameHost* gameHost() { return gameHost_.get(); }
  // A later start in the folder asked for the client: the game window when shown, else the
  // launcher, comes to the front.
  void bringToFront(const std::string& activationToken);

  std::int32_t movieVersion() const { return movieVersion_; }
  void setMovieVersion(std::int32_t version) { movieVersion_ = version; }
  std::uint16_t relayPort() const { return relayPort_; }

  mstd::thread_pool& threadPool() { return *threadPool_; }

  // Handles the private thread messages; false for any other message.
  bool handleThreadMessage(const platform::ui::Message& msg);

  // Runs the loop until quit; returns the exit code.
  int runMessageLoop();

 private:
  void onLauncherDestroyed() override;
  void onActionButton() override;
  void onCheckBox() override;
  void onProgressTimer() override;
  void onRestartTimer() override;
  void handle(ReloadMessage&);
  void handle(ClientHelloMessage&);
  void handle(TraceResultMessage& message);
  void handle(InvokeMessage& message);

  StartOptions options_;
  platform::ui::ThreadId uiThread_;
  ClientParts parts_;
  std::int32_t movieVersion_ = 0;
  std::uint16_t relayPort_ = 0;
  bool destroying_ = false;
  std::unique_ptr<mstd::thread_pool> threadPool_;
  std::unique_ptr<GameHost> gameHost_;
  launcher::LauncherWindow launcher_;
  std::unique_ptr<UpdateHandler> updater_;
};

}  // namespace shell

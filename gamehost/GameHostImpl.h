#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gamehost/Browser.h"
#include "gamehost/MovieFile.h"
#include "shell/GameHost.h"

namespace gamehost {

// The Client's game window side: at most one Browser, the calls into its
// movie and the file written for the movie.
class GameHostImpl : public shell::GameHost {
 public:
  // The loopback ports the movie's sockets may reach; asked for each new control.
  using RelayPorts = std::function<std::vector<std::uint16_t>()>;

  // Without `relayPorts` the controls are not told any ports.
  GameHostImpl(shell::Client& client, ControlFactory makeControl, RelayPorts relayPorts = {});
  ~GameHostImpl() override;

  bool makeGameWindow() override;
  void closeGameWindow() override;
  bool gameWindowExists() const override { return browser_ != nullptr; }
  bool gameWindowVisible() const override;
  bool bringToFront(const std::string& activationToken) override;
  void sendClientReply(std::uint16_t port) override;
  void sendBugReport(const std::string& text) override;
  void closeMovieFile() override { file_.close(); }

  Browser* browser() { return browser_.get(); }
  MovieFile& movieFile() { return file_; }

 private:
  shell::Client& client_;
  ControlFactory makeControl_;
  RelayPorts relayPorts_;
  MovieFile file_;
  std::unique_ptr<Browser> browser_;
};

}  // namespace gamehost

#pragma once

#include <cstdint>
#include <string>

namespace shell {

// The game window side of the Client (game window, movie bridge, the file
// written for the movie). UI thread only.
class GameHost {
 public:
  virtual ~GameHost() = default;

  // Replaces a present game window; true when the window and the control exist.
  virtual bool makeGameWindow() = 0;
  // Closes it without posting quit or saving its placement.
  virtual void closeGameWindow() = 0;
  virtual bool gameWindowExists() const = 0;
  virtual bool gameWindowVisible() const = 0;
  // Brings a shown game window to the front (see platform::ui::bringToFront); false without one.
  virtual bool bringToFront(const std::string& activationToken) = 0;
  // Calls into the movie; nothing happens without a game window. port 0: no port.
  virtual void sendClientReply(std::uint16_t port) = 0;
  virtual void sendBugReport(const std::string& text) = 0;
  // First step of the Client's destruction.
  virtual void closeMovieFile() {}
};

}  // namespace shell

#pragma once

#include <memory>
#include <string>

// Game windows made, loaded with a movie until its first FlashCall, and
// released, one per reload, with the real player on a GTK thread of its own.
class GameWindowReloads {
 public:
  explicit GameWindowReloads(std::string moviePath);
  ~GameWindowReloads();
  GameWindowReloads(const GameWindowReloads&) = delete;
  GameWindowReloads& operator=(const GameWindowReloads&) = delete;

  // One reload; false when no control was made or the movie made no call.
  bool reload();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

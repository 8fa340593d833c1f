#pragma once

#include <string>

#include "player/MovieFolder.h"

namespace player {

// What the page of one control may load: the player's own files next to the
// library, the configuration the page starts from, and the movie's folder.
struct PageFiles {
  std::string libraryFolder;
  std::string config;  // JSON
  MovieFolder movie;
};

// The scheme and host of every page URL.
inline constexpr const char* pageScheme = "vornask";
inline constexpr const char* pageOrigin = "vornask://game";

}  // namespace player

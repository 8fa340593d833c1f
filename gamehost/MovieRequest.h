#pragma once

#include <string>
#include <vector>

namespace gamehost {

// One ExternalInterface request of the movie: the invoke element's "name" and
// the text of each child of its first child.
struct MovieRequest {
  std::u16string name;
  std::vector<std::u16string> arguments;
};

// False when the text is no such request (not XML, no document element, no "name"),
// and, with a WRN record and before any parsing, past 1 MiB (UTF-8) or 64 levels.
bool parseMovieRequest(const std::u16string& request, MovieRequest& out);

}  // namespace gamehost

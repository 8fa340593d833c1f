#pragma once

#include <string>
#include <vector>

namespace updater {

// "library/mirrors.txt": more servers of the game's files, beside the file list.
//
//   vornask-mirrors 1
//   <base URL, http:// or https://, ending in "/">   (one line per mirror)
//
// Lines end with LF. A file's URL on a mirror is its base URL + the listed name, as on the
// web host. The list and its signature always come from the web host.
extern const char* const mirrorListName;

// Most mirrors a client uses; the rest of a longer list is ignored.
constexpr size_t maxMirrors = 16;

// The text for `mirrors`; a "/" is added to a base without one. Throws std::invalid_argument
// on a URL that is not http(s)://HOST… or holds a space or control character.
std::string mirrorListText(const std::vector<std::string>& mirrors);

// The mirrors of a list's text; false (and none) when the first line is not the header.
// Lines that are not a usable base URL are skipped.
bool parseMirrorList(const std::string& text, std::vector<std::string>& mirrors);

}  // namespace updater

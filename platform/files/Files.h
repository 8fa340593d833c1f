#pragma once

#include <string>

namespace platform {

// Creates `path` level by level: every prefix that ends just before a "/"
// (and the whole path) becomes a folder unless it is one already. 0 or the
// errno of the failing level (ENOTDIR when a level exists as something else).
int createFolderLevels(const std::string& path);

// `path` when it is a folder, else its nearest ancestor that is one; "" when
// none is (a relative path with no folder in it).
std::string nearestFolder(const std::string& path);

// Writes `data` to a temporary file beside `path`, syncs it, gives it `mode`
// and renames it over `path`; nothing is left behind on failure. 0 or errno.
int writeFileAtomically(const std::string& path, const std::string& data, unsigned mode);

}  // namespace platform

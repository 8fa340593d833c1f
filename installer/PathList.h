#pragma once

#include <cstddef>
#include <string>

namespace installer {

// The store's value of install folders and the most it may hold (with a final zero).
constexpr const char* pathValueName = "path";
constexpr std::size_t pathValueBytes = 8192;

// The "path" value: install folders separated by ",", each without a final "/".
// Folders are compared exactly: Linux paths are case-sensitive. With
// `followLinks`, an element naming `folder` through symbolic links matches too
// (`folder` being a real path, as the running executable's folder is).
bool listsFolder(const std::string& value, const std::string& folder, bool followLinks = false);

// The folder text of the installer window ends in "/" (one is added when
// missing); the folder recorded is that text without its final "/".
std::string withFinalSlash(const std::string& text);
std::string recordedFolder(const std::string& text);

// The folder text made absolute, with "." and ".." resolved and no final "/":
// "~" and "~/..." lie in `home`, other relative texts in `base`.
std::string absoluteFolder(const std::string& text, const std::string& home, const std::string& base);

// `value` with `folder` appended; `hadValue` tells whether a value was read
// at all (an empty one still gets the separator).
std::string appendFolder(const std::string& value, bool hadValue, const std::string& folder);

}  // namespace installer

#pragma once

#include <string>

namespace installer {

// A value of type string in a desktop entry: backslash, line breaks and tabs
// escaped, a leading space as "\s".
std::string escapeEntryValue(const std::string& text);

// One argument of an Exec key: in double quotes with ", `, $ and \ escaped,
// "%" doubled, then escaped as a string value.
std::string quoteExecArgument(const std::string& argument);

// The launcher entry "Vornask" that starts `executable` with no arguments and
// shows the image file `icon` (both full paths).
std::string desktopEntryText(const std::string& executable, const std::string& icon);

}  // namespace installer

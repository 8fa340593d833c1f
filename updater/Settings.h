#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace updater {

// The settings file, relative to the working directory.
extern const char* const settingsFileName;

// Key/value pairs of the settings file in file order; a missing or empty
// file gives none. A value is a decimal with optional "-" (32-bit wrap);
// a line without "=" has the whole line as key and value 0.
std::vector<std::pair<std::string, int32_t>> readSettings(const std::string& path);
std::vector<std::pair<std::string, int32_t>> parseSettings(const std::string& content);

// Replaces the file with both keys; false when it cannot be written.
bool writeSettings(const std::string& path, bool downloadSounds, bool fullyDownloaded);

}  // namespace updater

#pragma once

#include <filesystem>
#include <string>

namespace vtest {

// The bytes of a file; empty when it cannot be read.
std::string readWholeFile(const std::filesystem::path& file);

// Replaces a file's bytes, creating its folders; throws when it cannot be written.
void writeWholeFile(const std::filesystem::path& file, const std::string& content);

}  // namespace vtest

#pragma once

#include <string>
#include <vector>

namespace platform {

// Splits a command line by the classic argv rules: the first item ends at the
// next blank or, when it starts with a quote, at the next quote; later items
// follow the quote and backslash rules ("" inside quotes is a quote). An empty
// line gives one item, `programPath`.
std::vector<std::string> splitCommandLine(const std::string& line, const std::string& programPath);

// Joins items so that splitCommandLine gives them back (a first item cannot
// hold a quote and a blank at once).
std::string joinCommandLine(const std::vector<std::string>& items);

}  // namespace platform

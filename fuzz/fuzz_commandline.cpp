// The command line from arbitrary bytes: the split items join into a line that splits the same
// way, items written by join come back, and the start-up skips the quoted module path.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/process/CommandLine.h"
#include "shell/CommandLine.h"

namespace {

using Items = std::vector<std::string>;
const std::string program = "/opt/Vornask Games/Vornask";

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// The first item has no escapes: it cannot start with a quote, nor hold a quote and a blank.
bool writableFirst(const std::string& item) {
  if (!item.empty() && item[0] == '"') return false;
  return item.find('"') == std::string::npos || item.find_first_of(" \t") == std::string::npos;
}

Items itemsAt(const std::string& bytes, char separator) {
  Items items(1);
  for (char c : bytes) {
    if (c == separator)
      items.emplace_back();
    else
      items.back() += c;
  }
  return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);

  const Items split = platform::splitCommandLine(line, program);
  check(!split.empty() && writableFirst(split[0]));
  check(platform::splitCommandLine(platform::joinCommandLine(split), program) == split);

  Items items = itemsAt(line, '\0');
  if (writableFirst(items[0]) && !(items.size() == 1 && items[0].empty()))
    check(platform::splitCommandLine(platform::joinCommandLine(items), program) == items);

  // The module path in quotes, in any letter case, and the spaces after it are skipped.
  std::string quoted = program;
  for (std::size_t i = 0; i < quoted.size() && i < size; ++i)
    if (data[i] & 1) quoted[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(quoted[i])));
  const shell::StartOptions options = shell::prepareCommandLine('"' + quoted + '"' + line, program);
  const std::size_t rest = std::min(line.find_first_not_of(' '), line.size());
  check(options.items == platform::splitCommandLine(line.substr(rest), program));
  check(options.executableFolder + "/" + options.executableFileName == program);
  return 0;
}

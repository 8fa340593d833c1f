#include "shell/CommandLine.h"

#include <strings.h>

#include "platform/process/CommandLine.h"

namespace shell {
namespace {

bool startsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}
bool same(const std::string& a, const char* b) {
  return ::strcasecmp(a.c_str(), b) == 0;
}

}  // namespace

std::string argumentText(const std::vector<std::string>& items, std::size_t from) {
  std::string text;
  for (std::size_t i = from; i < items.size(); ++i) {
    if (!text.empty()) text += ' ';
    text += items[i];
  }
  return text;
}

StartOptions prepareCommandLine(const std::string& rawLine, const std::string& modulePath) {
  std::string rest = rawLine;
  const std::size_t n = modulePath.size();
  if (rawLine.size() >= n + 2 && rawLine[0] == '"' && rawLine[n + 1] == '"' &&
      ::strncasecmp(rawLine.c_str() + 1, modulePath.c_str(), n) == 0) {
    std::size_t i = n + 2;
    while (i < rawLine.size() && rawLine[i] == ' ') ++i;
    rest = rawLine.substr(i);
  }
  return readArguments(platform::splitCommandLine(rest, modulePath), modulePath);
}

StartOptions readArguments(std::vector<std::string> items, const std::string& modulePath) {
  StartOptions o;
  o.modulePath = modulePath;
  const std::size_t slash = modulePath.rfind('/');
  if (slash != std::string::npos) {
    o.executableFolder = modulePath.substr(0, slash);
    o.executableFileName = modulePath.substr(slash + 1);
  }
  o.items = std::move(items);
  o.argumentText = argumentText(o.items);

  if (!o.items.empty() && startsWith(o.items[0], "@")) {
    o.replacement = true;
    o.replacementTarget = o.items[0].substr(1);
    o.replacementArguments = argumentText(o.items, 1);
    return o;
  }
  for (const std::string& item : o.items) {
    if (same(item, "debug"))
      o.debug = true;
    else if (same(item, "nodl"))
      o.noDownload = true;
    else if (same(item, "nocu"))
      o.noClientUpdate = true;
    else if (startsWith(item, "u="))
      o.user = item.substr(2);
    else if (startsWith(item, "p="))
      o.password = item.substr(2);
    else if (same(item, "noStupidPath"))
      o.skipInstallCheck = true;
  }
  return o;
}

}  // namespace shell

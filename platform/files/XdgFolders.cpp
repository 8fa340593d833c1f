#include "platform/files/XdgFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

std::string absoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? std::string(value) : std::string();
}

std::string underHome(const std::string& relative) {
  const std::string home = homeFolder();
  return home.empty() ? std::string() : home + relative;
}

// The quoted value of a line `KEY="..."`; backslash escapes are undone.
bool quotedValue(const std::string& line, std::size_t at, std::string& value) {
  if (at >= line.size() || line[at] != '"') return false;
  value.clear();
  for (std::size_t i = at + 1; i < line.size(); ++i) {
    if (line[i] == '"') return true;
    if (line[i] == '\\' && i + 1 < line.size()) ++i;
    value += line[i];
  }
  return false;
}

}  // namespace

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()))
    if (pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
  return {};
}

std::string dataHome() {
  const std::string xdg = absoluteEnv("XDG_DATA_HOME");
  return xdg.empty() ? underHome("/.local/share") : xdg;
}

std::string configHome() {
  const std::string xdg = absoluteEnv("XDG_CONFIG_HOME");
  return xdg.empty() ? underHome("/.config") : xdg;
}

std::string userDirFromText(const std::string& text, const std::string& key, const std::string& home) {
  std::istringstream lines(text);
  std::string line, result;
  while (std::getline(lines, line)) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    std::size_t at = start + key.size();
    if (at >= line.size() || line[at] != '=') continue;
    std::string value;
    if (!quotedValue(line, at + 1, value)) continue;
    if (value == "$HOME" || value.rfind("$HOME/", 0) == 0)
      result = home + value.substr(5);
    else if (!value.empty() && value[0] == '/')
      result = value;
  }
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

int desktopFolder(std::string& folder) {
  const std::string home = homeFolder();
  if (home.empty()) return ENOENT;
  std::ifstream file(configHome() + "/user-dirs.dirs");
  std::ostringstream text;
  if (file) text << file.rdbuf();
  folder = userDirFromText(text.str(), "XDG_DESKTOP_DIR", home);
  if (folder.empty()) folder = home + "/Desktop";
  return 0;
}

}  // namespace platform

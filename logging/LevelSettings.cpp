#include "logging/LevelSettings.h"

namespace mlog {
namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t';
}

std::string trimmed(const std::string& text, std::size_t begin, std::size_t end) {
  while (begin < end && isSpace(text[begin])) ++begin;
  while (end > begin && isSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Any number of digits, without overflow: the value stops growing once it is out of range.
bool parseLevel(const std::string& text, int& level) {
  if (text.empty()) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    if (value <= Debug) value = value * 10 + (c - '0');
  }
  if (value > Debug) return false;
  level = value;
  return true;
}

}  // namespace

int LevelSettings::levelOf(const std::string& name) const {
  auto found = named.find(name);
  return found == named.end() ? defaultLevel : found->second;
}

LevelSettings parseLevelSettings(const std::string& text) {
  LevelSettings settings;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::size_t equals = text.find('=', start);
    int level = 0;
    if (equals >= end) {
      if (parseLevel(trimmed(text, start, end), level)) settings.defaultLevel = level;
    } else {
      std::string name = trimmed(text, start, equals);
      if (!name.empty() && parseLevel(trimmed(text, equals + 1, end), level)) settings.named[name] = level;
    }
    start = end + 1;
  }
  return settings;
}

}  // namespace mlog

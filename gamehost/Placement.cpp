#include "gamehost/Placement.h"

#include <vector>

namespace gamehost {
namespace {

// Decimal with an optional leading "-" (when signed); every other character counts as a digit.
std::int64_t readNumber(const std::string& s, bool isSigned = true) {
  std::size_t i = 0;
  const bool negative = isSigned && !s.empty() && s[0] == '-';
  if (negative) i = 1;
  std::uint64_t value = 0;
  for (; i < s.size(); ++i) value = value * 10 + static_cast<std::uint64_t>(s[i] - '0');
  // Negated in unsigned arithmetic: "-9223372036854775808" would overflow a signed negation.
  return static_cast<std::int64_t>(negative ? 0 - value : value);
}

}  // namespace

std::optional<StoredPlace> parsePlace(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (int comma = 0; comma < 4; ++comma) {
    const std::size_t at = text.find(',', start);
    if (at == std::string::npos) return std::nullopt;
    fields.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  fields.push_back(text.substr(start));
  for (const std::string& f : fields)
    if (f.empty()) return std::nullopt;
  StoredPlace p;
  p.rect.left = static_cast<int>(readNumber(fields[0]));
  p.rect.top = static_cast<int>(readNumber(fields[1]));
  p.rect.right = static_cast<int>(readNumber(fields[2]));
  p.rect.bottom = static_cast<int>(readNumber(fields[3]));
  p.flags = static_cast<std::uint32_t>(readNumber(fields[4], false));
  return p;
}

std::string formatPlace(const platform::ui::Placement& placement) {
  const platform::ui::Rect& r = placement.normal;
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + "," + std::to_string(placement.maximized ? restoreToMaximized : 0u);
}

platform::ui::Rect defaultPlace(const platform::ui::Rect& work) {
  const int width = (work.right - work.left) * 3 / 4;
  const int height = (work.bottom - work.top) * 3 / 4;
  const int x = (work.left + work.right - width) / 2;
  const int y = (work.top + work.bottom - height) / 2;
  return platform::ui::Rect{x, y, x + width, y + height};
}

}  // namespace gamehost

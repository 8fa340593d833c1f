#pragma once

#include <cstddef>
#include <string_view>

namespace mstd {

// The request of one ExternalInterface call, either way, is refused past these
// before it is parsed: a parser that recurses per level must not meet a
// document nested 300,000 deep, and a game's calls are a few KiB, a few levels.
constexpr std::size_t maxCallBytes = std::size_t(1) << 20;
constexpr int maxCallDepth = 64;

// True when `text` has at most `maxUnits` code units and no element lies
// deeper than `maxDepth`. The scan is coarse on the safe side: markup inside
// comments and CDATA counts as elements too.
template <class Char>
bool markupWithinBounds(std::basic_string_view<Char> text, std::size_t maxUnits = maxCallBytes,
                        int maxDepth = maxCallDepth) {
  if (text.size() > maxUnits) return false;
  int depth = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != Char('<')) continue;
    const Char next = i + 1 < text.size() ? text[i + 1] : Char(0);
    if (next == Char('/')) {
      if (depth > 0) --depth;
      continue;
    }
    if (next == Char('!') || next == Char('?')) continue;
    if (++depth > maxDepth) return false;
    std::size_t end = i + 1;
    Char quote = 0;
    for (; end < text.size(); ++end) {
      const Char c = text[end];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == Char('"') || c == Char('\'')) {
        quote = c;
      } else if (c == Char('>')) {
        break;
      }
    }
    if (end < text.size() && text[end - 1] == Char('/')) --depth;  // <empty/>
    i = end;
  }
  return true;
}

}  // namespace mstd

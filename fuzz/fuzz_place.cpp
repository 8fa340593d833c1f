// The stored window place from arbitrary bytes: what is read, written back, reads the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "gamehost/Placement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto place = gamehost::parsePlace(text);
  if (!place) return 0;
  platform::ui::Placement placement;
  placement.normal = place->rect;
  placement.maximized = place->maximized();
  const auto again = gamehost::parsePlace(gamehost::formatPlace(placement));
  if (!again) __builtin_trap();
  const platform::ui::Rect& a = place->rect;
  const platform::ui::Rect& b = again->rect;
  if (a.left != b.left || a.top != b.top || a.right != b.right || a.bottom != b.bottom) __builtin_trap();
  if (again->maximized() != place->maximized()) __builtin_trap();
  return 0;
}

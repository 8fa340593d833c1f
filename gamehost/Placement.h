#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ui/Types.h"

namespace gamehost {

// The registry value "place": "left,top,right,bottom,flags"; flags bit 1
// (value 2) means maximised.
struct StoredPlace {
  platform::ui::Rect rect;
  std::uint32_t flags = 0;
  bool maximized() const { return (flags & 2) != 0; }
};

constexpr std::uint32_t restoreToMaximized = 2;

// Nothing when a value or the fourth comma is missing. Characters are not
// checked: each counts as a digit.
std::optional<StoredPlace> parsePlace(const std::string& text);
std::string formatPlace(const platform::ui::Placement& placement);

// Three quarters of the work area's width and height, centred.
platform::ui::Rect defaultPlace(const platform::ui::Rect& workArea);

}  // namespace gamehost

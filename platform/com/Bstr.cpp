#include "platform/com/Bstr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace platform::com {

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  constexpr std::size_t maxUnits = (std::numeric_limits<std::uint32_t>::max() - 8) / sizeof(OLECHAR);
  if (length > maxUnits) return nullptr;
  const std::size_t bytes = std::size_t(length) * sizeof(OLECHAR);
  // The prefix sits 4 bytes before the text; keep the text 8-byte aligned.
  auto* block = static_cast<unsigned char*>(std::malloc(8 + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  const auto prefix = static_cast<std::uint32_t>(bytes);
  std::memcpy(block + 4, &prefix, 4);
  auto* out = reinterpret_cast<BSTR>(block + 8);
  if (text)
    std::memcpy(out, text, bytes);
  else
    std::memset(out, 0, bytes);
  out[length] = 0;
  return out;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  UINT n = 0;
  while (text[n]) ++n;
  return SysAllocStringLen(text, n);
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<unsigned char*>(text) - 8);
}

UINT SysStringLen(BSTR text) {
  if (!text) return 0;
  std::uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - 4, 4);
  return bytes / sizeof(OLECHAR);
}

}  // namespace platform::com

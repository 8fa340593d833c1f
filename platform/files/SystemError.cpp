#include "platform/files/SystemError.h"

#include <string.h>

namespace platform {

std::optional<std::string> systemErrorText(int code) {
  // strerror invents "Unknown error N" for codes it does not know.
  if (code <= 0 || !::strerrordesc_np(code)) return std::nullopt;
  char buf[256];
  const char* text = ::strerror_r(code, buf, sizeof buf);
  if (!text || !*text) return std::nullopt;
  return std::string(text);
}

}  // namespace platform

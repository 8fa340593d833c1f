#include "updater/SignedText.h"

#include "updater/Signature.h"

namespace updater {

bool plainLines(const std::string& text, std::string& error) {
  if (text.empty() || text.back() != '\n') {
    error = "does not end with a line end";
    return false;
  }
  if (text.find_first_of(std::string("\r\0", 2)) != std::string::npos) {
    error = "holds CR or NUL";
    return false;
  }
  return true;
}

bool hexDigest(const std::string& text, std::string& digest) {
  if (text.size() != 2 * sha256Size) return false;
  std::string out;
  for (size_t i = 0; i < text.size(); i += 2) {
    int byte = 0;
    for (size_t k = i; k < i + 2; ++k) {
      const char c = text[k];
      if (c >= '0' && c <= '9')
        byte = byte * 16 + (c - '0');
      else if (c >= 'a' && c <= 'f')
        byte = byte * 16 + (c - 'a' + 10);
      else
        return false;
    }
    out += static_cast<char>(byte);
  }
  digest = std::move(out);
  return true;
}

bool decimal(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return false;
  uint64_t out = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (out > (UINT64_MAX - digit) / 10) return false;
    out = out * 10 + digit;
  }
  value = out;
  return true;
}

bool field(const std::string& line, const std::string& key, std::string& rest) {
  if (line.size() <= key.size() || line.compare(0, key.size(), key) != 0 || line[key.size()] != ' ')
    return false;
  rest = line.substr(key.size() + 1);
  return true;
}

}  // namespace updater

// The movie's requests from arbitrary UTF-16 text: parsing, the command's
// arguments as the bridge reads them, and the "writestring" name check.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "gamehost/FlashEventHandler.h"
#include "gamehost/MovieFile.h"
#include "gamehost/MovieRequest.h"
#include "support/Text.h"

namespace {

bool hasLoneSurrogate(const std::u16string& s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t u = s[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        ++i;
        continue;
      }
      return true;
    }
    if (u >= 0xDC00 && u <= 0xDFFF) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string request(size / 2, u'\0');
  if (!request.empty()) std::memcpy(&request[0], data, request.size() * 2);

  // Text without lone surrogate halves survives the round trip unchanged.
  if (!hasLoneSurrogate(request) && mstd::utf8ToUtf16(mstd::utf16ToUtf8(request, mstd::Malformed::Bridge),
                                                      mstd::Malformed::Bridge) != request)
    __builtin_trap();

  gamehost::MovieRequest parsed;
  if (!gamehost::parseMovieRequest(request, parsed)) return 0;
  if (parsed.name == u"client" && !parsed.arguments.empty()) (void)gamehost::readVersion(parsed.arguments[0]);
  if (parsed.name == u"writestring" && parsed.arguments.size() >= 2) {
    const std::string name = mstd::utf16ToUtf8(parsed.arguments[0], mstd::Malformed::Bridge);
    if (gamehost::MovieFile::acceptableName(name)) {
      // An accepted name never leads out of the folder.
      const std::filesystem::path folder("/game");
      const std::filesystem::path joined = (folder / name).lexically_normal();
      const std::string text = joined.string();
      if (text.compare(0, 6, "/game/") != 0 && text != "/game" && text != "/game/") __builtin_trap();
    }
  }
  return 0;
}

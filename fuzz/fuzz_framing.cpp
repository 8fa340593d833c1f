// Random bytes in random pieces through the relay's message cutting, as a
// session's frame buffer feeds it: every message passed on is whole, the
// stream passed on is the input's prefix (outside the stamped time fields),
// and what stays pending never holds a whole message.
#include "relay/Framing.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint64_t max_message = 1u << 20;

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const relay::framing::Direction direction =
      data[0] & 1 ? relay::framing::Direction::ServerToClient : relay::framing::Direction::ClientToServer;
  const std::size_t step = 1 + data[1] % 64;
  data += 2;
  size -= 2;

  std::vector<unsigned char> pending;
  std::vector<unsigned char> passed;
  for (std::size_t at = 0; at < size;) {
    const std::size_t n = std::min(size - at, step + (data[at] % 7) * step);
    pending.insert(pending.end(), data + at, data + at + n);
    at += n;
    // Exactly sized, so that any read past the available bytes is caught.
    std::vector<unsigned char> frame(pending);
    const relay::framing::Cut cut = relay::framing::cut(frame.data(), frame.size(), direction, max_message);
    check(cut.whole <= frame.size());
    for (std::size_t m = 0; m < cut.whole;) {
      const relay::framing::Frame message = relay::framing::peek(frame.data() + m, cut.whole - m);
      check(message.known && message.size >= 2 && message.size <= cut.whole - m);
      unsigned field = 0;
      if (relay::framing::stampField(direction, message.id, field) &&
          message.size >= message.headerSize + field + 8) {
        // The time field is the only change.
        std::memcpy(&frame[m + message.headerSize + field], &pending[m + message.headerSize + field], 8);
      }
      m += message.size;
    }
    check(frame == pending);
    passed.insert(passed.end(), frame.begin(), frame.begin() + cut.whole);
    if (cut.tooLarge) return 0;  // the session ends here
    pending.erase(pending.begin(), pending.begin() + cut.whole);
    const relay::framing::Frame rest = relay::framing::peek(pending.data(), pending.size());
    check(!rest.known || rest.size > pending.size());
  }
  check(passed.size() + pending.size() == size);
  check(std::equal(passed.begin(), passed.end(), data));
  return 0;
}

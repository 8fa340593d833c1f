#include "tools/gameserver/GameProtocol.h"

#include "relay/Framing.h"

#include <cstring>

namespace game {

Bytes message(unsigned id, const unsigned char* payload, std::size_t size) {
  Bytes out(4 + size);
  relay::framing::writeHeader(out.data(), 1, id, static_cast<std::uint32_t>(size));
  if (size) std::memcpy(out.data() + 4, payload, size);
  return out;
}

Bytes pong(const unsigned char* ping, std::int64_t nowMillis) {
  unsigned char payload[pong_size] = {};
  std::memcpy(payload, ping, 12);
  writeInt64(payload + 19, nowMillis);
  std::memcpy(payload + 27, ping + 32, 8);
  return message(pong_id, payload, sizeof payload);
}

Bytes chatLine(unsigned player, const unsigned char* text, std::size_t size) {
  Bytes payload(2 + size);
  payload[0] = static_cast<unsigned char>(player);
  payload[1] = static_cast<unsigned char>(player >> 8);
  if (size) std::memcpy(payload.data() + 2, text, size);
  return message(chat_line_id, payload.data(), payload.size());
}

Bytes welcome(unsigned player) {
  const unsigned char payload[2] = {static_cast<unsigned char>(player),
                                    static_cast<unsigned char>(player >> 8)};
  return message(welcome_id, payload, 2);
}

std::int64_t readInt64(const unsigned char* p) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | p[i];
  return static_cast<std::int64_t>(value);
}

void writeInt64(unsigned char* p, std::int64_t value) {
  auto bits = static_cast<std::uint64_t>(value);
  for (int i = 0; i < 8; ++i, bits >>= 8) p[i] = static_cast<unsigned char>(bits);
}

}  // namespace game

#include "relay/Framing.h"

#include <boost/date_time/posix_time/posix_time.hpp>

namespace relay::framing {

namespace {

// Payload length of the classes without a length field.
constexpr std::uint32_t fixed_payload[16] = {0, 0, 2, 8, 12, 8, 16, 24, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr unsigned length_field[16] = {0, 2, 0, 0, 0, 0, 0, 0, 1, 1, 2, 4, 4, 0, 0, 0};

std::uint64_t readLittle(const unsigned char* p, unsigned size) {
  std::uint64_t value = 0;
  for (unsigned i = size; i-- > 0;) value = (value << 8) | p[i];
  return value;
}

}  // namespace

unsigned lengthFieldSize(unsigned k) {
  return length_field[k & 15];
}

Frame peek(const unsigned char* data, std::size_t available) {
  Frame frame;
  if (available < 2) return frame;
  const unsigned word = data[0] | (data[1] << 8);
  const unsigned k = word >> 12;
  const unsigned field = length_field[k];
  frame.id = word & 0x0FFF;
  frame.headerSize = 2 + field;
  if (available < frame.headerSize) return frame;
  const std::uint64_t payload = field ? readLittle(data + 2, field) : fixed_payload[k];
  frame.known = true;
  frame.size = frame.headerSize + payload;
  return frame;
}

bool stampField(Direction direction, unsigned id, unsigned& payloadOffset) {
  if (direction == Direction::ServerToClient && id == 311) {
    payloadOffset = 19;
    return true;
  }
  if (direction == Direction::ClientToServer && id == 316) {
    payloadOffset = 32;
    return true;
  }
  return false;
}

bool stamp(unsigned char* message, const Frame& frame, Direction direction, std::int64_t millis) {
  unsigned offset = 0;
  if (!stampField(direction, frame.id, offset)) return false;
  // A payload too short for the field passes unchanged.
  if (frame.size < frame.headerSize + offset + 8) return false;
  unsigned char* field = message + frame.headerSize + offset;
  std::uint64_t value = static_cast<std::uint64_t>(millis);
  for (int i = 0; i < 8; ++i, value >>= 8) field[i] = static_cast<unsigned char>(value);
  return true;
}

Cut cut(unsigned char* data, std::size_t available, Direction direction, std::uint64_t maxSize) {
  Cut result;
  while (available - result.whole >= 2) {
    unsigned char* const at = data + result.whole;
    const Frame message = peek(at, available - result.whole);
    if (message.known && message.size > maxSize) {
      result.tooLarge = true;
      break;
    }
    if (!message.known || message.size > available - result.whole) break;
    unsigned field;
    if (stampField(direction, message.id, field)) stamp(at, message, direction, utcMillis());
    result.whole += message.size;
  }
  return result;
}

std::int64_t utcMillis() {
  static const boost::posix_time::ptime epoch(boost::gregorian::date(1970, 1, 1));
  return (boost::posix_time::microsec_clock::universal_time() - epoch).total_microseconds() / 1000;
}

unsigned writeHeader(unsigned char* out, unsigned k, unsigned id, std::uint32_t payload) {
  const unsigned word = (k << 12) | (id & 0x0FFF);
  out[0] = static_cast<unsigned char>(word);
  out[1] = static_cast<unsigned char>(word >> 8);
  const unsigned field = length_field[k & 15];
  for (unsigned i = 0; i < field; ++i) out[2 + i] = static_cast<unsigned char>(payload >> (8 * i));
  return 2 + field;
}

}  // namespace relay::framing

#pragma once

#include <cstddef>
#include <cstdint>

// The game protocol's message framing as the relay reads it: a little-endian
// header word (bits 15-12 length class, bits 11-0 message id), an optional
// explicit payload length of 0, 1, 2 or 4 bytes, then the payload.
namespace relay::framing {

enum class Direction { ClientToServer, ServerToClient };

struct Frame {
  bool known = false;       // header word and length field are present
  std::uint64_t size = 0;   // whole message size, valid when known
  unsigned headerSize = 0;  // 2 + explicit length field
  unsigned id = 0;
};

// Size of the explicit length field of class k.
unsigned lengthFieldSize(unsigned k);

// Reads the message at the front of `data`. `known` is false while the header
// word or the length field are incomplete; the message is complete when
// known and size <= available.
Frame peek(const unsigned char* data, std::size_t available);

// Message id and payload offset of the time field stamped in this direction, if any.
bool stampField(Direction direction, unsigned id, unsigned& payloadOffset);

// Writes `millis` into the time field of a complete message when its direction
// and id call for one and the field fits in the payload. Returns whether it wrote.
bool stamp(unsigned char* message, const Frame& frame, Direction direction, std::int64_t millis);

// The whole messages at the front of `data`: their total size, and whether the
// first incomplete one declares more than `maxSize` bytes (it can never be
// passed on). Stamps the time field of each whole message that calls for one.
struct Cut {
  std::size_t whole = 0;
  bool tooLarge = false;
};
Cut cut(unsigned char* data, std::size_t available, Direction direction, std::uint64_t maxSize);

// Milliseconds since 1970-01-01 UTC from the microsecond clock, truncated.
std::int64_t utcMillis();

// Writes the header word and explicit length field for a payload of `payload`
// bytes; returns the header size. For building test and benchmark traffic.
unsigned writeHeader(unsigned char* out, unsigned k, unsigned id, std::uint32_t payload);

}  // namespace relay::framing

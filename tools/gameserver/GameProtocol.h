#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The demo game's messages, framed as the relay frames them; every number is
// little-endian and the server always sends length class 1 (a 16-bit payload
// length after the header word).
//
//  316 ping, client to server, payload of at least 40 bytes:
//      0-3 sequence number, 4-11 the client's send time (milliseconds since
//      1970, signed 64-bit), 12-31 zero, 32-39 time field: the relay writes the
//      time the ping passed it.
//  311 pong, server to client, the answer to each ping, payload of 35 bytes:
//      0-3 the ping's sequence number, 4-11 the ping's bytes 4-11, 12-18 zero,
//      19-26 time field: the server's time, which the relay overwrites with the
//      time the pong passed it, 27-34 the ping's time field as the server got it.
//      Bytes 19-26 minus bytes 27-34 is the round trip from the relay to the
//      game server and back; now minus bytes 4-11 is the client's own.
//  500 chat, client to server: 1 to 1,000 bytes of UTF-8 text.
//  501 chat, server to every client: 0-1 the sender's player number, then the text.
//  502 welcome, server to a new client: 0-1 its player number.
namespace game {

constexpr unsigned ping_id = 316;
constexpr unsigned pong_id = 311;
constexpr unsigned chat_id = 500;
constexpr unsigned chat_line_id = 501;
constexpr unsigned welcome_id = 502;
constexpr std::size_t ping_size = 40;
constexpr std::size_t pong_size = 35;
constexpr std::size_t chat_max = 1000;
// No message the server takes is larger; a bigger one is a framing fault.
constexpr std::size_t message_max = 4 + chat_max + 64;

using Bytes = std::vector<unsigned char>;

// A class 1 message: header word, 16-bit length, payload.
Bytes message(unsigned id, const unsigned char* payload, std::size_t size);
Bytes pong(const unsigned char* ping, std::int64_t nowMillis);
Bytes chatLine(unsigned player, const unsigned char* text, std::size_t size);
Bytes welcome(unsigned player);

std::int64_t readInt64(const unsigned char* p);
void writeInt64(unsigned char* p, std::int64_t value);

}  // namespace game

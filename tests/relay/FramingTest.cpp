#include "relay/Framing.h"
#include "tests/relay/RelayPeer.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace relay;

using relaytest::Bytes;
using relaytest::message;

TEST(Framing, SizeOfEveryClassAndIncompleteHeaders) {
  const std::size_t payload[16] = {0, 300, 2, 8, 12, 8, 16, 24, 200, 7, 40000, 70000, 5, 0, 0, 0};
  for (unsigned k = 0; k < 16; ++k) {
    const Bytes m = message(k, 0xABC, Bytes(payload[k], 1));
    const framing::Frame whole = framing::peek(m.data(), m.size());
    ASSERT_TRUE(whole.known) << k;
    EXPECT_EQ(whole.size, m.size()) << k;
    EXPECT_EQ(whole.id, 0xABCu) << k;
    // Missing length bytes leave the size unknown.
    EXPECT_FALSE(framing::peek(m.data(), whole.headerSize - 1).known) << k;
    EXPECT_TRUE(framing::peek(m.data(), whole.headerSize).known) << k;
  }
  EXPECT_FALSE(framing::peek(nullptr, 0).known);
  const Bytes huge = {0xFF, 0xCF, 0xFF, 0xFF, 0xFF, 0xFF};  // class 12, 4 GiB - 1
  EXPECT_EQ(framing::peek(huge.data(), huge.size()).size, 6u + 0xFFFFFFFFull);
}

TEST(Framing, StampWritesLittleEndianMillisOnlyWhereItFits) {
  using framing::Direction;
  struct Case {
    unsigned id;
    Direction direction;
    std::size_t payload;
    bool stamped;
    std::size_t offset;  // of the field in the payload, when stamped
  };
  const Case cases[] = {
      {311, Direction::ServerToClient, 27, true, 19},  // pong: the field ends the payload
      {311, Direction::ServerToClient, 40, true, 19},  // longer payload: same place
      {311, Direction::ClientToServer, 27, false, 0},  // only the server's pong
      {311, Direction::ServerToClient, 26, false, 0},  // too short for the field
      {316, Direction::ClientToServer, 40, true, 32},  // ping
      {316, Direction::ClientToServer, 64, true, 32},
      {316, Direction::ServerToClient, 40, false, 0},  // only the client's ping
      {316, Direction::ClientToServer, 39, false, 0},  // too short for the field
      {312, Direction::ClientToServer, 64, false, 0},
  };
  for (const Case& c : cases) {
    const Bytes original = message(1, c.id, Bytes(c.payload, 0xEE));
    Bytes m = original;
    const framing::Frame f = framing::peek(m.data(), m.size());
    ASSERT_TRUE(f.known);
    EXPECT_EQ(framing::stamp(m.data(), f, c.direction, 0x0102030405060708), c.stamped)
        << c.id << "/" << c.payload;
    Bytes expected = original;
    if (c.stamped) {
      const Bytes field{8, 7, 6, 5, 4, 3, 2, 1};
      std::copy(field.begin(), field.end(), expected.begin() + f.headerSize + c.offset);
    }
    EXPECT_EQ(m, expected) << c.id << "/" << c.payload;
  }
}

TEST(Framing, WriteHeaderMatchesPeek) {
  for (unsigned k = 0; k < 16; ++k) {
    unsigned char header[6];
    const std::uint32_t payload = framing::lengthFieldSize(k) ? 200 : 0;
    const unsigned size = framing::writeHeader(header, k, 17, payload);
    EXPECT_EQ(size, 2 + framing::lengthFieldSize(k));
    const framing::Frame f = framing::peek(header, size);
    EXPECT_TRUE(f.known);
    EXPECT_EQ(f.id, 17u);
  }
  EXPECT_NEAR(static_cast<double>(framing::utcMillis()), static_cast<double>(std::time(nullptr)) * 1000,
              2000);
}

TEST(Framing, CutTakesWholeMessagesStampsThemAndFlagsUnservableLengths) {
  Bytes stream = message(1, 311, Bytes(27, 0));
  const Bytes second = message(8, 5, Bytes(10, 2));
  stream.insert(stream.end(), second.begin(), second.end());
  const std::size_t whole = stream.size();
  const Bytes partial = message(10, 6, Bytes(100, 3));
  stream.insert(stream.end(), partial.begin(), partial.begin() + 50);

  framing::Cut cut = framing::cut(stream.data(), stream.size(), framing::Direction::ServerToClient, 1000);
  EXPECT_EQ(cut.whole, whole);
  EXPECT_FALSE(cut.tooLarge);
  EXPECT_NE(Bytes(stream.begin() + 4 + 19, stream.begin() + 4 + 27), Bytes(8, 0));  // stamped in place
  EXPECT_EQ(Bytes(stream.begin() + 4, stream.begin() + 4 + 19), Bytes(19, 0));

  // A declared size above the limit stops the cut after the messages before it.
  cut = framing::cut(stream.data(), stream.size(), framing::Direction::ServerToClient, 60);
  EXPECT_EQ(cut.whole, whole);
  EXPECT_TRUE(cut.tooLarge);
  const Bytes lone = {0x05};  // less than a header word
  cut = framing::cut(const_cast<unsigned char*>(lone.data()), 1, framing::Direction::ClientToServer, 60);
  EXPECT_EQ(cut.whole, 0u);
  EXPECT_FALSE(cut.tooLarge);
}

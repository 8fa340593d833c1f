#include "relay/OperationSlot.h"

#include <gtest/gtest.h>

#include <boost/asio.hpp>

#include <array>
#include <memory>

using namespace relay;

TEST(OperationSlot, FirstClaimTakesTheSlotLaterOnesTheHeap) {
  OperationSlot slot;
  void* first = slot.claim(200);
  EXPECT_EQ(first, static_cast<void*>(slot.storage));
  void* second = slot.claim(200);  // taken: from the heap
  EXPECT_NE(second, first);
  slot.give(second);
  EXPECT_EQ(slot.inUse.load(), 1);
  slot.give(first);
  EXPECT_EQ(slot.inUse.load(), 0);
  void* big = slot.claim(OperationSlot::size + 1);  // too large for the slot
  EXPECT_NE(big, static_cast<void*>(slot.storage));
  EXPECT_EQ(slot.inUse.load(), 0);
  slot.give(big);
}

TEST(OperationSlot, AsioKeepsOperationStateInTheSlotAndFreesItBeforeTheHandlerRuns) {
  boost::asio::io_context io;
  boost::asio::steady_timer timer(io);
  OperationSlot slot;
  int inUseDuringHandler = -1;
  timer.expires_after(std::chrono::milliseconds(1));
  timer.async_wait(
      inSlot(slot, [&](const boost::system::error_code&) { inUseDuringHandler = slot.inUse.load(); }));
  EXPECT_EQ(slot.inUse.load(), 1);
  io.run();
  EXPECT_EQ(inUseDuringHandler, 0);
}

TEST(OperationSlot, ConnectReceiveAndGatheredSendFitTheirSlots) {
  namespace asio = boost::asio;
  using asio::ip::tcp;
  asio::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  tcp::socket client(io), server(io);
  OperationSlot connectSlot, receiveSlot, sendSlot;
  // Handlers carry what the session's do: a counted reference and a pointer.
  const std::shared_ptr<int> owner = std::make_shared<int>(0);
  int* side = owner.get();
  client.async_connect(acceptor.local_endpoint(),
                       inSlot(connectSlot, [owner, side](const boost::system::error_code&) {}));
  EXPECT_EQ(connectSlot.inUse.load(), 1);
  acceptor.accept(server);
  io.run();
  io.restart();

  unsigned char in[64];
  const unsigned char out[4][8] = {};
  std::array<asio::const_buffer, 4> blocks = {asio::buffer(out[0]), asio::buffer(out[1]),
                                              asio::buffer(out[2]), asio::buffer(out[3])};
  std::size_t received = 0, sent = 0;
  server.async_read_some(asio::buffer(in),
                         inSlot(receiveSlot, [owner, side, &received](const boost::system::error_code&,
                                                                      std::size_t n) { received = n; }));
  client.async_write_some(blocks, inSlot(sendSlot, [owner, side, &sent](const boost::system::error_code&,
                                                                        std::size_t n) { sent = n; }));
  EXPECT_EQ(receiveSlot.inUse.load(), 1);
  EXPECT_EQ(sendSlot.inUse.load(), 1);
  io.run();
  EXPECT_EQ(sent, 32u);
  EXPECT_GT(received, 0u);
  EXPECT_EQ(receiveSlot.inUse.load() + sendSlot.inUse.load() + connectSlot.inUse.load(), 0);
}

#include "relay/OperationSlot.h"

#include <gtest/gtest.h>

#include <boost/asio.hpp>

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

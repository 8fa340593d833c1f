#pragma once

#include "base/ReferenceCounter.h"
#include "relay/OperationSlot.h"
#include "support/BufferPool.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/intrusive_ptr.hpp>

#include <cstdint>
#include <deque>

namespace relay {

// A reference-counted TCP socket.
struct SocketHolder : mstd::reference_counter<SocketHolder> {
  explicit SocketHolder(boost::asio::io_context& io) : socket(io) {}
  boost::asio::ip::tcp::socket socket;
};
using SocketPtr = boost::intrusive_ptr<SocketHolder>;

// One end of a relayed connection.
struct SessionSide {
  SocketPtr socket;
  std::deque<mstd::BufferPtr> sendQueue;  // blocks to send, in order
  std::uint32_t sentOffset = 0;           // bytes of the first queued block already sent
  mstd::BufferPtr assembly;               // whole messages bound for this socket, not yet queued
  mstd::BufferPtr receive;                // data received from this socket
  mstd::BufferPtr frame;                  // bytes bound for this socket that do not yet form a whole message

  std::uint64_t queuedBytes = 0;  // bytes in the send queue, sent offset not subtracted
  bool sending = false;           // a send on this socket is pending
  bool receivePaused = false;     // no receive on this socket until the other side drains

  // Handler memory of the one receive and the one send that may be pending on this socket.
  OperationSlot receiveSlot;
  OperationSlot sendSlot;

  std::uint64_t backlog() const { return queuedBytes - sentOffset + (assembly ? assembly->length : 0); }
};

}  // namespace relay

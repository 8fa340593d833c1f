#include "relay/ProxySession.h"

#include "support/SocketUtils.h"

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <array>
#include <cstring>

namespace relay {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

constexpr std::uint32_t receive_capacity = 65536;
constexpr std::uint32_t assembly_capacity = 65536;
constexpr std::uint32_t frame_capacity = 131072;
constexpr std::size_t gather_blocks = 4;
// Whole messages at the front of a receive from which the block itself is queued.
constexpr std::size_t handover_min = 32768;

}  // namespace

ProxySession::ProxySession(asio::io_context& io, SocketPtr client, bool addressed) : addressed_(addressed) {
  client_.socket = std::move(client);
  server_.socket = new SocketHolder(io);
  for (SessionSide* side : {&client_, &server_}) {
    side->assembly = mstd::BufferPool::take(assembly_capacity);
    side->receive = mstd::BufferPool::take(receive_capacity);
    side->receive->length = side->receive->capacity();
  }
}

ProxySession::~ProxySession() = default;

void ProxySession::start(const tcp::endpoint& fixed) {
  if (addressed_)
    readHeaderLength();
  else
    connect(fixed);
}

// Destination header: 2-byte little-endian length, then "host:service".
void ProxySession::readHeaderLength() {
  Ptr self(this);
  asio::async_read(client_.socket->socket, asio::buffer(header_),
                   inSlot(connectSlot_, [self](const boost::system::error_code& error, std::size_t) {
                     const std::size_t length = self->header_[0] | (self->header_[1] << 8);
                     if (!error && length) self->readHeaderText(length);
                   }));
}

void ProxySession::readHeaderText(std::size_t length) {
  destination_.assign(length, '\0');
  Ptr self(this);
  asio::async_read(client_.socket->socket, asio::buffer(&destination_[0], length),
                   inSlot(connectSlot_, [self](const boost::system::error_code& error, std::size_t) {
                     if (!error) self->resolve(self->destination_);
                   }));
}

bool ProxySession::splitDestination(const std::string& text, std::string& host, std::string& service) {
  if (text.find('\0') != std::string::npos) return false;
  const std::size_t colon = text.find(':');
  host = text.substr(0, colon);
  service = colon == std::string::npos ? std::string() : text.substr(colon + 1);
  if (!service.empty() && service.find_first_not_of("0123456789") == std::string::npos) {
    const std::size_t digits = service.find_first_not_of('0');
    if (digits != std::string::npos &&
        (service.size() - digits > 5 || std::stoul(service.substr(digits)) > 65535))
      return false;
  }
  return true;
}

void ProxySession::resolve(const std::string& text) {
  std::string host, service;
  if (!splitDestination(text, host, service)) return;  // dropped: the client's connection closes
  resolver_.reset(new tcp::resolver(server_.socket->socket.get_executor()));
  Ptr self(this);
  resolver_->async_resolve(host, service,
                           inSlot(connectSlot_, [self](const boost::system::error_code& error,
                                                       tcp::resolver::results_type results) {
                             if (!error && !results.empty()) self->connect(results.begin()->endpoint());
                           }));
}

void ProxySession::connect(const tcp::endpoint& destination) {
  Ptr self(this);
  server_.socket->socket.async_connect(
      destination,
      inSlot(connectSlot_, [self](const boost::system::error_code& error) { self->connected(error); }));
}

void ProxySession::connected(const boost::system::error_code& error) {
  if (error) {
    boost::system::error_code ignored;
    client_.socket->socket.shutdown(tcp::socket::shutdown_both, ignored);
    return;
  }
  mstd::tune_socket(server_.socket->socket);
  receive(client_);
  for (SessionSide* side : {&client_, &server_}) side->frame = mstd::BufferPool::take(frame_capacity);
  receive(server_);
}

void ProxySession::receive(SessionSide& from) {
  Ptr self(this);
  SessionSide* side = &from;
  from.socket->socket.async_read_some(
      asio::buffer(from.receive->data(), from.receive->capacity()),
      inSlot(from.receiveSlot, [self, side](const boost::system::error_code& error, std::size_t n) {
        self->received(*side, error, n);
      }));
}

void ProxySession::received(SessionSide& from, const boost::system::error_code& error, std::size_t n) {
  if (error) {
    shutdownBoth();
    return;
  }
  SessionSide& to = other(from);
  const bool idle = !to.sending;
  if (!relay(from, to, n)) {
    shutdownBoth();
    return;
  }
  if (idle) send(to);
  if (to.backlog() > high_water)
    from.receivePaused = true;
  else
    receive(from);
}

// Cuts whole messages from the pending bytes plus the new ones for `to`; keeps
// the rest in its frame buffer. A receive buffer that starts with a long run of
// whole messages is queued as it is instead of being copied.
bool ProxySession::relay(SessionSide& from, SessionSide& to, std::size_t n) {
  unsigned char* const data = from.receive->data();
  unsigned char* begin = data;
  std::size_t available = n;
  if (to.frame->length) {
    if (!appendToFrame(to, data, n)) return false;
    begin = to.frame->data();
    available = to.frame->length;
  }
  const framing::Cut cut = framing::cut(begin, available, direction(to), max_message);
  if (cut.tooLarge) return false;
  const std::size_t whole = cut.whole;
  mstd::BufferPtr received;  // keeps the data alive when handed over
  if (begin == data && whole >= handover_min) {
    if (to.assembly->length) {
      to.queuedBytes += to.assembly->length;
      to.sendQueue.push_back(std::move(to.assembly));
      to.assembly = mstd::BufferPool::take(assembly_capacity);
    }
    received = std::move(from.receive);
    received->length = static_cast<std::uint32_t>(whole);
    to.queuedBytes += whole;
    to.sendQueue.push_back(received);
    from.receive = mstd::BufferPool::take(receive_capacity);
    from.receive->length = from.receive->capacity();
  } else {
    for (std::size_t at = 0; at < whole;) {
      const std::size_t size = framing::peek(begin + at, whole - at).size;
      if (!assemble(to, begin + at, size)) return false;
      at += size;
    }
  }
  const std::size_t rest = available - whole;
  if (begin == data) {
    if (rest) std::memcpy(to.frame->data(), begin + whole, rest);
  } else if (rest && whole) {
    std::memmove(to.frame->data(), begin + whole, rest);
  }
  to.frame->length = static_cast<std::uint32_t>(rest);
  return true;
}

bool ProxySession::appendToFrame(SessionSide& to, const unsigned char* data, std::size_t n) {
  mstd::PooledBuffer& frame = *to.frame;
  const std::uint64_t needed = std::uint64_t(frame.length) + n;
  if (needed > frame.capacity()) {
    std::uint64_t capacity = frame.capacity();
    while (capacity < needed) capacity *= 2;
    capacity = std::min<std::uint64_t>(capacity, mstd::BufferPool::max_capacity);
    mstd::BufferPtr bigger = mstd::BufferPool::take(capacity);
    if (!bigger || bigger->capacity() < needed) return false;
    std::memcpy(bigger->data(), frame.data(), frame.length);
    bigger->length = frame.length;
    to.frame = bigger;
  }
  std::memcpy(to.frame->data() + to.frame->length, data, n);
  to.frame->length += static_cast<std::uint32_t>(n);
  return true;
}

bool ProxySession::assemble(SessionSide& to, const unsigned char* message, std::size_t size) {
  if (to.assembly->room() < size) {
    if (to.assembly->length) {
      to.queuedBytes += to.assembly->length;
      to.sendQueue.push_back(std::move(to.assembly));
    }
    std::uint64_t capacity = assembly_capacity;
    while (capacity < size) capacity *= 2;
    to.assembly = mstd::BufferPool::take(std::min<std::uint64_t>(capacity, mstd::BufferPool::max_capacity));
    if (!to.assembly) return false;
  }
  std::memcpy(to.assembly->data() + to.assembly->length, message, size);
  to.assembly->length += static_cast<std::uint32_t>(size);
  return true;
}

void ProxySession::send(SessionSide& to) {
  if (to.sendQueue.empty() && to.assembly->length) {
    to.queuedBytes += to.assembly->length;
    to.sendQueue.push_back(std::move(to.assembly));
    to.assembly = mstd::BufferPool::take(assembly_capacity);
  }
  if (to.sendQueue.empty()) {
    to.sending = false;
    return;
  }
  // Unused entries stay empty buffers.
  std::array<asio::const_buffer, gather_blocks> blocks{};
  std::size_t count = 0;
  for (const mstd::BufferPtr& block : to.sendQueue) {
    const std::uint32_t skip = count ? 0 : to.sentOffset;
    blocks[count] = asio::const_buffer(block->data() + skip, block->length - skip);
    if (++count == gather_blocks) break;
  }
  to.sending = true;
  Ptr self(this);
  SessionSide* side = &to;
  to.socket->socket.async_write_some(
      blocks, inSlot(to.sendSlot, [self, side](const boost::system::error_code& error, std::size_t m) {
        self->sent(*side, error, m);
      }));
}

void ProxySession::sent(SessionSide& to, const boost::system::error_code& error, std::size_t m) {
  if (error) {
    to.sending = false;
    shutdownBoth();
    return;
  }
  std::uint64_t done = to.sentOffset + m;
  while (!to.sendQueue.empty() && to.sendQueue.front()->length <= done) {
    done -= to.sendQueue.front()->length;
    to.queuedBytes -= to.sendQueue.front()->length;
    to.sendQueue.pop_front();
  }
  to.sentOffset = static_cast<std::uint32_t>(done);
  SessionSide& from = other(to);
  if (from.receivePaused && to.backlog() <= low_water) {
    from.receivePaused = false;
    receive(from);
  }
  send(to);
}

void ProxySession::shutdownBoth() {
  boost::system::error_code ignored;
  client_.socket->socket.shutdown(tcp::socket::shutdown_both, ignored);
  server_.socket->socket.shutdown(tcp::socket::shutdown_both, ignored);
}

}  // namespace relay

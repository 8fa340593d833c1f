#include "relay/RouteTracer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/icmp.hpp>
#include <boost/asio/ip/unicast.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/system/system_error.hpp>
#include <boost/thread/thread.hpp>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ostream>

namespace relay {

namespace asio = boost::asio;
using asio::ip::icmp;
namespace pt = boost::posix_time;

namespace {

const unsigned char echo_request_type = 8;

void check(const boost::system::error_code& error, const char* operation) {
  if (error) throw boost::system::system_error(error, operation);
}

std::uint16_t processIdentifier() {
  return static_cast<std::uint16_t>(::getpid() & 0xFFFF);
}

}  // namespace

struct RouteTracer::Impl {
  explicit Impl(pt::time_duration timeout) : resolver(io), socket(io), timeout(timeout) {}

  // One answer into `reply`; 0 when none came within the timeout. Echo
  // requests (a request to this host, looped back) are no answer: skipped.
  std::size_t receive(unsigned char* reply, std::size_t size) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::microseconds(timeout.total_microseconds());
    for (;;) {
      const std::size_t n = receiveUntil(deadline, reply, size);
      const std::size_t header = n > 0 ? static_cast<std::size_t>(reply[0] & 0x0F) * 4 : 0;
      if (n == 0 || header >= n || reply[header] != echo_request_type) return n;
    }
  }

  std::size_t receiveUntil(std::chrono::steady_clock::time_point deadline, unsigned char* reply,
                           std::size_t size) {
    boost::system::error_code error = asio::error::would_block;
    std::size_t n = 0;
    socket.async_receive(asio::buffer(reply, size), [&](const boost::system::error_code& e, std::size_t got) {
      error = e;
      n = got;
    });
    // Waits in short steps so that a stop request (the pool's, at exit) ends the trace at once.
    io.restart();
    for (auto now = std::chrono::steady_clock::now(); error == asio::error::would_block && now < deadline;
         now = std::chrono::steady_clock::now()) {
      io.run_for(
          std::min<std::chrono::steady_clock::duration>(deadline - now, std::chrono::milliseconds(50)));
      if (error == asio::error::would_block && boost::this_thread::interruption_requested()) {
        socket.cancel();
        io.restart();
        io.run();
        throw boost::thread_interrupted();
      }
    }
    if (error == asio::error::would_block) {
      socket.cancel();
      io.restart();
      io.run();
      if (error == asio::error::operation_aborted) return 0;
    }
    check(error, "receive");
    return n;
  }

  // Drops datagrams left over from earlier probes (late replies, looped-back requests).
  void drain() {
    boost::system::error_code error;
    unsigned char discard[64];
    while (socket.available(error) > 0 && !error) socket.receive(asio::buffer(discard), 0, error);
  }

  asio::io_context io;
  icmp::resolver resolver;
  icmp::socket socket;
  icmp::endpoint destination;
  std::uint16_t sequence = 0;
  pt::time_duration timeout;
};

RouteTracer::RouteTracer(const std::string& host, pt::time_duration probeTimeout)
    : impl_(new Impl(probeTimeout)) {
  boost::system::error_code error;
  impl_->socket.open(icmp::v4(), error);
  check(error, "open");
  const icmp::resolver::results_type results = impl_->resolver.resolve(icmp::v4(), host, "", error);
  check(error, "resolve");
  if (results.empty()) throw boost::system::system_error(asio::error::host_not_found, "resolve");
  impl_->destination = results.begin()->endpoint();
}

RouteTracer::~RouteTracer() = default;

std::uint16_t RouteTracer::checksum(const unsigned char* data, std::size_t length) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < length; i += 2) sum += (data[i] << 8) | data[i + 1];
  if (length & 1) sum += data[length - 1] << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

std::array<unsigned char, 8> RouteTracer::echoRequest(std::uint16_t identifier, std::uint16_t sequence) {
  std::array<unsigned char, 8> request = {echo_request_type,
                                          0,
                                          0,
                                          0,
                                          static_cast<unsigned char>(identifier >> 8),
                                          static_cast<unsigned char>(identifier),
                                          static_cast<unsigned char>(sequence >> 8),
                                          static_cast<unsigned char>(sequence)};
  const std::uint16_t sum = checksum(request.data(), request.size());
  request[2] = static_cast<unsigned char>(sum >> 8);
  request[3] = static_cast<unsigned char>(sum);
  return request;
}

void RouteTracer::run(std::ostream& out) {
  Impl& impl = *impl_;
  const asio::ip::address_v4::bytes_type destination = impl.destination.address().to_v4().to_bytes();
  for (unsigned ttl = 1; ttl <= max_hops; ++ttl) {
    boost::system::error_code error;
    impl.socket.set_option(asio::ip::unicast::hops(static_cast<int>(ttl)), error);
    check(error, "set_option");
    asio::ip::unicast::hops applied;
    impl.socket.get_option(applied, error);
    check(error, "get_option");
    if (applied.value() != static_cast<int>(ttl)) {
      out << "TTL not set properly. Should be " << ttl << " but was set to " << applied.value() << ".\n";
      return;
    }
    out << ttl << ")\t";
    bool answered = false;
    unsigned char hop[4] = {};
    for (unsigned probe = 0; probe < probes_per_hop; ++probe) {
      impl.drain();
      const std::array<unsigned char, 8> request = echoRequest(processIdentifier(), ++impl.sequence);
      const pt::ptime sentAt = pt::microsec_clock::universal_time();
      impl.socket.send_to(asio::buffer(request), impl.destination, 0, error);
      check(error, "send_to");
      unsigned char reply[64];
      const std::size_t n = impl.receive(reply, sizeof reply);
      if (n == 0) {
        out << "*\t";
        continue;
      }
      if (n < 16) {
        out << "To few bytes returned.\n";
        return;
      }
      const pt::ptime receivedAt = pt::microsec_clock::universal_time();
      if (!answered) {
        std::copy(reply + 12, reply + 16, hop);
        answered = true;
      }
      out << (receivedAt - sentAt).total_milliseconds() << "\t";
    }
    if (!answered) {
      out << "*\n";
      continue;
    }
    out << unsigned(hop[0]) << "." << unsigned(hop[1]) << "." << unsigned(hop[2]) << "." << unsigned(hop[3])
        << "\n";
    if (std::equal(hop, hop + 4, destination.begin())) return;
  }
}

}  // namespace relay

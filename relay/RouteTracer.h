#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

namespace relay {

// Traces the route to a host with ICMP echo requests of time-to-live 1 to 30,
// three per hop, over a raw socket (root or CAP_NET_RAW). One trace per object.
class RouteTracer {
 public:
  static constexpr unsigned max_hops = 30;
  static constexpr unsigned probes_per_hop = 3;

  // Opens the socket and resolves the host; throws boost::system::system_error
  // ("open", "resolve") on failure. A probe waits at most probeTimeout for a reply.
  explicit RouteTracer(const std::string& host,
                       boost::posix_time::time_duration probeTimeout = boost::posix_time::seconds(3));
  ~RouteTracer();
  RouteTracer(const RouteTracer&) = delete;
  RouteTracer& operator=(const RouteTracer&) = delete;

  // Writes one line per hop; throws boost::system::system_error on socket failures.
  void run(std::ostream& out);

  // Echo request of the given identifier and sequence number, checksum filled in.
  static std::array<unsigned char, 8> echoRequest(std::uint16_t identifier, std::uint16_t sequence);
  // RFC 1071 Internet checksum.
  static std::uint16_t checksum(const unsigned char* data, std::size_t length);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace relay

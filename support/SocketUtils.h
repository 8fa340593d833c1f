#pragma once

#include <boost/asio/ip/tcp.hpp>

namespace mlog {
class LogParticipant;
}

namespace mstd {

// Opens, configures, binds and puts the acceptor to listening on the endpoint.
// A failure is logged under "nexus_utils" and rethrown.
void listen_endpoint(boost::asio::ip::tcp::acceptor& acceptor,
                     const boost::asio::ip::tcp::endpoint& endpoint);

// No-delay on, 1 MiB send and receive buffers. Never throws; failures are logged.
void tune_socket(boost::asio::ip::tcp::socket& socket);

// The participant "nexus_utils".
mlog::LogParticipant& nexusLog();

}  // namespace mstd

#include "support/SocketUtils.h"

#include "base/Exception.h"
#include "logging/Log.h"
#include "logging/LogParticipant.h"

#include <boost/exception/exception.hpp>

#include <exception>
#include <ostream>

namespace mstd {

namespace {

constexpr int socket_buffer_size = 1048576;

// Written as the error's category name, ":", its value, ", " and its message.
struct ErrorText {
  const boost::system::error_code& error;
};

std::ostream& operator<<(std::ostream& out, const ErrorText& text) {
  return out << text.error.category().name() << ":" << text.error.value() << ", " << text.error.message();
}

void logSizes(boost::asio::ip::tcp::socket& socket, const char* prefix) {
  boost::system::error_code error;
  boost::asio::socket_base::send_buffer_size send;
  boost::asio::socket_base::receive_buffer_size receive;
  socket.get_option(send, error);
  if (error) {
    MLOG(nexusLog(), mlog::Level::Error) << "get send_buffer_size failed: " << ErrorText{error};
    send = boost::asio::socket_base::send_buffer_size(0);
  }
  socket.get_option(receive, error);
  if (error) {
    MLOG(nexusLog(), mlog::Level::Error) << "get receive_buffer_size failed: " << ErrorText{error};
    receive = boost::asio::socket_base::receive_buffer_size(0);
  }
  MLOG(nexusLog(), mlog::Level::Info) << prefix << send.value() << ", recv: " << receive.value();
}

}  // namespace

MLOG_DEFINE_PARTICIPANT(nexusLog, "nexus_utils")

void listen_endpoint(boost::asio::ip::tcp::acceptor& acceptor,
                     const boost::asio::ip::tcp::endpoint& endpoint) {
  MLOG(nexusLog(), mlog::Level::Debug) << "listen(" << endpoint << ")";
  try {
    acceptor.open(endpoint.protocol());
    acceptor.set_option(boost::asio::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(boost::asio::socket_base::max_listen_connections);
  } catch (const boost::exception& e) {
    MLOG(nexusLog(), mlog::Level::Error) << "Listen " << endpoint << " failed: " << e;
    throw;
  } catch (const std::exception& e) {
    MLOG(nexusLog(), mlog::Level::Error) << "Listen " << endpoint << " failed: " << e.what();
    throw;
  }
}

void tune_socket(boost::asio::ip::tcp::socket& socket) {
  const bool verbose = nexusLog().level() >= 6;
  if (verbose) logSizes(socket, "old socket options, send: ");
  boost::system::error_code error;
  socket.set_option(boost::asio::ip::tcp::no_delay(true), error);
  if (error) {
    MLOG(nexusLog(), mlog::Level::Error) << "set no_delay failed: " << ErrorText{error};
  }
  socket.set_option(boost::asio::socket_base::send_buffer_size(socket_buffer_size), error);
  if (error) {
    MLOG(nexusLog(), mlog::Level::Error) << "set send_buffer_size failed: " << ErrorText{error};
  }
  socket.set_option(boost::asio::socket_base::receive_buffer_size(socket_buffer_size), error);
  if (error) {
    MLOG(nexusLog(), mlog::Level::Error) << "set receive_buffer_size failed: " << ErrorText{error};
  }
  if (verbose) logSizes(socket, "new socket options, send: ");
}

}  // namespace mstd

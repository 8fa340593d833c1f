#include "player/bridge/SocketBridge.h"

#include "player/bridge/BridgeRequest.h"
#include "player/bridge/BridgeSession.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <stdexcept>
#include <thread>

namespace player {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

class SocketBridge::Impl {
 public:
  explicit Impl(std::string allowedOrigin) {
    shared.secret = BridgeRequest::randomHex(16);
    shared.origin = std::move(allowedOrigin);
    boost::system::error_code error;
    const tcp::endpoint any(asio::ip::address_v4::loopback(), 0);
    acceptor.open(any.protocol(), error);
    if (!error) acceptor.bind(any, error);
    if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (!error) port = acceptor.local_endpoint(error).port();
    if (error) throw std::runtime_error("socket bridge: cannot listen on 127.0.0.1: " + error.message());
    accept();
    thread = std::thread([this] { run(); });
  }

  ~Impl() {
    asio::post(io, [this] {
      boost::system::error_code ignored;
      acceptor.close(ignored);
      retry.cancel();
      for (BridgeSession* session : shared.open) session->abort();
      io.stop();
    });
    thread.join();
  }

  // Declared first: the sessions still held by handlers leave it when the
  // I/O context is destroyed.
  BridgeShared shared;
  asio::io_context io;
  asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
  tcp::acceptor acceptor{io};
  asio::steady_timer retry{io};
  std::uint16_t port = 0;
  std::thread thread;

 private:
  void accept() {
    acceptor.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
      if (!error) {
        admit(std::move(socket));
        accept();
      } else if (error != asio::error::operation_aborted && acceptor.is_open()) {
        // Out of descriptors and the like: try again shortly instead of spinning.
        retry.expires_after(std::chrono::milliseconds(100));
        retry.async_wait([this](const boost::system::error_code& e) {
          if (!e) accept();
        });
      }
    });
  }

  // Over the cap the oldest connection still short of its handshake makes
  // room; when every one has proved the secret, the new one is closed.
  void admit(tcp::socket socket) {
    if (shared.count - shared.aborted >= maxConnections) {
      if (shared.unproven.empty()) {
        boost::system::error_code ignored;
        socket.close(ignored);
        return;
      }
      shared.unproven.front()->abort();
    }
    std::make_shared<BridgeSession>(std::move(socket), shared)->start();
  }

  void run() {
    for (;;) {
      try {
        io.run();
        return;
      } catch (const std::exception&) {
        // A failing handler ends its session only.
      }
    }
  }
};

SocketBridge::SocketBridge(std::string allowedOrigin)
    : impl_(std::make_unique<Impl>(std::move(allowedOrigin))) {}

SocketBridge::~SocketBridge() = default;

std::uint16_t SocketBridge::port() const {
  return impl_->port;
}

const std::string& SocketBridge::secret() const {
  return impl_->shared.secret;
}

std::string SocketBridge::proxyUrl(std::uint16_t tcpPort) const {
  return "ws://127.0.0.1:" + std::to_string(impl_->port) + "/" + impl_->shared.secret + "/" +
         std::to_string(tcpPort);
}

void SocketBridge::allowPorts(std::set<std::uint16_t> ports) {
  asio::post(impl_->io, [impl = impl_.get(), ports = std::move(ports)]() mutable {
    impl->shared.allowedPorts = std::move(ports);
  });
}

std::size_t SocketBridge::connectionCount() const {
  return impl_->shared.count;
}

}  // namespace player

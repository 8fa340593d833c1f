#include "relay/Proxy.h"

#include "base/Singleton.h"
#include "logging/Log.h"
#include "relay/ProxySession.h"
#include "support/BufferPool.h"
#include "support/SocketUtils.h"

#include <boost/asio/steady_timer.hpp>
#include <boost/system/system_error.hpp>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

namespace relay {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

MLOG_DEFINE_PARTICIPANT(relayLog, "relay")

// The game server's address; overridden through VORNASK_GAME_SERVER.
constexpr const char* game_server_address = "127.0.0.1";

}  // namespace

struct Proxy::Impl {
  Impl(const tcp::endpoint& upstream, std::uint16_t fixedPort) : upstream(upstream), fixedPort(fixedPort) {}

  void accept() {
    SocketPtr holder(new SocketHolder(io));
    acceptor.async_accept(holder->socket, [this, holder](const boost::system::error_code& error) {
      if (error) {
        // A transient failure (out of descriptors, say) must not end accepting for good.
        if (error == asio::error::operation_aborted || !acceptor.is_open()) return;
        retry.expires_after(std::chrono::milliseconds(100));
        retry.async_wait([this](const boost::system::error_code& e) {
          if (!e) accept();
        });
        return;
      }
      mstd::tune_socket(holder->socket);
      boost::intrusive_ptr<ProxySession> session(new ProxySession(io, holder, addressed));
      session->start(upstream);
      accept();
    });
  }

  void run() {
    for (;;) {
      try {
        io.run();
        return;
      } catch (const std::exception& e) {
        MLOG(relayLog(), mlog::Level::Debug) << "a relay handler failed: " << e.what();
      } catch (...) {
        MLOG(relayLog(), mlog::Level::Debug) << "a relay handler failed";
      }
    }
  }

  asio::io_context io;
  tcp::acceptor acceptor{io};
  asio::steady_timer retry{io};
  std::thread thread;
  std::atomic<std::uint16_t> port{0};
  bool addressed = false;
  tcp::endpoint upstream;
  std::uint16_t fixedPort;
};

Proxy::Proxy() : Proxy(gameServer()) {}

Proxy::Proxy(const tcp::endpoint& upstream, std::uint16_t fixedPort) {
  mstd::BufferPool::instance();  // the pool outlives every session
  impl_.reset(new Impl(upstream, fixedPort));
}

Proxy::~Proxy() {
  impl_->io.stop();
  if (impl_->thread.joinable()) impl_->thread.join();
  boost::system::error_code ignored;
  impl_->acceptor.close(ignored);
}

Proxy& Proxy::instance() {
  return mstd::singleton<Proxy>::instance();
}

void Proxy::start(bool addressed) {
  Impl& impl = *impl_;
  if (impl.thread.joinable()) return;
  impl.addressed = addressed;
  const tcp::endpoint endpoint(asio::ip::address_v4::loopback(), addressed ? 0 : impl.fixedPort);
  try {
    if (addressed && impl.acceptor.is_open()) {
      impl.acceptor.listen(asio::socket_base::max_listen_connections);  // the port bound for the movie
    } else {
      boost::system::error_code ignored;
      impl.acceptor.close(ignored);
      mstd::listen_endpoint(impl.acceptor, endpoint);
    }
  } catch (...) {
    boost::system::error_code ignored;
    impl.acceptor.close(ignored);  // a later start may try again
    throw;
  }
  boost::system::error_code error;
  const tcp::endpoint local = impl.acceptor.local_endpoint(error);
  if (error) {
    boost::system::error_code ignored;
    impl.acceptor.close(ignored);
    throw boost::system::system_error(error, "local_endpoint");
  }
  impl.port = local.port();
  impl.accept();
  impl.thread = std::thread([&impl] { impl.run(); });
}

std::vector<std::uint16_t> Proxy::movieReachablePorts() {
  Impl& impl = *impl_;
  if (impl.thread.joinable()) return {impl.port};
  if (!impl.acceptor.is_open()) {
    const tcp::endpoint any(asio::ip::address_v4::loopback(), 0);
    impl.acceptor.open(any.protocol());
    impl.acceptor.bind(any);
  }
  return {impl.fixedPort, impl.acceptor.local_endpoint().port()};
}

std::uint16_t Proxy::port() const {
  return impl_->port;
}

bool Proxy::addressed() const {
  return impl_->addressed;
}

tcp::endpoint Proxy::gameServer() {
  const char* configured = std::getenv("VORNASK_GAME_SERVER");
  if (!configured || !*configured)
    return tcp::endpoint(asio::ip::make_address_v4(game_server_address), game_server_port);
  const std::string text(configured);
  const std::size_t colon = text.rfind(':');
  const std::string host = text.substr(0, colon);
  const std::string service =
      colon == std::string::npos ? std::to_string(game_server_port) : text.substr(colon + 1);
  asio::io_context io;
  tcp::resolver resolver(io);
  return resolver.resolve(tcp::v4(), host, service)->endpoint();
}

}  // namespace relay

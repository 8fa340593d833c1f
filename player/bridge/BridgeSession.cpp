#include "player/bridge/BridgeSession.h"

#include "player/bridge/BridgeRequest.h"

#include <boost/asio/write.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

namespace player {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {
constexpr std::size_t chunk = 64 * 1024;
// From the accepted connection to the accepted WebSocket: the page's own
// handshake takes milliseconds, a program that holds a slot gets no longer.
constexpr auto handshake_time = std::chrono::seconds(3);
}  // namespace

BridgeSession::BridgeSession(tcp::socket socket, BridgeShared& shared)
    : shared_(shared),
      page_(std::move(socket)),
      upstream_(page_.get_executor()),
      unproven_(shared_.unproven.insert(shared_.unproven.end(), this)),
      deadline_(page_.get_executor()) {
  shared_.open.insert(this);
  ++shared_.count;
}

BridgeSession::~BridgeSession() {
  if (unproven()) shared_.unproven.erase(unproven_);
  if (aborted_) --shared_.aborted;
  shared_.open.erase(this);
  --shared_.count;
}

void BridgeSession::start() {
  // One deadline for the request and the WebSocket handshake together.
  deadline_.expires_after(handshake_time);
  deadline_.async_wait([weak = weak_from_this()](const boost::system::error_code& error) {
    if (error) return;
    if (const auto self = weak.lock(); self && self->unproven()) self->abort();
  });
  parser_.emplace();
  parser_->header_limit(8 * 1024);
  parser_->body_limit(0);
  http::async_read(page_.next_layer(), buffer_, *parser_,
                   [self = shared_from_this()](const boost::system::error_code& error, std::size_t) {
                     self->onRequest(error);
                   });
}

void BridgeSession::abort() {
  if (unproven()) {
    shared_.unproven.erase(unproven_);
    unproven_ = shared_.unproven.end();
  }
  deadline_.cancel();
  if (!aborted_) ++shared_.aborted;
  aborted_ = true;
  boost::system::error_code ignored;
  beast::get_lowest_layer(page_).socket().close(ignored);
  upstream_.close(ignored);
}

void BridgeSession::onRequest(const boost::system::error_code& error) {
  if (error) return;
  const auto& request = parser_->get();
  const auto path = request.target();
  const std::uint16_t port = BridgeRequest::targetPort({path.data(), path.size()}, shared_.secret);
  const auto origin = request.find(http::field::origin);
  const bool allowed = !shared_.allowedPorts || shared_.allowedPorts->count(port) != 0;
  if (!websocket::is_upgrade(request) || port == 0 || !allowed || origin == request.end() ||
      origin->value() != shared_.origin) {
    refuse();
    return;
  }
  upstream_.async_connect(
      tcp::endpoint(asio::ip::address_v4::loopback(), port),
      [self = shared_from_this()](const boost::system::error_code& e) { self->onUpstream(e); });
}

void BridgeSession::refuse() {
  refusal_.emplace(http::status::forbidden, parser_->get().version());
  refusal_->set(http::field::connection, "close");
  refusal_->set(http::field::content_type, "text/plain");
  refusal_->body() = "forbidden\n";
  refusal_->prepare_payload();
  http::async_write(page_.next_layer(), *refusal_,
                    [self = shared_from_this()](const boost::system::error_code&, std::size_t) {
                      boost::system::error_code ignored;
                      self->page_.next_layer().socket().shutdown(tcp::socket::shutdown_send, ignored);
                    });
}

void BridgeSession::onUpstream(const boost::system::error_code& error) {
  // A refused connection still completes the handshake, then closes at once:
  // the page sees its socket close rather than a failed upgrade.
  upstreamFailed_ = static_cast<bool>(error);
  websocket::stream_base::timeout timeouts{};
  timeouts.handshake_timeout = websocket::stream_base::none();
  timeouts.idle_timeout = websocket::stream_base::none();
  timeouts.keep_alive_pings = false;
  page_.set_option(timeouts);
  page_.binary(true);
  page_.read_message_max(0);
  page_.async_accept(parser_->get(), [self = shared_from_this()](const boost::system::error_code& e) {
    self->onAccepted(e);
  });
}

void BridgeSession::onAccepted(const boost::system::error_code& error) {
  if (error) {
    closeUpstream();
    return;
  }
  proven();
  if (upstreamFailed_) {
    ending_ = true;
    page_.async_close(websocket::close_code::going_away,
                      [self = shared_from_this()](const boost::system::error_code&) {});
    return;
  }
  boost::system::error_code ignored;
  beast::get_lowest_layer(page_).socket().set_option(tcp::no_delay(true), ignored);
  upstream_.set_option(tcp::no_delay(true), ignored);
  toPage_.resize(chunk);
  toUpstream_.resize(chunk);
  readUpstream();
  readPage();
}

void BridgeSession::readUpstream() {
  upstream_.async_read_some(
      asio::buffer(toPage_),
      [self = shared_from_this()](const boost::system::error_code& error, std::size_t n) {
        if (error) {
          self->upstreamEnded();
          return;
        }
        self->page_.async_write(asio::buffer(self->toPage_.data(), n),
                                [self](const boost::system::error_code& e, std::size_t) {
                                  if (e)
                                    self->closeUpstream();
                                  else
                                    self->readUpstream();
                                });
      });
}

void BridgeSession::readPage() {
  page_.async_read_some(asio::buffer(toUpstream_),
                        [self = shared_from_this()](const boost::system::error_code& error, std::size_t n) {
                          if (error) {
                            self->pageEnded();
                            return;
                          }
                          asio::async_write(self->upstream_, asio::buffer(self->toUpstream_.data(), n),
                                            [self](const boost::system::error_code& e, std::size_t) {
                                              // The pending upstream read then fails and closes the page.
                                              if (e)
                                                self->closeUpstream();
                                              else
                                                self->readPage();
                                            });
                        });
}

// Only the upstream read path closes the page, and it runs only while no
// write to the page is pending, as the WebSocket stream requires.
void BridgeSession::upstreamEnded() {
  closeUpstream();
  if (ending_) return;
  ending_ = true;
  page_.async_close(websocket::close_code::normal,
                    [self = shared_from_this()](const boost::system::error_code&) {});
}

void BridgeSession::pageEnded() {
  ending_ = true;
  closeUpstream();
}

void BridgeSession::proven() {
  if (unproven()) shared_.unproven.erase(unproven_);
  unproven_ = shared_.unproven.end();
  deadline_.cancel();
}

void BridgeSession::closeUpstream() {
  boost::system::error_code ignored;
  upstream_.shutdown(tcp::socket::shutdown_send, ignored);
  upstream_.close(ignored);
}

}  // namespace player

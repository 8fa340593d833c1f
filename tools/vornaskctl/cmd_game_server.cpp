#include "tools/gameserver/GameServer.h"
#include "tools/vornaskctl/Command.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>

#include <csignal>
#include <iostream>

namespace {

using tcp = boost::asio::ip::tcp;

int usage() {
  std::cerr << "usage: vornaskctl game-server [--listen HOST:PORT] [--queue-limit BYTES]\n";
  return 2;
}

int runGameServer(const std::vector<std::string>& args) {
  std::string listen = "127.0.0.1:5190";
  std::size_t queueLimit = game::GameServer::default_queue_limit;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--listen" && i + 1 < args.size()) {
      listen = args[++i];
    } else if (args[i] == "--queue-limit" && i + 1 < args.size()) {
      queueLimit = std::stoul(args[++i]);
    } else {
      return usage();
    }
  }
  const std::size_t colon = listen.rfind(':');
  if (colon == std::string::npos || colon == 0) return usage();
  boost::asio::io_context io;
  tcp::resolver resolver(io);
  const tcp::endpoint where =
      resolver.resolve(listen.substr(0, colon), listen.substr(colon + 1), tcp::resolver::passive)->endpoint();
  game::GameServer server(io, where, std::cerr, queueLimit);
  const tcp::endpoint bound = server.endpoint();
  // Caught before the line that says the server is up: a caller may stop it from then on.
  boost::asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](const boost::system::error_code&, int) {
    server.stop();
    std::cerr << "game-server: stopped" << std::endl;
  });
  std::cerr << "game-server: listening on " << bound.address().to_string() << ":" << bound.port()
            << std::endl;
  io.run();
  return 0;
}

}  // namespace

// Registered by hand: the command's name has a hyphen.
static ::vornaskctl::CommandRegistrar game_server_registrar(
    {"game-server", "game-server [--listen HOST:PORT] [--queue-limit BYTES]",
     "runs the demo game server (default 127.0.0.1:5190) until interrupted; one line per event on standard "
     "error",
     runGameServer});

#include "relay/Proxy.h"
#include "tools/vornaskctl/Command.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include <csignal>
#include <exception>
#include <iostream>

static int runRelay(const std::vector<std::string>& args) {
  bool addressed = false;
  for (const std::string& arg : args) {
    if (arg == "--addressed") {
      addressed = true;
    } else {
      std::cerr << "usage: vornaskctl relay [--addressed]\n";
      return 2;
    }
  }
  try {
    // The signals are caught before the port is printed: a caller may stop the relay once it read the port.
    boost::asio::io_context io;
    boost::asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([](const boost::system::error_code&, int) {});
    relay::Proxy& proxy = relay::Proxy::instance();
    proxy.start(addressed);
    std::cout << "port=" << proxy.port() << std::endl;
    io.run();
  } catch (const std::exception& e) {
    std::cerr << "relay: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

VORNASKCTL_COMMAND(relay, "relay [--addressed]", "runs the game relay until interrupted; prints port=N first",
                   runRelay);

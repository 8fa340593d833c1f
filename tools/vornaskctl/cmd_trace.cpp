#include "relay/Trace.h"
#include "tools/vornaskctl/Command.h"

#include <exception>
#include <iostream>

static int runTrace(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::cerr << "usage: vornaskctl trace HOST\n";
    return 2;
  }
  try {
    std::cout << relay::Trace(args[0]) << std::flush;
  } catch (const std::exception& e) {
    std::cerr << "trace: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

VORNASKCTL_COMMAND(trace, "trace HOST", "traces the route to HOST with ICMP echo requests (root)", runTrace);

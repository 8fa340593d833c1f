#pragma once

namespace vtest {

// A listening TCP socket on 127.0.0.1 with a port chosen by the system, stored in `port`.
// Throws std::runtime_error when it cannot listen.
int listenOnLoopback(int& port);

}  // namespace vtest

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vtest {

// Another process (forked) that opens `count` TCP connections to 127.0.0.1:port
// as fast as it can and holds them until this object goes.
class ConnectionFlood {
 public:
  ConnectionFlood(std::uint16_t port, int count);
  ~ConnectionFlood();  // ends the process and waits for it
  ConnectionFlood(const ConnectionFlood&) = delete;
  ConnectionFlood& operator=(const ConnectionFlood&) = delete;

  bool started() const { return pid_ > 0; }
  // True once every connection was attempted (connected or refused by the peer).
  bool waitConnected(int ms);
  const std::string& problem() const { return problem_; }

 private:
  long pid_ = -1;
  int report_ = -1;  // read end: the child writes one byte when done
  std::string problem_;
};

}  // namespace vtest

#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vtest {

struct NginxOptions {
  // Value of max_ranges ("0": every Range header is ignored); empty keeps nginx's default.
  std::string maxRanges;
  // Value of limit_rate per connection ("10m"); empty for none.
  std::string limitRate;
  // Directives placed inside `server { }` before `location / { }` (other locations,
  // redirects, `if` blocks).
  std::string serverConfig;
  // Directives placed inside `location / { }`.
  std::string locationConfig;
  // Web root; empty: a fresh folder of its own, removed with the server.
  std::filesystem::path root;
  // Loopback address to listen on.
  std::string address = "127.0.0.1";
  // PEM files of the server's certificate (chain) and key: HTTPS only; empty: plain HTTP.
  std::string certificate, certificateKey;
};

// A real nginx on a free loopback port with its own prefix, configuration and web root.
// Started by the constructor (throws std::runtime_error when it does not come up) and
// stopped by the destructor. The access log records "$request_method $uri $status
// [$http_range]" per line, over HTTPS followed by "r" for a resumed TLS session, else ".".
class NginxServer {
 public:
  explicit NginxServer(const NginxOptions& options = NginxOptions());
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;
  ~NginxServer();

  int port() const { return port_; }
  const std::string& address() const { return options_.address; }
  // "http://address:port" + path (path starts with '/'); "https://…" with a certificate.
  std::string url(const std::string& path) const;
  const std::filesystem::path& root() const { return root_; }
  // Writes a file below the web root, creating its folders.
  std::filesystem::path writeFile(const std::string& relative, const std::string& content) const;
  // A file of `size` pseudo-random bytes (deterministic for a seed) below the web root.
  std::filesystem::path writeRandomFile(const std::string& relative, size_t size, unsigned seed = 1) const;
  // Lines of the access log; waits up to 2 s for at least `atLeast` lines (nginx writes a
  // line after the answer has gone out).
  std::vector<std::string> accessLog(size_t atLeast = 0) const;
  std::string errorLog() const;

 private:
  void writeConfig() const;
  bool launch();
  void stop();

  NginxOptions options_;
  std::filesystem::path prefix_;
  std::filesystem::path root_;
  bool ownRoot_ = false;
  int port_ = 0;
  pid_t pid_ = -1;
};

// A deterministic pseudo-random byte string.
std::string randomBytes(size_t size, unsigned seed);

}  // namespace vtest

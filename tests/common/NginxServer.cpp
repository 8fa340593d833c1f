#include "tests/common/NginxServer.h"

#include "tests/common/Sandbox.h"
#include "tests/common/WaitFor.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace vtest {

namespace {

int freePort(const std::string& address) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = 0;
  ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
  }
  ::close(fd);
  return port;
}

bool accepts(const std::string& address, int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

std::string nginxBinary() {
  for (const char* candidate : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"})
    if (::access(candidate, X_OK) == 0) return candidate;
  return "nginx";
}

}  // namespace

std::string randomBytes(size_t size, unsigned seed) {
  std::mt19937_64 generator(seed);
  std::string bytes(size, '\0');
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const uint64_t value = generator();
    std::memcpy(&bytes[i], &value, 8);
  }
  for (; i < size; ++i) bytes[i] = static_cast<char>(generator());
  return bytes;
}

NginxServer::NginxServer(const NginxOptions& options) : options_(options) {
  prefix_ = makeTempDir("nginx");
  std::filesystem::create_directories(prefix_ / "logs");
  std::filesystem::create_directories(prefix_ / "tmp");
  root_ = options_.root;
  if (root_.empty()) {
    root_ = prefix_ / "www";
    ownRoot_ = true;
  }
  std::filesystem::create_directories(root_);
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = freePort(options_.address);
    writeConfig();
    if (launch()) return;
  }
  const std::string log = errorLog();
  std::error_code ignored;
  std::filesystem::remove_all(prefix_, ignored);
  throw std::runtime_error("nginx did not start: " + log);
}

NginxServer::~NginxServer() {
  stop();
  std::error_code ignored;
  std::filesystem::remove_all(prefix_, ignored);
}

std::string NginxServer::url(const std::string& path) const {
  return (options_.certificate.empty() ? "http://" : "https://") + options_.address + ":" +
         std::to_string(port_) + path;
}

std::filesystem::path NginxServer::writeFile(const std::string& relative, const std::string& content) const {
  const std::filesystem::path file = root_ / relative;
  writeWholeFile(file, content);
  return file;
}

std::filesystem::path NginxServer::writeRandomFile(const std::string& relative, size_t size,
                                                   unsigned seed) const {
  return writeFile(relative, randomBytes(size, seed));
}

std::vector<std::string> NginxServer::accessLog(size_t atLeast) const {
  std::vector<std::string> lines;
  waitFor(
      [&] {
        lines.clear();
        std::ifstream in(prefix_ / "logs" / "access.log");
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines.size() >= atLeast;
      },
      2000);
  return lines;
}

std::string NginxServer::errorLog() const {
  return readWholeFile(prefix_ / "logs" / "error.log");
}

void NginxServer::writeConfig() const {
  const std::string p = prefix_.string();
  std::ostringstream conf;
  if (::geteuid() == 0) conf << "user root;\n";
  conf << "worker_processes 1;\n"
       << "daemon off;\n"
       << "pid " << p << "/nginx.pid;\n"
       << "error_log " << p << "/logs/error.log warn;\n"
       << "events { worker_connections 1024; }\n"
       << "http {\n"
       << "  log_format plain '$request_method $uri $status [$http_range]"
       << (options_.certificate.empty() ? "" : " $ssl_session_reused") << "';\n"
       << "  access_log " << p << "/logs/access.log plain;\n"
       << "  client_body_temp_path " << p << "/tmp/body;\n"
       << "  proxy_temp_path " << p << "/tmp/proxy;\n"
       << "  fastcgi_temp_path " << p << "/tmp/fastcgi;\n"
       << "  uwsgi_temp_path " << p << "/tmp/uwsgi;\n"
       << "  scgi_temp_path " << p << "/tmp/scgi;\n"
       << "  default_type application/octet-stream;\n"
       << "  types { text/plain txt; text/html html; }\n"
       << "  sendfile on;\n"
       << "  keepalive_timeout 10;\n"
       << "  server {\n"
       << "    listen " << options_.address << ":" << port_ << (options_.certificate.empty() ? "" : " ssl")
       << ";\n"
       << "    server_name localhost;\n"
       << "    root " << root_.string() << ";\n";
  if (!options_.certificate.empty())
    conf << "    ssl_protocols TLSv1.2 TLSv1.3;\n"
         << "    ssl_certificate " << options_.certificate << ";\n"
         << "    ssl_certificate_key " << options_.certificateKey << ";\n";
  if (!options_.maxRanges.empty()) conf << "    max_ranges " << options_.maxRanges << ";\n";
  if (!options_.limitRate.empty()) conf << "    limit_rate " << options_.limitRate << ";\n";
  conf << options_.serverConfig << "\n"
       << "    location / {\n"
       << options_.locationConfig << "\n"
       << "    }\n"
       << "  }\n"
       << "}\n";
  writeWholeFile(prefix_ / "nginx.conf", conf.str());
}

bool NginxServer::launch() {
  const std::string binary = nginxBinary();
  const std::string prefix = prefix_.string() + "/";
  const std::string conf = (prefix_ / "nginx.conf").string();
  const std::string errors = (prefix_ / "logs" / "error.log").string();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::execl(binary.c_str(), binary.c_str(), "-p", prefix.c_str(), "-c", conf.c_str(), "-e", errors.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid_ < 0) return false;
  const bool up = waitFor(
      [&] {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
          pid_ = -1;
          return true;
        }
        return accepts(options_.address, port_);
      },
      10000);
  if (up && pid_ > 0) return true;
  stop();
  return false;
}

void NginxServer::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  const bool gone = waitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 5000);
  if (!gone) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
  pid_ = -1;
}

}  // namespace vtest

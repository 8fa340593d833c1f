// vornaskctl keygen: the key pair that signs published folders.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "tools/vornaskctl/Command.h"
#include "updater/Signature.h"

namespace {

// Owns a descriptor.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

static int runKeygen(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::cerr << "usage: vornaskctl keygen KEYFILE\n";
    return 2;
  }
  const updater::SigningKey key = updater::SigningKey::generate();
  const std::string pem = key.pem();
  Descriptor file;
  // Never over an existing key: that one may be the only copy.
  file.fd = ::open(args[0].c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (file.fd < 0) {
    std::cerr << "vornaskctl keygen: " << args[0] << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  // The mode is 0600 whatever the umask.
  bool ok = ::fchmod(file.fd, 0600) == 0;
  for (size_t done = 0; ok && done < pem.size();) {
    const ssize_t n = ::write(file.fd, pem.data() + done, pem.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(file.fd) == 0;
  if (!ok) {
    std::cerr << "vornaskctl keygen: " << args[0] << ": " << std::strerror(errno) << "\n";
    ::unlink(args[0].c_str());
    return 1;
  }
  std::cout << updater::base64Encode(key.publicKey()) << "\n";
  return 0;
}

VORNASKCTL_COMMAND(keygen, "keygen KEYFILE",
                   "makes an Ed25519 key pair: the private key into KEYFILE (mode 0600, never over an\n"
                   "      existing file), the public key printed as one base64 line",
                   runKeygen);

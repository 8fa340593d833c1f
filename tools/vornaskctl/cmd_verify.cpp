// vornaskctl verify: a published folder against its signature.
#include <iostream>

#include "tools/vornaskctl/Command.h"
#include "tools/vornaskctl/Keys.h"
#include "updater/SignedList.h"

static int runVerify(const std::vector<std::string>& args) {
  if (args.size() != 3 || args[1] != "--key") {
    std::cerr << "usage: vornaskctl verify DIR --key PUBKEY\n";
    return 2;
  }
  std::string key;
  if (!vornaskctl::readPublicKey(args[2], key)) {
    std::cerr << "vornaskctl verify: " << args[2] << " is not a base64 public key nor a file with one\n";
    return 2;
  }
  uint64_t serial = 0;
  const std::vector<std::string> failures = updater::verifyFolder(args[0], key, serial);
  for (const std::string& failure : failures) std::cout << "FAIL " << failure << "\n";
  if (!failures.empty()) return 1;
  std::cout << "ok serial=" << serial << "\n";
  return 0;
}

VORNASKCTL_COMMAND(verify, "verify DIR --key PUBKEY",
                   "checks DIR/library/crc.txt, its signature and every listed file; names what fails",
                   runVerify);

// vornaskctl resign: a published folder's signature renewed without reading its files.
#include <iostream>

#include "tools/vornaskctl/Command.h"
#include "tools/vornaskctl/Keys.h"
#include "updater/Publish.h"
#include "updater/Trust.h"

static int runResign(const std::vector<std::string>& args) {
  vornaskctl::SignOptions options;
  std::string error;
  if (!vornaskctl::parseSignOptions(args, options, error) || options.keyFile.empty() ||
      !options.mirrors.empty()) {
    std::cerr << "vornaskctl resign: "
              << (!error.empty()            ? error
                  : options.keyFile.empty() ? "--sign is required"
                                            : "mirrors are published by publish")
              << "\n"
              << "usage: vornaskctl resign DIR --sign KEYFILE [--serial N] [--expires DURATION] "
                 "[--endorsement FILE]\n";
    return 2;
  }
  const updater::SigningKey key = vornaskctl::readSigningKey(options.keyFile);
  if (!options.endorsementFile.empty())
    vornaskctl::publishEndorsement(options.folder, options.endorsementFile, key);
  const uint64_t serial = updater::resignFolder(options.folder, key, options.serial, options.expires);
  std::cout << "wrote " << options.folder << "/library/crc.txt.sig serial=" << serial << "\n";
  std::cout << "expires " << (options.expires ? updater::utcText(options.expires) : "never") << "\n";
  return 0;
}

VORNASKCTL_COMMAND(resign, "resign DIR --sign KEYFILE [--serial N] [--expires DURATION] [--endorsement FILE]",
                   "renews DIR/library/crc.txt.sig for the published list: a higher serial and a new\n"
                   "      expiry (default 7d), the files' digests taken from the old signature file",
                   runResign);

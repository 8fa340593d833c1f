#include <iostream>

#include "tools/vornaskctl/Command.h"
#include "tools/vornaskctl/Keys.h"
#include "updater/Mirrors.h"
#include "updater/Publish.h"
#include "updater/Signature.h"
#include "updater/Trust.h"

static int runPublish(const std::vector<std::string>& args) {
  vornaskctl::SignOptions options;
  std::string error;
  if (!vornaskctl::parseSignOptions(args, options, error)) {
    std::cerr << "vornaskctl publish: " << error << "\n"
              << "usage: vornaskctl publish DIR [--sign KEYFILE [--serial N] [--expires DURATION] "
                 "[--endorsement FILE]] [--mirror URL]...\n";
    return 2;
  }
  const std::string& folder = options.folder;
  const std::vector<std::string>& mirrors = options.mirrors;
  try {
    updater::mirrorListText(mirrors);
  } catch (const std::invalid_argument& e) {
    std::cerr << "vornaskctl publish: " << e.what() << "\n";
    return 2;
  }
  if (options.keyFile.empty()) {
    const updater::PublishResult result = updater::publishFolder(folder, mirrors);
    std::cout << "wrote " << folder << "/library/crc.txt\n";
    if (!mirrors.empty()) std::cout << "mirrors=" << mirrors.size() << " (library/mirrors.txt)\n";
    std::cout << "indexes=" << result.indexes << " (library/blocks/)\n";
    std::cout << "files=" << result.files << " bytes=" << result.bytes << "\n";
    return 0;
  }
  const updater::SigningKey key = vornaskctl::readSigningKey(options.keyFile);
  // The endorsement is checked before anything is written.
  if (!options.endorsementFile.empty()) vornaskctl::publishEndorsement(folder, options.endorsementFile, key);
  const updater::PublishResult result =
      updater::publishSignedFolder(folder, key, options.serial, options.expires, mirrors);
  std::cout << "wrote " << folder << "/library/crc.txt and crc.txt.sig\n";
  if (!mirrors.empty()) std::cout << "mirrors=" << mirrors.size() << " (library/mirrors.txt, signed)\n";
  std::cout << "key=" << updater::base64Encode(key.publicKey()) << " serial=" << options.serial << "\n";
  std::cout << "expires " << (options.expires ? updater::utcText(options.expires) : "never") << "\n";
  std::cout << "indexes=" << result.indexes << " (library/blocks/)\n";
  std::cout << "files=" << result.files << " bytes=" << result.bytes << "\n";
  return 0;
}

VORNASKCTL_COMMAND(
    publish,
    "publish DIR [--sign KEYFILE [--serial N] [--expires DURATION] [--endorsement FILE]] [--mirror URL]...",
    "writes DIR/library/crc.txt (name:0:size:crc per file) and block indexes of files of 1 MiB or\n"
    "      more for a game folder; with --sign also crc.txt.sig, signed by the key in KEYFILE,\n"
    "      serial N (default: UTC seconds now), expiring after DURATION (30s, 15m, 12h, 7d;\n"
    "      default 7d; never: no expiry); --endorsement puts the root's endorsement of that key\n"
    "      beside the list; each --mirror adds a base URL to library/mirrors.txt",
    runPublish);

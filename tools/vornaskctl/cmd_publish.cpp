#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/vornaskctl/Command.h"
#include "updater/Mirrors.h"
#include "updater/Publish.h"
#include "updater/Signature.h"

static int publishUsage() {
  std::cerr << "usage: vornaskctl publish DIR [--sign KEYFILE [--serial N]] [--mirror URL]...\n";
  return 2;
}

static int runPublish(const std::vector<std::string>& args) {
  std::string folder, keyFile, serialText;
  std::vector<std::string> mirrors;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--mirror" && i + 1 < args.size())
      mirrors.push_back(args[++i]);
    else if (args[i] == "--sign" && i + 1 < args.size())
      keyFile = args[++i];
    else if (args[i] == "--serial" && i + 1 < args.size())
      serialText = args[++i];
    else if (folder.empty() && args[i].compare(0, 2, "--") != 0)
      folder = args[i];
    else
      return publishUsage();
  }
  if (folder.empty() || (!serialText.empty() && keyFile.empty())) return publishUsage();
  try {
    updater::mirrorListText(mirrors);
  } catch (const std::invalid_argument& e) {
    std::cerr << "vornaskctl publish: " << e.what() << "\n";
    return 2;
  }
  if (keyFile.empty()) {
    const updater::PublishResult result = updater::publishFolder(folder, mirrors);
    std::cout << "wrote " << folder << "/library/crc.txt\n";
    if (!mirrors.empty()) std::cout << "mirrors=" << mirrors.size() << " (library/mirrors.txt)\n";
    std::cout << "indexes=" << result.indexes << " (library/blocks/)\n";
    std::cout << "files=" << result.files << " bytes=" << result.bytes << "\n";
    return 0;
  }

  uint64_t serial = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
          .count());
  if (!serialText.empty()) {
    size_t end = 0;
    try {
      serial = std::stoull(serialText, &end);
    } catch (const std::exception&) {
      end = 0;
    }
    if (end == 0 || end != serialText.size() || serialText[0] == '-') {
      std::cerr << "vornaskctl publish: --serial takes a decimal number\n";
      return 2;
    }
  }
  std::ifstream in(keyFile, std::ios::binary);
  std::ostringstream pem;
  if (!(pem << in.rdbuf())) {
    std::cerr << "vornaskctl publish: cannot read " << keyFile << "\n";
    return 1;
  }
  const updater::SigningKey key = updater::SigningKey::fromPem(pem.str());
  const updater::PublishResult result = updater::publishSignedFolder(folder, key, serial, mirrors);
  std::cout << "wrote " << folder << "/library/crc.txt and crc.txt.sig\n";
  if (!mirrors.empty()) std::cout << "mirrors=" << mirrors.size() << " (library/mirrors.txt, signed)\n";
  std::cout << "key=" << updater::base64Encode(key.publicKey()) << " serial=" << serial << "\n";
  std::cout << "indexes=" << result.indexes << " (library/blocks/)\n";
  std::cout << "files=" << result.files << " bytes=" << result.bytes << "\n";
  return 0;
}

VORNASKCTL_COMMAND(
    publish, "publish DIR [--sign KEYFILE [--serial N]] [--mirror URL]...",
    "writes DIR/library/crc.txt (name:0:size:crc per file) and block indexes of files of 1 MiB or\n"
    "      more for a game folder; with --sign also crc.txt.sig, signed by the key in KEYFILE,\n"
    "      serial N (default: UTC seconds now)",
    runPublish);

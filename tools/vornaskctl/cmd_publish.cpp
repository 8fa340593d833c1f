#include <iostream>

#include "tools/vornaskctl/Command.h"
#include "updater/Publish.h"

static int runPublish(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::cerr << "usage: vornaskctl publish DIR\n";
    return 2;
  }
  const updater::PublishResult result = updater::publishFolder(args[0]);
  std::cout << "wrote " << args[0] << "/library/crc.txt\n";
  std::cout << "indexes=" << result.indexes << " (library/blocks/)\n";
  std::cout << "files=" << result.files << " bytes=" << result.bytes << "\n";
  return 0;
}

VORNASKCTL_COMMAND(
    publish, "publish DIR",
    "writes DIR/library/crc.txt (name:0:size:crc per file) and block indexes of files of 1 MiB or more",
    runPublish);

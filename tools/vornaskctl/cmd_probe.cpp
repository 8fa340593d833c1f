// vornaskctl probe: HEAD request following redirects, as a download starts with.
#include "tools/vornaskctl/Command.h"

#include "net/HTTPContext.h"

#include <iostream>

static int runProbe(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::cerr << "usage: vornaskctl probe URL\n";
    return 2;
  }
  mnet::HTTPContext& context = mnet::HTTPContext::instance();
  context.setUserAgent("Vornask client v" VORNASK_VERSION);
  std::string url = args[0];
  std::int64_t length = -1;
  int result = 0;
  try {
    result = context.probe(url, length);
  } catch (const mnet::HTTPError& e) {
    std::cerr << "vornaskctl probe: " << mstd::message_of(e) << "\n";
    result = -1;
  }
  std::cout << "result=" << result << " url=" << url << " length=" << length << std::endl;
  return result == 0 ? 0 : 1;
}

VORNASKCTL_COMMAND(probe, "probe URL",
                   "HEAD request with redirects followed; prints the final URL and length", runProbe);

// vornaskctl get: one request through the asynchronous HTTP engine.
#include "tools/vornaskctl/Command.h"

#include "net/HTTPContext.h"
#include "net/Request.h"

#include <condition_variable>
#include <fstream>
#include <iostream>
#include <mutex>

static int runGet(const std::vector<std::string>& args) {
  std::string url, output;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size())
      output = args[++i];
    else if (url.empty())
      url = args[i];
    else {
      std::cerr << "usage: vornaskctl get URL [-o FILE]\n";
      return 2;
    }
  }
  if (url.empty()) {
    std::cerr << "usage: vornaskctl get URL [-o FILE]\n";
    return 2;
  }
  mnet::HTTPContext& context = mnet::HTTPContext::instance();
  context.setUserAgent("Vornask client v" VORNASK_VERSION);
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  int code = 0;
  std::string body;
  mnet::getData(url, std::string(), mnet::ProgressCallback(), [&](int result, const std::string& data) {
    std::lock_guard<std::mutex> lock(mutex);
    code = result;
    body = data;
    finished = true;
    done.notify_all();
  });
  std::unique_lock<std::mutex> lock(mutex);
  done.wait(lock, [&] { return finished; });
  if (!output.empty()) {
    std::ofstream out(output, std::ios::binary);
    out << body;
    if (!out) {
      std::cerr << "vornaskctl get: cannot write " << output << "\n";
      return 1;
    }
  } else if (!body.empty()) {
    std::cout << body;
    if (body.back() != '\n') std::cout << "\n";
  }
  std::cout << "code=" << code << " bytes=" << body.size() << std::endl;
  return code == 0 ? 0 : 1;
}

VORNASKCTL_COMMAND(get, "get URL [-o FILE]", "one request through the asynchronous HTTP engine", runGet);

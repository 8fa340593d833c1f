#pragma once

#include "net/HTTPContext.h"
#include "net/Request.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace vtest {

// Result of one asynchronous request, gathered from its callbacks.
struct Fetched {
  int code = -1;
  std::string body;
  std::string headers;
  std::vector<int> progress;
  int completions = 0;
};

// Runs the request through the engine and waits (at most 30 s) for its completion.
Fetched fetch(mnet::Request request, bool withHeaders = false);
inline Fetched fetch(const std::string& url) {
  mnet::Request request;
  request.url = url;
  return fetch(request);
}

// A loopback port on which nothing listens.
int refusedPort();

}  // namespace vtest

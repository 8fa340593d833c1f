#include "tests/net/NetTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace vtest {

namespace {

// Back-off of a few milliseconds: the tests wait for outcomes, never for the real waits.
class FastRetries : public ::testing::Environment {
 public:
  void SetUp() override { mnet::HTTPContext::instance().setRetryPolicy(fastRetryPolicy()); }
};

::testing::Environment* const fastRetries = ::testing::AddGlobalTestEnvironment(new FastRetries);

}  // namespace

mnet::RetryPolicy fastRetryPolicy() {
  mnet::RetryPolicy policy;
  policy.base = std::chrono::milliseconds(1);
  policy.cap = std::chrono::milliseconds(8);
  policy.retryAfterCap = std::chrono::seconds(0);
  return policy;
}

Fetched fetch(mnet::Request request, bool withHeaders) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    Fetched result;
  };
  auto shared = std::make_shared<Shared>();
  request.onProgress = [shared](int percent) {
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->result.progress.push_back(percent);
  };
  auto complete = [shared](int code, const std::string& body, const std::string& headers) {
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->result.code = code;
    shared->result.body = body;
    shared->result.headers = headers;
    ++shared->result.completions;
    shared->done.notify_all();
  };
  request.onData = [complete](int code, const std::string& body) { complete(code, body, "(none)"); };
  if (withHeaders) request.onDataWithHeaders = complete;
  request.run();
  std::unique_lock<std::mutex> lock(shared->mutex);
  shared->done.wait_for(lock, std::chrono::seconds(30), [&] { return shared->result.completions > 0; });
  // A second completion would arrive right after the first.
  shared->done.wait_for(lock, std::chrono::milliseconds(50), [&] { return shared->result.completions > 1; });
  return shared->result;
}

int refusedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

Outcome download(const std::string& url, const std::string& target, std::int64_t expected) {
  Ends ends;
  mnet::Download dl(url, target, expected, ends.callback());
  dl.start();
  return ends.wait();
}

}  // namespace vtest

#pragma once

#include "base/Exception.h"
#include "net/CurlHandles.h"
#include "net/RetryPolicy.h"

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>

namespace mnet {

struct HTTP;
// Raised when curl itself fails a blocking request.
typedef mstd::own_exception<HTTP, mstd::exception> HTTPError;
struct tag_curl_code {};
// The CURLcode an HTTPError was raised for.
typedef boost::error_info<tag_curl_code, int> curl_code;

class AsyncHTTP;
struct SyncRequest;

typedef std::function<void()> Job;
typedef std::function<void(Job)> Dispatcher;

// Process-wide settings shared by every transfer, and the asynchronous engine.
class HTTPContext {
 public:
  // The process-wide context, built (with its engine thread) on first use.
  static HTTPContext& instance();

  HTTPContext();
  HTTPContext(const HTTPContext&) = delete;
  HTTPContext& operator=(const HTTPContext&) = delete;
  ~HTTPContext();

  void setUserAgent(const std::string& agent);
  std::string userAgent() const;

  // Runs jobs of the tasks (progress, completion) on the caller's thread. The default runs
  // them inline on the engine thread.
  void setDispatcher(const Dispatcher& dispatcher);
  Dispatcher dispatcher() const;
  // Hands a job to the dispatcher; an empty dispatcher raises std::bad_function_call.
  void dispatch(const Job& job) const;

  // A transfer that moves less than the trickle limit per second for this long is given up
  // (curl's time-out, 600 + 28), so a stalled or trickling server ends like a dropped connection.
  void setStallTimeout(long seconds);
  long stallTimeout() const;
  void setTrickleLimit(long bytesPerSecond);
  long trickleLimit() const;
  // A CA file trusted besides the system's store (VORNASK_CA_FILE at start); empty: none.
  void setCaFile(const std::string& path);

  // When and how often the segmented downloads try a failed transfer again.
  void setRetryPolicy(const RetryPolicy& policy);
  RetryPolicy retryPolicy() const;
  // Bodies gathered in memory stop at this size (curl's write error, 600 + 23).
  static constexpr size_t MaxBodySize = 64u << 20;

  // A new easy handle with the options common to every transfer; the caller cleans it up.
  CURL* createEasyHandle(const std::string& url, const std::string& cookies) const;

  // Blocking request on the calling thread; follows 301/302 by hand (at most 10).
  void perform(SyncRequest& request) const;
  // HEAD request: 0 and the final url/length when the status is below 400, else the status.
  // A true `abort` flag ends it early with an HTTPError. `headers` receives the answers'
  // header lines.
  int probe(std::string& url, std::int64_t& length, const std::atomic<bool>* abort = nullptr,
            std::string* headers = nullptr) const;

  AsyncHTTP& engine();
  // Ends every task in the engine at its next pass with code 642.
  void cancelAll();

 private:
  mutable std::shared_mutex settingsLock_;
  std::string userAgent_;
  long stallTimeout_ = 30;
  // A server that keeps a transfer alive with a few bytes a second holds it as long as it likes.
  long trickleLimit_ = 1024;
  // VORNASK_CA_FILE: a CA trusted besides the system's (a private server's).
  std::string caFile_;
  RetryPolicy retryPolicy_;
  Dispatcher dispatcher_;
  // TLS sessions of verified handshakes, shared by every transfer: a new connection to a server
  // resumes one instead of a full handshake (the segmented downloads open several per file).
  // Outlives the engine's handles.
  ShareHandle share_;
  std::unique_ptr<AsyncHTTP> engine_;
};

}  // namespace mnet

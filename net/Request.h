#pragma once

#include "net/PostData.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mnet {

typedef std::function<void(int)> ProgressCallback;
typedef std::function<void(int, const std::string&)> DataCallback;
typedef std::function<void(int, const std::string&, const std::string&)> DataWithHeadersCallback;

// One asynchronous transfer as the caller describes it. The callbacks run through the
// context's dispatcher: onProgress once per distinct percentage, then exactly one of
// onDataWithHeaders (when set) or onData with the completion code.
struct Request {
  std::string url;
  std::string cookies;
  // Complete header lines ("Name: value"); sent in reverse order.
  std::vector<std::string> headers;
  ProgressCallback onProgress;
  DataCallback onData;
  DataWithHeadersCallback onDataWithHeaders;
  PostDataPtr postData;
  // The body stops at this size, and never past HTTPContext::MaxBodySize (curl's write
  // error, 600 + 23).
  size_t maxBodySize = SIZE_MAX;

  // Queues the transfer with the engine; returns at once.
  void run() const;
};

void getData(const std::string& url, const std::string& cookies, const ProgressCallback& onProgress,
             const DataCallback& onData);
// The same with the body bounded to `maxBodySize` bytes.
void getData(const std::string& url, size_t maxBodySize, const ProgressCallback& onProgress,
             const DataCallback& onData);

// Ends every task in the engine (queued or running) with code 642 at the engine's next pass.
void cancelAll();

}  // namespace mnet

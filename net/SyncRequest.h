#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace mnet {

// A blocking request (HTTPContext::perform). Without a body target it is a HEAD request.
struct SyncRequest {
  // The URL to ask; after perform() the last URL asked (redirect targets are followed).
  std::string url;
  std::string cookies;
  std::string* body = nullptr;
  int status = 0;
  // Content length of the last answer, -1 when it gave none.
  std::int64_t length = -1;
  std::string contentType;
  // Header lines of the answers, each with its line end.
  std::string headers;
  // When set and true, the transfer is aborted (curl error 42) within about a second.
  const std::atomic<bool>* abort = nullptr;
};

// Most redirects one request follows.
const int MaxRedirects = 10;

// Log text of a received body: its first 1024 bytes as text when printable, else in hex.
std::string bodyLogText(const std::string& body);

}  // namespace mnet

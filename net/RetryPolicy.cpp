#include "net/RetryPolicy.h"

#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <sstream>

namespace mnet {

namespace {}  // namespace

double uniformRandom() {
  thread_local std::mt19937_64 engine{std::random_device{}()};
  return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
}

namespace {

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::chrono::milliseconds backoff(std::chrono::milliseconds base, std::chrono::milliseconds cap, int attempt,
                                  double random) {
  std::chrono::milliseconds ceiling = base;
  for (int i = 0; i < attempt && ceiling < cap; ++i) ceiling *= 2;
  ceiling = std::max(base, std::min(ceiling, cap));
  random = std::clamp(random, 0.0, 1.0);
  return base + std::chrono::milliseconds(
                    static_cast<long long>(static_cast<double>((ceiling - base).count()) * random));
}

std::optional<std::chrono::seconds> retryAfter(const std::string& headers,
                                               std::chrono::system_clock::time_point now) {
  static const char name[] = "Retry-After:";
  std::optional<std::string> value;
  std::istringstream lines(headers);
  for (std::string line; std::getline(lines, line);) {
    if (line.compare(0, 5, "HTTP/") == 0)
      value.reset();  // a new response (after a redirect or 100 Continue)
    else if (::strncasecmp(line.c_str(), name, sizeof name - 1) == 0)
      value = trimmed(line.substr(sizeof name - 1));
  }
  if (!value || value->empty()) return std::nullopt;
  if (value->find_first_not_of("0123456789") == std::string::npos) {
    // More digits than a day has seconds are still only a long wait.
    if (value->size() > 9) return std::chrono::seconds(999999999);
    return std::chrono::seconds(std::strtoll(value->c_str(), nullptr, 10));
  }
  const time_t at = curl_getdate(value->c_str(), nullptr);
  if (at == -1) return std::nullopt;
  const auto wait = std::chrono::system_clock::from_time_t(at) - now;
  return std::max(std::chrono::seconds(0), std::chrono::ceil<std::chrono::seconds>(wait));
}

bool certificateFailure(int code) {
  switch (code - FirstTransferCode) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return true;
    default:
      return false;
  }
}

bool retryable(int code) {
  return (code >= FirstTransferCode && !certificateFailure(code)) || code == 408 || code == 429 ||
         (code >= 500 && code < 600);
}

RetryPolicy::RetryPolicy() : RetryPolicy(&std::chrono::system_clock::now, &uniformRandom) {}

RetryPolicy::RetryPolicy(Clock clock, Random random) : clock_(std::move(clock)), random_(std::move(random)) {}

std::optional<std::chrono::milliseconds> RetryPolicy::next(int code, const std::string& headers,
                                                           int attempt) const {
  if (!retryable(code) || attempt >= maxRetries) return std::nullopt;
  std::chrono::milliseconds wait = backoff(base, cap, attempt, random_());
  if (code == 503 || code == 429) {
    if (const auto asked = retryAfter(headers, clock_()))
      wait = std::max<std::chrono::milliseconds>(wait, std::min(*asked, retryAfterCap));
  }
  return wait;
}

}  // namespace mnet

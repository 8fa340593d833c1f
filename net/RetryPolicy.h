#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace mnet {

// Codes from 600 on are curl's own failures (600 + CURLcode), below are HTTP statuses.
const int FirstTransferCode = 600;

// Uniform in [0, 1), per thread.
double uniformRandom();

// A wait that grows exponentially: the ceiling is base · 2^attempt (at most cap) and the
// wait is drawn uniformly between base and the ceiling (`random` in [0, 1)), so many
// clients spread out, yet no retry comes sooner than base.
std::chrono::milliseconds backoff(std::chrono::milliseconds base, std::chrono::milliseconds cap, int attempt,
                                  double random);

// The seconds a Retry-After header asks for (delta seconds or an HTTP date against `now`),
// from the last response's headers in `headers` (raw header lines); none when absent.
std::optional<std::chrono::seconds> retryAfter(const std::string& headers,
                                               std::chrono::system_clock::time_point now);

// A server certificate that was refused (600 + curl's code): no retry makes it good.
bool certificateFailure(int code);

// Whether a transfer that ended with `code` may succeed when tried again: curl's failures
// other than a refused certificate, 408, 429 and every 5xx.
bool retryable(int code);

// When to try a failed transfer again.
class RetryPolicy {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;
  using Random = std::function<double()>;

  // Retries of one transfer after its first try, and the back-off's range.
  int maxRetries = 5;
  std::chrono::milliseconds base{1000};
  std::chrono::milliseconds cap{60000};
  // A server's Retry-After is obeyed up to an hour; longer ones are read as an hour.
  std::chrono::seconds retryAfterCap{3600};

  RetryPolicy();
  RetryPolicy(Clock clock, Random random);

  // The wait before retry number `attempt` + 1 of a transfer that ended with `code` and
  // `headers`; none when it is not to be retried (a final answer, or retries used up).
  std::optional<std::chrono::milliseconds> next(int code, const std::string& headers, int attempt) const;

 private:
  Clock clock_;
  Random random_;
};

}  // namespace mnet

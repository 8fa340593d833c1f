#include "net/RetryPolicy.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::system_clock;

// 2026-12-01 00:00:00 UTC
const system_clock::time_point now = system_clock::from_time_t(1796083200);

TEST(RetryPolicy, StatusHeadersAndAttemptGiveTheWait) {
  struct Row {
    const char* name;
    int code;
    std::string headers;
    int attempt;
    double random;
    std::optional<milliseconds> wait;
  };
  const std::string unavailable = "HTTP/1.1 503 Service Unavailable\r\n";
  const Row rows[] = {
      {"first retry waits the base", 503, "", 0, 0.9, milliseconds(1000)},
      {"ceiling doubles, jitter spreads below it", 500, "", 2, 0.5, milliseconds(2500)},
      {"no retry comes sooner than the base", 502, "", 3, 0.0, milliseconds(1000)},
      {"a connection failure is retried", 600 + 7, "", 4, 0.5, milliseconds(8500)},
      {"retries are used up", 503, "", 5, 0.5, std::nullopt},
      {"Retry-After seconds are a minimum", 503, unavailable + "Retry-After: 10\r\n", 0, 0.5, seconds(10)},
      {"a longer back-off wins over Retry-After", 429, "HTTP/1.1 429 Too Many\r\nretry-after:  2\r\n", 4, 0.5,
       milliseconds(8500)},
      {"Retry-After as an HTTP date", 503, unavailable + "Retry-After: Tue, 01 Dec 2026 00:00:30 GMT\r\n", 0,
       0, seconds(30)},
      {"a date in the past is no wait", 503, unavailable + "Retry-After: Mon, 30 Nov 2026 00:00:00 GMT\r\n",
       0, 0, milliseconds(1000)},
      {"Retry-After is capped at an hour", 503, unavailable + "Retry-After: 86400\r\n", 0, 0, seconds(3600)},
      {"absurd Retry-After is still an hour", 503, unavailable + "Retry-After: 99999999999999999999\r\n", 0,
       0, seconds(3600)},
      {"unreadable Retry-After is ignored", 503, unavailable + "Retry-After: soon\r\n", 0, 0,
       milliseconds(1000)},
      {"only the last answer's Retry-After counts", 503,
       "HTTP/1.1 302 Found\r\nRetry-After: 50\r\n" + unavailable, 0, 0, milliseconds(1000)},
      {"Retry-After on a 500 is not obeyed", 500, "HTTP/1.1 500 Oops\r\nRetry-After: 50\r\n", 0, 0,
       milliseconds(1000)},
      {"408 is retried", 408, "", 0, 0, milliseconds(1000)},
      {"404 is final", 404, "", 0, 0, std::nullopt},
      {"403 is final", 403, "", 0, 0, std::nullopt},
      {"a refused certificate is final", 600 + 60, "", 0, 0, std::nullopt},
      {"a broken handshake is retried", 600 + 35, "", 0, 0, milliseconds(1000)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const mnet::RetryPolicy policy([] { return now; }, [&row] { return row.random; });
    EXPECT_EQ(row.wait, policy.next(row.code, row.headers, row.attempt));
  }
  // The ceiling stops at the cap, however many attempts.
  EXPECT_EQ(milliseconds(60000), mnet::backoff(milliseconds(1000), milliseconds(60000), 40, 1.0));
}

}  // namespace

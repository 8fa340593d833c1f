#include "net/AsyncHTTP.h"
#include "net/HTTPContext.h"
#include "net/Request.h"
#include "tests/common/NginxServer.h"
#include "tests/common/Sandbox.h"
#include "tests/common/WaitFor.h"
#include "tests/net/NetTestSupport.h"
#include "tests/net/RawServer.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace {

using vtest::fetch;

TEST(AsyncEngine, CompletionCodesOfAnswersAndTransportFailures) {
  vtest::NginxServer nginx;
  const std::string content = vtest::randomBytes(100000, 3);
  nginx.writeFile("data.bin", content);
  nginx.writeFile("empty.txt", "");

  vtest::Fetched ok = fetch(nginx.url("/data.bin"));
  EXPECT_EQ(0, ok.code);
  EXPECT_EQ(content, ok.body);
  EXPECT_EQ(1, ok.completions);

  vtest::Fetched empty = fetch(nginx.url("/empty.txt"));
  EXPECT_EQ(0, empty.code);
  EXPECT_EQ("", empty.body);

  vtest::Fetched missing = fetch(nginx.url("/missing"));
  EXPECT_EQ(404, missing.code);
  EXPECT_NE(std::string::npos, missing.body.find("404 Not Found"));

  EXPECT_EQ(606, fetch("http://no-such-host.invalid/x").code);
  EXPECT_EQ(607, fetch("http://127.0.0.1:" + std::to_string(vtest::refusedPort()) + "/").code);
}

TEST(AsyncEngine, StatusWinsOverCurlErrorAndShortBodyIsCurlError) {
  vtest::RawServer server([](const std::string& request) -> std::string {
    if (request.find("GET /short") == 0) return "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789";
    if (request.find("GET /broken500") == 0) return "HTTP/1.1 500 Oops\r\nContent-Length: 1000\r\n\r\nerror";
    return "HTTP/1.1 204 No Content\r\n\r\n";
  });
  EXPECT_EQ(600 + CURLE_PARTIAL_FILE, fetch(server.url("/short")).code);
  EXPECT_EQ(500, fetch(server.url("/broken500")).code);
  EXPECT_EQ(204, fetch(server.url("/nothing")).code);
}

TEST(AsyncEngine, CallbacksRunThroughTheDispatcherInOrder) {
  vtest::NginxServer nginx;
  nginx.writeRandomFile("big.bin", 3 << 20);
  mnet::HTTPContext& context = mnet::HTTPContext::instance();
  std::mutex mutex;
  std::vector<mnet::Job> jobs;
  context.setDispatcher([&](const mnet::Job& job) {
    std::lock_guard<std::mutex> lock(mutex);
    jobs.push_back(job);
  });
  const std::thread::id self = std::this_thread::get_id();
  std::vector<std::string> events;
  bool elsewhere = false;
  mnet::getData(
      nginx.url("/big.bin"), "",
      [&](int percent) {
        elsewhere |= std::this_thread::get_id() != self;
        events.push_back("p" + std::to_string(percent));
      },
      [&](int code, const std::string& body) {
        elsewhere |= std::this_thread::get_id() != self;
        events.push_back("done " + std::to_string(code) + " " + std::to_string(body.size()));
      });
  // This thread plays the UI thread: it runs the posted jobs.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((events.empty() || events.back().compare(0, 4, "done") != 0) &&
         std::chrono::steady_clock::now() < deadline) {
    std::vector<mnet::Job> taken;
    {
      std::lock_guard<std::mutex> lock(mutex);
      taken.swap(jobs);
    }
    for (auto& job : taken) job();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  context.setDispatcher([](const mnet::Job& job) { job(); });
  EXPECT_FALSE(elsewhere);
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ("done 0 3145728", events.back());
  EXPECT_EQ("p100", events[events.size() - 2]);
}

TEST(AsyncEngine, ADispatcherThatFailsLeavesTheEngineRunning) {
  vtest::NginxServer nginx;
  nginx.writeFile("small.txt", "small");
  struct Case {
    const char* name;
    std::function<void(const mnet::Job&)> fail;
  };
  const Case cases[] = {
      {"empty dispatcher", [](const mnet::Job& job) { mnet::Dispatcher()(job); }},
      {"standard exception", [](const mnet::Job&) { throw std::runtime_error("queue full"); }},
      {"tagged exception", [](const mnet::Job&) { throw mstd::exception(); }},
  };
  mnet::HTTPContext& context = mnet::HTTPContext::instance();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<int> calls{0};
    context.setDispatcher([&](const mnet::Job& job) {
      ++calls;
      c.fail(job);
    });
    mnet::getData(nginx.url("/small.txt"), "", mnet::ProgressCallback(), [](int, const std::string&) {});
    EXPECT_TRUE(vtest::waitFor([&] { return calls.load() > 0; }, 20000));
    context.setDispatcher([](const mnet::Job& job) { job(); });
    const vtest::Fetched after = fetch(nginx.url("/small.txt"));
    EXPECT_EQ(0, after.code);
    EXPECT_EQ("small", after.body);
  }
}

TEST(AsyncEngine, ProgressOncePerDistinctPercentAndNeverForUnknownLength) {
  // 60 header bytes and 100 000 body bytes in pieces of 7 000: about 14 distinct percentages, each
  // piece usually split over several reads.
  vtest::RawServer paced([](const std::string&) {
    return "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nX-Pad: 0123456789abcd\r\n\r\n" +
           std::string(100000, 'k');
  });
  paced.pace(7000, 15);
  vtest::Fetched known = fetch(paced.url("/known"));
  ASSERT_EQ(0, known.code);
  ASSERT_FALSE(known.progress.empty());
  for (size_t i = 1; i < known.progress.size(); ++i) EXPECT_LT(known.progress[i - 1], known.progress[i]);
  EXPECT_GT(known.progress.front(), 0);
  EXPECT_EQ(100, known.progress.back());
  // Reported along the way, not only at the end; a loaded machine may read several pieces at once.
  EXPECT_GE(known.progress.size(), 3u);

  vtest::RawServer server([](const std::string&) {
    return "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(300000, 'x');
  });
  server.pace(30000, 5);
  vtest::Fetched unknown = fetch(server.url("/stream"));
  EXPECT_EQ(0, unknown.code);
  EXPECT_EQ(300000u, unknown.body.size());
  EXPECT_TRUE(unknown.progress.empty());
  EXPECT_EQ(1, unknown.completions);
}

TEST(AsyncEngine, HeadersReversedPostBodyAndHeaderText) {
  vtest::RawServer server([](const std::string&) {
    return std::string("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nX-Reply: yes\r\n\r\nok");
  });
  mnet::HTTPContext::instance().setUserAgent("Vornask client v1.7.0");
  mnet::Request request;
  request.url = server.url("/post");
  request.cookies = "session=abc";
  request.headers = {"X-First: 1", "X-Second: 2", "X-Third: 3"};
  request.postData = new mnet::PostData("a=1&b=2");
  vtest::Fetched result = fetch(request, true);
  EXPECT_EQ(0, result.code);
  EXPECT_EQ("ok", result.body);
  // With both callbacks set, only the one with headers is called.
  ASSERT_NE("(none)", result.headers);
  EXPECT_EQ(0u, result.headers.find("HTTP/1.1 200 OK\r\n"));
  EXPECT_NE(std::string::npos, result.headers.find("X-Reply: yes\r\n"));
  EXPECT_EQ(result.headers.size() - 4, result.headers.rfind("\r\n\r\n"));

  ASSERT_EQ(1u, server.requests().size());
  const std::string sent = server.requests()[0];
  EXPECT_EQ(0u, sent.find("POST /post HTTP/1.1\r\n"));
  const size_t third = sent.find("X-Third: 3"), second = sent.find("X-Second: 2"),
               first = sent.find("X-First: 1");
  ASSERT_NE(std::string::npos, first);
  EXPECT_LT(third, second);
  EXPECT_LT(second, first);
  EXPECT_NE(std::string::npos, sent.find("User-Agent: Vornask client v1.7.0\r\n"));
  EXPECT_NE(std::string::npos, sent.find("Cookie: session=abc\r\n"));
  EXPECT_NE(std::string::npos, sent.find("Accept-Encoding: gzip\r\n"));
  EXPECT_EQ("a=1&b=2", sent.substr(sent.size() - 7));
}

TEST(AsyncEngine, GzipBodyIsDecoded) {
  vtest::NginxOptions options;
  options.locationConfig = "gzip on; gzip_types text/plain; gzip_min_length 1;";
  vtest::NginxServer nginx(options);
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + " of the file list\n";
  nginx.writeFile("list.txt", text);
  mnet::Request request;
  request.url = nginx.url("/list.txt");
  vtest::Fetched result = fetch(request, true);
  EXPECT_EQ(0, result.code);
  EXPECT_NE(std::string::npos, result.headers.find("Content-Encoding: gzip"));
  EXPECT_EQ(text, result.body);
}

// Runs tasks against a slow server so that some are running and some queued when cancelled.
TEST(AsyncEngine, CancelAllEndsQueuedAndRunningTasksWith642) {
  vtest::NginxOptions options;
  options.limitRate = "50k";
  vtest::NginxServer nginx(options);
  nginx.writeRandomFile("slow.bin", 2 << 20);
  mnet::HTTPContext& context = mnet::HTTPContext::instance();

  // A cancel with nothing in the engine is consumed and does not touch later tasks.
  context.cancelAll();
  EXPECT_EQ(404, fetch(nginx.url("/none")).code);

  std::mutex mutex;
  std::map<int, std::vector<int>> codes;
  auto queue = [&](int id) {
    mnet::getData(nginx.url("/slow.bin"), "", mnet::ProgressCallback(),
                  [&, id](int code, const std::string&) {
                    std::lock_guard<std::mutex> lock(mutex);
                    codes[id].push_back(code);
                  });
  };
  for (int i = 0; i < 3; ++i) queue(i);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // running by now
  for (int i = 3; i < 6; ++i) queue(i);
  context.cancelAll();
  ASSERT_TRUE(vtest::waitFor(
      [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return codes.size() == 6;
      },
      10000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::lock_guard<std::mutex> lock(mutex);
  for (const auto& entry : codes) EXPECT_EQ(std::vector<int>{642}, entry.second) << "task " << entry.first;
}

TEST(AsyncEngine, SurvivesTenThousandTasksAndRepeatedCancels) {
  // More descriptors than select() could watch.
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 8192);
  ::setrlimit(RLIMIT_NOFILE, &limit);
  std::vector<int> ballast;
  for (int i = 0; i < 1100; ++i) ballast.push_back(::dup(0));
  vtest::NginxServer nginx;
  nginx.writeFile("tiny.txt", "tiny");
  std::atomic<int> completed{0}, cancelled{0}, succeeded{0};
  const int total = 10000, batch = 1000;
  for (int i = 0; i < total; ++i) {
    mnet::getData(nginx.url("/tiny.txt"), "", mnet::ProgressCallback(),
                  [&](int code, const std::string& body) {
                    ++completed;
                    if (code == 642) ++cancelled;
                    if (code == 0 && body == "tiny") ++succeeded;
                  });
    if (i % batch != batch - 1) continue;
    // Every other batch is cancelled while queued or running; the others run to the end.
    if ((i / batch) % 2 == 0) {
      mnet::cancelAll();
      mnet::cancelAll();
    }
    // Watchdog: every task completes exactly once.
    ASSERT_TRUE(vtest::waitFor([&] { return completed.load() == i + 1; }, 60000)) << completed.load();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(total, completed.load());
  EXPECT_GT(cancelled.load(), 0);
  EXPECT_GT(succeeded.load(), 0);
  for (int fd : ballast) ::close(fd);
  // The engine still works afterwards.
  vtest::Fetched after = fetch(nginx.url("/tiny.txt"));
  EXPECT_EQ(0, after.code);
  EXPECT_EQ("tiny", after.body);
}

}  // namespace

namespace {

// Child mode: queue slow transfers, then leave the process while they run.
void exitDuringTransfers(const std::string& url) {
  for (int i = 0; i < 4; ++i)
    mnet::getData(url, "", mnet::ProgressCallback(), [](int code, const std::string&) {
      std::printf("finished %d\n", code);
      std::fflush(stdout);
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::exit(0);
}

TEST(AsyncEngineExit, ProcessExitStopsTheEngineWithoutFinishingTasks) {
  if (const char* url = std::getenv("VORNASK_EXIT_CHILD_URL")) exitDuringTransfers(url);
  vtest::NginxOptions options;
  options.limitRate = "20k";
  vtest::NginxServer nginx(options);
  nginx.writeRandomFile("slow.bin", 1 << 20);
  const std::filesystem::path dir = vtest::makeTempDir("exit");
  const std::string out = (dir / "out.txt").string();
  const std::string url = nginx.url("/slow.bin");
  const auto started = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("VORNASK_EXIT_CHILD_URL", url.c_str(), 1);
    if (!std::freopen(out.c_str(), "w", stdout)) ::_exit(126);
    ::execl("/proc/self/exe", "test_net", "--gtest_filter=AsyncEngineExit.*", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_TRUE(vtest::waitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 20000));
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(std::string::npos, vtest::readWholeFile(out).find("finished"));
  std::filesystem::remove_all(dir);
}

}  // namespace

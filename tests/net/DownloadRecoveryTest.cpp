#include "net/Chunk.h"
#include "net/Download.h"
#include "tests/common/NginxServer.h"
#include "tests/common/Sandbox.h"
#include "tests/common/WaitFor.h"
#include "tests/net/NetTestSupport.h"
#include "tests/net/RawServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

namespace fs = std::filesystem;

using End = vtest::Outcome;
using Recorder = vtest::Ends;

End run(const std::string& url, const fs::path& target, std::int64_t expected) {
  return vtest::download(url, target.string(), expected);
}

// First byte of the "Range: bytes=a-b" header, or -1.
long long rangeStart(const std::string& request) {
  const size_t at = request.find("Range: bytes=");
  return at == std::string::npos ? -1 : std::stoll(request.substr(at + 13));
}

std::string partial(const std::string& content, long long start, long long end, const std::string& body) {
  return "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nContent-Range: bytes " + std::to_string(start) + "-" + std::to_string(end) + "/" +
         std::to_string(content.size()) + "\r\n\r\n" + body;
}

// Serves `content` with HEAD and ranged GETs.
std::string serveRange(const std::string& content, const std::string& request) {
  if (request.compare(0, 5, "HEAD ") == 0)
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(content.size()) + "\r\n\r\n";
  const long long start = rangeStart(request);
  const long long end = std::stoll(request.substr(request.find('-', request.find("bytes=")) + 1));
  return partial(content, start, end, content.substr(start, end - start + 1));
}

class DownloadRecovery : public vtest::Sandbox {};

TEST_F(DownloadRecovery, AFailingRangeIsAskedAFewTimesThenTheRunFailsWithItsStatus) {
  // Five ranges; the second always fails. The good 206 answers cost nothing; the failing
  // range is asked once and retried as often as the policy allows.
  const std::string content = vtest::randomBytes((1 << 20) + 5, 7);
  const long long failing = 209717;
  vtest::RawServer server([&](const std::string& request) {
    if (rangeStart(request) == failing) return std::string("HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n");
    return serveRange(content, request);
  });
  End end = run(server.url("/f.bin"), path("f.tmp"), 0);
  EXPECT_EQ(mnet::DownloadAction::Failed, end.action);
  EXPECT_EQ(500, end.status);
  int failures = 0;
  for (const std::string& request : server.requests()) failures += rangeStart(request) == failing;
  EXPECT_EQ(1 + vtest::fastRetryPolicy().maxRetries, failures);
}

TEST_F(DownloadRecovery, ACutTransferIsTakenOverByANewWorkerInTheSameRun) {
  // The only transfer breaks off; its replacement, added in the same pass, still runs.
  const std::string content = vtest::randomBytes(1000, 5);
  std::atomic<int> gets{0};
  vtest::RawServer server([&](const std::string& request) {
    if (request.compare(0, 4, "GET ") == 0 && gets++ == 0)
      return "HTTP/1.1 206 Partial Content\r\nContent-Length: 1000\r\nContent-Range: bytes "
             "0-999/1000\r\n\r\n" +
             content.substr(0, 10);
    return serveRange(content, request);
  });
  End end = run(server.url("/f.bin"), path("f.tmp"), 1000);
  EXPECT_EQ(mnet::DownloadAction::Finished, end.action);
  EXPECT_EQ(content, readFile("f.tmp"));
  EXPECT_EQ(10, rangeStart(server.requests().back()));
}

TEST_F(DownloadRecovery, HostileLengthsAndContentRangesWriteAndReserveNothing) {
  // A claimed length far beyond the expected one, and ranges that are negative or overflow.
  const long long claimed = 64ll << 20;
  std::atomic<int> gets{0};
  vtest::RawServer server([&](const std::string& request) {
    if (request.compare(0, 5, "HEAD ") == 0)
      return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(claimed) + "\r\n\r\n";
    const std::string range = gets++ % 2 ? "-5-10/" + std::to_string(claimed)
                                         : "99999999999999999999999-1/" + std::to_string(claimed);
    return "HTTP/1.1 206 Partial Content\r\nContent-Length: 4\r\nContent-Range: bytes " + range +
           "\r\n\r\nevil";
  });
  End end = run(server.url("/f.bin"), path("f.tmp"), 1000);
  EXPECT_EQ(mnet::DownloadAction::Failed, end.action);
  EXPECT_EQ(600 + CURLE_WRITE_ERROR, end.status);  // answers refused unread
  struct stat target {};
  ASSERT_EQ(0, ::stat(path("f.tmp").c_str(), &target));
  EXPECT_EQ(0, target.st_size);
  EXPECT_LT(target.st_blocks * 512, 1 << 20);
}

TEST_F(DownloadRecovery, ResumeFileForAnotherLengthIsIgnored) {
  vtest::NginxServer nginx;
  const std::string content = vtest::randomBytes(400, 2);
  nginx.writeFile("f.bin", content);
  writeFile("f.tmp", std::string(300, 'x'));
  mnet::ChunkList chunks;
  mnet::insertChunk(chunks, 100, 200);
  writeFile("f.tmp.meta", mnet::resumeRecords(chunks, 300));
  {
    Recorder unused;
    mnet::Download download(nginx.url("/f.bin"), path("f.tmp").string(), 400, unused.callback());
    EXPECT_EQ(0, download.progress().downloaded);
    EXPECT_EQ(400, download.progress().total);
  }
  EXPECT_EQ(mnet::DownloadAction::Finished, run(nginx.url("/f.bin"), path("f.tmp"), 400).action);
  EXPECT_EQ(content, readFile("f.tmp"));
}

TEST_F(DownloadRecovery, DestroyingWhileTheProbeWaitsStopsTheRun) {
  // A listener that never accepts: the connection is made but no answer ever comes.
  const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(0, ::bind(silent, reinterpret_cast<sockaddr*>(&addr), len));
  ASSERT_EQ(0, ::listen(silent, 4));
  ::getsockname(silent, reinterpret_cast<sockaddr*>(&addr), &len);
  const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/f.bin";

  Recorder recorder;
  std::atomic<bool> destroyed{false};
  std::thread owner([&] {
    std::unique_ptr<mnet::Download> download(
        new mnet::Download(url, path("f.tmp").string(), 1000, recorder.callback()));
    download->start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    download.reset();
    destroyed = true;
  });
  const bool returned = vtest::waitFor([&] { return destroyed.load(); }, 10000);
  // Closing the listener resets the connection, so a stuck probe ends too.
  ::close(silent);
  owner.join();
  EXPECT_TRUE(returned);
  End end = recorder.wait();
  EXPECT_EQ(mnet::DownloadAction::Stopped, end.action);
  EXPECT_EQ(200, end.status);
}

}  // namespace

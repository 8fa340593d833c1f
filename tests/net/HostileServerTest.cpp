// Downloads and list fetches against servers that cut, stall, trickle and lie: each ends with
// the exact file or the designed failure, and always ends.
#include "net/Download.h"
#include "net/HTTPContext.h"
#include "tests/common/HostileServer.h"
#include "tests/common/NginxServer.h"
#include "tests/common/Sandbox.h"
#include "tests/net/NetTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <map>
#include <mutex>

namespace {

using vtest::Exchange;
using vtest::HostileServer;

// Counts the answers given per range start.
class Attempts {
 public:
  // 1 for the first request of the range starting at `first`, then 2, ...
  int next(std::int64_t first) {
    std::lock_guard<std::mutex> lock(mutex_);
    return ++counts_[first];
  }

 private:
  std::mutex mutex_;
  std::map<std::int64_t, int> counts_;
};

class HostileDownload : public vtest::Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    mnet::HTTPContext::instance().setStallTimeout(2);
  }
  void TearDown() override {
    mnet::HTTPContext::instance().setStallTimeout(30);
    Sandbox::TearDown();
  }

  vtest::Outcome get(const HostileServer& server, std::int64_t expected) {
    return vtest::download(server.url("/f.bin"), path("f.tmp").string(), expected);
  }
  std::int64_t targetSize() {
    struct stat target {};
    return ::stat(path("f.tmp").c_str(), &target) == 0 ? target.st_size : -1;
  }

  // Five ranges at the start.
  const std::string content_ = vtest::randomBytes((2 << 20) + 17, 11);
  const std::int64_t size_ = static_cast<std::int64_t>(content_.size());
};

TEST_F(HostileDownload, CutConnectionsAndWrongRangesAreRetriedIntoTheExactFile) {
  Attempts attempts;
  HostileServer server([&](Exchange& x) {
    std::int64_t first = 0, last = 0;
    if (!x.range(first, last)) return HostileServer::serveFile(x, content_);
    switch (attempts.next(first)) {
      case 1: {  // cut mid-body
        const std::string whole = HostileServer::partial(content_, first, last);
        x.send(whole.substr(0, whole.size() - (last - first) / 2));
        return x.reset();
      }
      case 2:  // the range of other bytes
        return x.send(HostileServer::partial(content_, first + 7, last));
      case 3:  // a range of a file of another length
        return x.send(HostileServer::partial(content_, first, last, size_ + 1));
      default:
        return HostileServer::serveFile(x, content_);
    }
  });
  const vtest::Outcome end = get(server, size_);
  EXPECT_EQ(mnet::DownloadAction::Finished, end.action);
  EXPECT_EQ(content_, readFile("f.tmp"));
}

TEST_F(HostileDownload, ServersThatAlwaysLieEndInFailureWithNothingWritten) {
  // Every range is answered for the wrong offset, or as a 500 error page.
  HostileServer server([&](Exchange& x) {
    std::int64_t first = 0, last = 0;
    if (!x.range(first, last)) return HostileServer::serveFile(x, content_);
    if (x.serial() % 2) return x.send(HostileServer::answer(500, std::string(4000, 'E')));
    x.send(HostileServer::partial(content_, first + 1, last));
  });
  const vtest::Outcome end = get(server, size_);
  EXPECT_EQ(mnet::DownloadAction::Failed, end.action);
  EXPECT_TRUE(end.status == 500 || end.status == 600 + CURLE_WRITE_ERROR) << end.status;
  EXPECT_EQ(0, targetSize());

  // A failing probe, or a redirect to a port where nobody listens, fails after its retries.
  const std::string dead = "http://127.0.0.1:" + std::to_string(vtest::refusedPort()) + "/f.bin";
  HostileServer redirecting([&](Exchange& x) {
    if (x.method() == "HEAD" && x.serial() == 0) return x.send(HostileServer::answer(500, ""));
    x.send(HostileServer::answer(302, "", "Location: " + dead + "\r\n"));
  });
  for (int i = 0; i < 2; ++i) {
    const vtest::Outcome failed = vtest::download(redirecting.url("/f.bin"), path("g.tmp").string(), size_);
    EXPECT_EQ(1, failed.runs);
    EXPECT_EQ(mnet::DownloadAction::Failed, failed.action);
    EXPECT_EQ(600 + CURLE_COULDNT_CONNECT, failed.status);
  }
}

TEST_F(HostileDownload, ARedirectToADeadPortMidRunKeepsTheRangesForTheNextRun) {
  const std::string dead = "http://127.0.0.1:" + std::to_string(vtest::refusedPort()) + "/f.bin";
  std::atomic<bool> healthy{false};
  HostileServer server([&](Exchange& x) {
    // Past the first probe, every request is sent on to the dead port.
    if (!healthy && x.serial() > 0)
      return x.send(HostileServer::answer(302, "", "Location: " + dead + "\r\n"));
    HostileServer::serveFile(x, content_);
  });
  const vtest::Outcome failed = get(server, size_);
  EXPECT_EQ(mnet::DownloadAction::Failed, failed.action);
  EXPECT_EQ(600 + CURLE_COULDNT_CONNECT, failed.status);
  healthy = true;
  const int probes = server.count("HEAD ");
  EXPECT_EQ(mnet::DownloadAction::Finished, get(server, size_).action);
  EXPECT_EQ(content_, readFile("f.tmp"));
  EXPECT_EQ(probes, server.count("HEAD "));  // the second run resumed without a probe
}

TEST_F(HostileDownload, StalledTransfersAreGivenUpAndRetried) {
  // The first answer for the range at 0 stops after its headers.
  Attempts attempts;
  HostileServer server([&](Exchange& x) {
    std::int64_t first = 0, last = 0;
    if (x.range(first, last) && first == 0 && attempts.next(first) == 1) {
      const std::string whole = HostileServer::partial(content_, first, last);
      x.send(whole.substr(0, whole.size() - (last - first + 1)));
      return x.stall(60000);
    }
    HostileServer::serveFile(x, content_);
  });
  EXPECT_EQ(mnet::DownloadAction::Finished, get(server, size_).action);
  EXPECT_EQ(content_, readFile("f.tmp"));

  // A probe that never gets its answer, and a list whose body stops coming.
  HostileServer silent([&](Exchange& x) {
    if (x.method() == "GET") x.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
    x.stall(60000);
  });
  const vtest::Outcome probe = vtest::download(silent.url("/f.bin"), path("g.tmp").string(), size_);
  EXPECT_EQ(1, probe.runs);
  EXPECT_EQ(mnet::DownloadAction::Failed, probe.action);
  const vtest::Fetched list = vtest::fetch(silent.url("/crc.txt"));
  EXPECT_EQ(628, list.code);
  EXPECT_EQ("", list.body);
}

TEST_F(HostileDownload, ASlowTrickleArrivesWhole) {
  const std::string small = content_.substr(0, 300000);  // one range
  HostileServer server([&](Exchange& x) {
    std::int64_t first = 0, last = 0;
    if (!x.range(first, last)) return HostileServer::serveFile(x, small);
    x.trickle(HostileServer::partial(small, first, last), 4096, 5);
  });
  EXPECT_EQ(mnet::DownloadAction::Finished, get(server, 300000).action);
  EXPECT_EQ(small, readFile("f.tmp"));
  const vtest::Fetched list = vtest::fetch(server.url("/crc.txt"));
  EXPECT_EQ(0, list.code);
  EXPECT_EQ(small, list.body);
}

TEST_F(HostileDownload, ATrickleIsDroppedLikeAFailedTransfer) {
  // The first five ranges, and every list, come at 100 bytes a second.
  HostileServer server([&](Exchange& x) {
    std::int64_t first = 0, last = 0;
    if (x.path() == "/crc.txt")
      return x.trickle(HostileServer::answer(200, std::string(2000, 'L')), 100, 1000);
    if (x.range(first, last) && x.serial() <= 5)
      return x.trickle(HostileServer::partial(content_, first, last), 100, 1000);
    HostileServer::serveFile(x, content_);
  });
  EXPECT_EQ(mnet::DownloadAction::Finished, get(server, size_).action);
  EXPECT_EQ(content_, readFile("f.tmp"));
  EXPECT_EQ(628, vtest::fetch(server.url("/crc.txt")).code);

  // A server that trickles every range: its few bytes do not end the row, so the retries run out.
  HostileServer endless([&](Exchange& x) {
    std::int64_t first = 0, last = 0;
    if (!x.range(first, last)) return HostileServer::serveFile(x, content_);
    x.trickle(HostileServer::partial(content_, first, last), 100, 1000);
  });
  const vtest::Outcome trickled = vtest::download(endless.url("/f.bin"), path("g.tmp").string(), size_);
  EXPECT_EQ(mnet::DownloadAction::Failed, trickled.action);
  EXPECT_EQ(628, trickled.status);
}

TEST_F(HostileDownload, AFileLongerThanExpectedIsNeverWrittenPastTheExpectedLength) {
  // 4 MiB on the server where the caller expects 3 MiB, served with ranges and without.
  const std::string longer = vtest::randomBytes(4 << 20, 13);
  const std::int64_t expected = 3 << 20;
  const struct {
    const char* name;
    bool ranges;
  } cases[] = {{"ranges", true}, {"whole", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HostileServer server([&](Exchange& x) {
      if (!c.ranges && x.method() == "GET") return x.send(HostileServer::answer(200, longer));
      HostileServer::serveFile(x, longer);
    });
    const std::string target = path(std::string(c.name) + ".tmp").string();
    EXPECT_EQ(mnet::DownloadAction::Finished, vtest::download(server.url("/f.bin"), target, expected).action);
    EXPECT_TRUE(longer.substr(0, expected) == readFile(std::string(c.name) + ".tmp"));
  }
  // A body gathered in memory stops at its caller's bound.
  HostileServer list([&](Exchange& x) { x.send(HostileServer::answer(200, longer)); });
  mnet::Request request;
  request.url = list.url("/crc.txt");
  request.maxBodySize = 1000;
  EXPECT_EQ(623, vtest::fetch(request).code);
}

TEST_F(HostileDownload, BurstsOfServerErrorsAreRiddenOut) {
  // The first eight answers to ranges are error pages; the pages never reach the file. The
  // run backs off as a whole: one range at a time until answers deliver bytes again.
  HostileServer server([&](Exchange& x) {
    std::int64_t first = 0, last = 0;
    if (x.range(first, last) && x.serial() <= 8)
      return x.send(HostileServer::answer(500, "<html>busy</html>"));
    HostileServer::serveFile(x, content_);
  });
  EXPECT_EQ(mnet::DownloadAction::Finished, get(server, size_).action);
  EXPECT_EQ(content_, readFile("f.tmp"));
  EXPECT_LE(server.count("GET "), 8 + 5);
}

TEST_F(HostileDownload, EndlessBodiesAreCutAtTheRangeOrTheCap) {
  // Ranges answered with their bytes and then garbage without end; whole-file answers to
  // ranges that go on past the file; a list that never ends.
  HostileServer server([&](Exchange& x) {
    std::int64_t first = 0, last = 0;
    const std::string junk(65536, 'J');
    if (x.path() == "/crc.txt") {
      x.send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
      return x.endless(junk, 20000);
    }
    if (!x.range(first, last)) return HostileServer::serveFile(x, content_);
    if (x.serial() % 2) {
      const std::string ranged = HostileServer::partial(content_, first, last);
      x.send(ranged.substr(0, ranged.find("Content-Length")) + ranged.substr(ranged.find("Content-Range")));
    } else {
      x.send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + content_);
    }
    x.endless(junk, 20000);
  });
  EXPECT_EQ(mnet::DownloadAction::Finished, get(server, size_).action);
  EXPECT_EQ(content_, readFile("f.tmp"));
  const vtest::Fetched list = vtest::fetch(server.url("/crc.txt"));
  EXPECT_EQ(623, list.code);
  EXPECT_LE(list.body.size(), mnet::HTTPContext::MaxBodySize);
}

TEST_F(HostileDownload, AFileThatChangesAfterTheProbeIsNotStitchedTogether) {
  // The probe sees the old length; every range then comes from a longer new file.
  const std::string next = vtest::randomBytes(content_.size() + 100, 12);
  HostileServer server([&](Exchange& x) {
    if (x.method() == "HEAD" && x.serial() == 0) return HostileServer::serveFile(x, content_);
    HostileServer::serveFile(x, next);
  });
  const vtest::Outcome changed = get(server, size_);
  EXPECT_EQ(mnet::DownloadAction::Failed, changed.action);
  EXPECT_EQ(0, targetSize());
  // The next attempt, for the new list's length, fetches the new file.
  EXPECT_EQ(mnet::DownloadAction::Finished, get(server, static_cast<std::int64_t>(next.size())).action);
  EXPECT_EQ(next, readFile("f.tmp"));
}

}  // namespace

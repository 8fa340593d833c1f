// The built client updating from servers that cut, lie and change their files under it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

#include "tests/common/HostileServer.h"
#include "tests/updater/ClientEndToEnd.h"
#include "tests/updater/InstallFolder.h"

namespace fs = std::filesystem;
using vtest::Exchange;
using vtest::HostileServer;
using vtest::listLine;

namespace {

using vtest::timeoutMs;

// The client against a scripted server in place of nginx.
class HostileUpdate : public vtest::ClientEndToEnd {
 protected:
  std::unique_ptr<vtest::ChildProcess> run(const HostileServer& server) {
    webHost_ = server.host();
    return ClientEndToEnd::run();
  }

  vtest::FileSite site_;
};

class Attempts {
 public:
  int next(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return ++counts_[key];
  }

 private:
  std::mutex mutex_;
  std::map<std::string, int> counts_;
};

}  // namespace

TEST_F(HostileUpdate, CutAndLyingAnswersStillInstallTheExactFiles) {
  const std::string big = vtest::randomBytes((2 << 20) + 3, 21);
  const std::string small = "small file\n";
  site_.put("/data/big.bin", big);
  site_.put("/small.txt", small);
  site_.put("/library/crc.txt", listLine("data/big.bin", big) + listLine("small.txt", small));
  // Every range is first cut off, then answered for other bytes, then with an error page.
  Attempts attempts;
  site_.setOverride([&](Exchange& x) {
    std::int64_t first = 0, last = 0;
    if (x.path() != "/data/big.bin" || !x.range(first, last)) return false;
    switch (attempts.next(std::to_string(first))) {
      case 1: {
        const std::string whole = HostileServer::partial(big, first, last);
        x.send(whole.substr(0, whole.size() - (last - first) / 3));
        x.reset();
        return true;
      }
      case 2:
        x.send(HostileServer::partial(big, first + 1, last));
        return true;
      case 3:
        x.send(HostileServer::answer(500, std::string(last - first + 1, 'E')));
        return true;
      default:
        return false;
    }
  });
  HostileServer server(site_.script());
  auto c = run(server);
  ASSERT_TRUE(installAll(*c)) << c->errorOutput();
  EXPECT_EQ(big, installed("data/big.bin"));
  EXPECT_EQ(small, installed("small.txt"));
  EXPECT_TRUE(fs::is_empty(install_ / "download"));
  EXPECT_EQ("", c->last("error"));
  closeClient(*c);
}

TEST_F(HostileUpdate, FilesThatChangeAfterTheListAreNeverInstalled) {
  // The list names the old files; by the time they are fetched the server has new ones, one
  // longer than listed and one of the same length. The first fails its check twice (never
  // written past its listed length) and ends the update.
  const std::string oldLong = vtest::randomBytes(1500000, 1), newLong = vtest::randomBytes(1600000, 2);
  const std::string oldSame = "version one\n", newSame = "version two\n";
  site_.put("/library/crc.txt", listLine("long.bin", oldLong) + listLine("same.txt", oldSame));
  site_.put("/long.bin", newLong);
  site_.put("/same.txt", newSame);
  HostileServer server(site_.script());
  auto c = run(server);
  ASSERT_TRUE(press(*c));
  ASSERT_TRUE(c->waitForLine("error: Файл повреждён: long.bin", timeoutMs)) << c->errorOutput();
  EXPECT_FALSE(fs::exists(install_ / "long.bin"));
  EXPECT_FALSE(fs::exists(install_ / "same.txt"));
  EXPECT_EQ(2, server.count("HEAD /long.bin"));
  closeClient(*c);
}

TEST_F(HostileUpdate, AProbeAnsweredBusyIsRetriedAfterItsWaitAndInstalls) {
  const std::string content = vtest::randomBytes(70000, 4);
  site_.put("/a.bin", content);
  site_.put("/library/crc.txt", listLine("a.bin", content));
  Attempts attempts;
  site_.setOverride([&](Exchange& x) {
    if (x.method() != "HEAD" || attempts.next("head") > 1) return false;
    x.send(HostileServer::answer(503, "busy", "Retry-After: 1\r\n"));
    return true;
  });
  HostileServer server(site_.script());
  auto c = run(server);
  ASSERT_TRUE(installAll(*c)) << c->errorOutput();
  EXPECT_EQ(content, installed("a.bin"));
  EXPECT_EQ(2, server.count("HEAD /a.bin"));
  for (const auto& l : c->lines()) EXPECT_NE(0u, l.rfind("error: Ошибка", 0)) << l;
  closeClient(*c);
}

TEST_F(HostileUpdate, ClosingDuringADownloadEndsAtOnceAndKeepsTheResumeFileTrue) {
  // Five ranges trickling in; the window is closed while they run.
  const std::string big = vtest::randomBytes(4 << 20, 8);
  site_.put("/big.bin", big);
  site_.put("/library/crc.txt", listLine("big.bin", big));
  site_.setOverride([&](Exchange& x) {
    std::int64_t first = 0, last = 0;
    if (!x.range(first, last)) return false;
    x.trickle(HostileServer::partial(big, first, last), 8192, 100);
    return true;
  });
  HostileServer server(site_.script());
  auto c = run(server);
  ASSERT_TRUE(press(*c));
  ASSERT_TRUE(downloading(*c));
  const auto closed = std::chrono::steady_clock::now();
  c->send("close\n");
  EXPECT_EQ(0, c->wait(timeoutMs));
  // Closing mid-download ends the client within two seconds, a bound far above its real time.
  EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(2));

  // The resume file names pending ranges in order up to the length; every byte outside them is
  // the server's.
  fs::path meta;
  for (const auto& f : fs::directory_iterator(install_ / "download"))
    if (f.path().extension() == ".meta") meta = f.path();
  ASSERT_FALSE(meta.empty());
  const std::string records = vtest::readWholeFile(meta);
  const std::string target = vtest::readWholeFile(meta.parent_path() / meta.stem());
  ASSERT_EQ(0u, records.size() % 16);
  ASSERT_GT(records.size(), 0u);
  auto field = [&](size_t at) {
    std::int64_t value = 0;
    std::memcpy(&value, records.data() + at, 8);
    return value;
  };
  std::int64_t written = 0, previousEnd = 0;
  for (size_t at = 0; at < records.size(); at += 16) {
    const std::int64_t start = field(at), end = field(at + 8);
    ASSERT_LE(previousEnd, start);
    ASSERT_LE(start, end);
    // Bytes claimed written lie in the file; a range nothing was written before may lie past its end.
    if (start > previousEnd) {
      ASSERT_LE(start, static_cast<std::int64_t>(target.size()));
      EXPECT_EQ(big.substr(previousEnd, start - previousEnd),
                target.substr(previousEnd, start - previousEnd));
    }
    written += start - previousEnd;
    previousEnd = end;
  }
  EXPECT_EQ(static_cast<std::int64_t>(big.size()), previousEnd);
  EXPECT_GT(written, 0);
  EXPECT_LT(written, static_cast<std::int64_t>(big.size()));
}

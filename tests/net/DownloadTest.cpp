#include "net/Chunk.h"
#include "net/Download.h"
#include "tests/common/NginxServer.h"
#include "tests/common/Sandbox.h"
#include "tests/common/WaitFor.h"
#include "tests/net/NetTestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace {

namespace fs = std::filesystem;

using vtest::Ends;
using vtest::Outcome;

Outcome download(const std::string& url, const fs::path& target, std::int64_t expected = 0) {
  return vtest::download(url, target.string(), expected);
}

std::vector<std::string> rangeRequests(const vtest::NginxServer& nginx) {
  std::vector<std::string> ranges;
  for (const std::string& line : nginx.accessLog(1))
    if (line.compare(0, 4, "GET ") == 0) ranges.push_back(line.substr(line.find('[')));
  std::sort(ranges.begin(), ranges.end());
  return ranges;
}

std::string records(std::initializer_list<std::pair<std::int64_t, std::int64_t>> list) {
  std::string bytes;
  for (const auto& r : list) {
    mnet::ChunkList one;
    mnet::insertChunk(one, r.first, r.second);
    bytes += mnet::resumeRecords(one, r.second);
  }
  return bytes;
}

class SegmentedDownload : public vtest::Sandbox {};

TEST_F(SegmentedDownload, ThreeMiBIsFetchedAsFiveRanges) {
  vtest::NginxServer nginx;
  const fs::path source = nginx.writeRandomFile("game/data.bin", 3 << 20);
  const fs::path target = path("download/data.tmp");
  Outcome end = download(nginx.url("/game/data.bin"), target, 3 << 20);
  EXPECT_EQ(mnet::DownloadAction::Finished, end.action);
  EXPECT_EQ(200, end.status);
  EXPECT_EQ(vtest::readWholeFile(source), vtest::readWholeFile(target));
  EXPECT_EQ(0u, fs::file_size(target.string() + ".meta"));
  EXPECT_EQ(
      (std::vector<std::string>{"[bytes=0-629145]", "[bytes=1258292-1887437]", "[bytes=1887438-2516582]",
                                "[bytes=2516583-3145727]", "[bytes=629146-1258291]"}),
      rangeRequests(nginx));
}

TEST_F(SegmentedDownload, SmallFileUsesOneWorker) {
  vtest::NginxServer nginx;
  const fs::path source = nginx.writeRandomFile("small.bin", 1 << 20);
  const fs::path target = path("small.tmp");
  EXPECT_EQ(mnet::DownloadAction::Finished, download(nginx.url("/small.bin"), target).action);
  EXPECT_EQ(vtest::readWholeFile(source), vtest::readWholeFile(target));
  EXPECT_EQ((std::vector<std::string>{"[bytes=0-1048575]"}), rangeRequests(nginx));
}

TEST_F(SegmentedDownload, ResumeFileLimitsTheRunToTheMissingRange) {
  vtest::NginxServer nginx;
  const std::string content = vtest::randomBytes(300, 9);
  nginx.writeFile("part.bin", content);
  std::string partial = content;
  std::fill(partial.begin() + 100, partial.begin() + 200, '\0');
  writeFile("part.tmp", partial);
  writeFile("part.tmp.meta", records({{100, 200}, {300, 300}}) + "junk");
  Ends ends;
  mnet::Download dl(nginx.url("/part.bin"), path("part.tmp").string(), 0, ends.callback());
  EXPECT_EQ(200, dl.progress().downloaded);
  EXPECT_EQ(300, dl.progress().total);
  dl.start();
  EXPECT_EQ(mnet::DownloadAction::Finished, ends.wait().action);
  EXPECT_EQ(content, readFile("part.tmp"));
  EXPECT_EQ((std::vector<std::string>{"GET /part.bin 206 [bytes=100-199]"}), nginx.accessLog(1));
}

TEST_F(SegmentedDownload, ResumeFileWithoutItsBytesInTheTargetStartsOver) {
  vtest::NginxServer nginx;
  const std::string content = vtest::randomBytes(300, 4);
  nginx.writeFile("p.bin", content);
  writeFile("p.tmp", content.substr(0, 50));
  writeFile("p.tmp.meta", records({{100, 200}, {300, 300}}));
  EXPECT_EQ(mnet::DownloadAction::Finished, download(nginx.url("/p.bin"), path("p.tmp")).action);
  EXPECT_EQ(content, readFile("p.tmp"));
  EXPECT_EQ((std::vector<std::string>{"HEAD /p.bin 200 [-]", "GET /p.bin 206 [bytes=0-299]"}),
            nginx.accessLog(2));
}

TEST_F(SegmentedDownload, MalformedOrEmptyResumeFileStartsOver) {
  vtest::NginxServer nginx;
  const fs::path source = nginx.writeRandomFile("f.bin", 5000);
  for (const std::string& meta : {records({{0, 3000}, {1000, 5000}}), records({{400, 100}, {5000, 5000}}),
                                  records({{-10, 100}, {5000, 5000}}), std::string()}) {
    writeFile("f.tmp", std::string(5000, 'x'));
    writeFile("f.tmp.meta", meta);
    EXPECT_EQ(mnet::DownloadAction::Finished, download(nginx.url("/f.bin"), path("f.tmp")).action);
    EXPECT_EQ(vtest::readWholeFile(source), readFile("f.tmp"));
  }
}

TEST_F(SegmentedDownload, NotFoundFailsWith404) {
  vtest::NginxServer nginx;
  const struct {
    const char* name;
    std::string url;
    std::string meta;  // left by an earlier run; the run then skips the probe
    int status;
  } cases[] = {
      {"missing file", nginx.url("/missing.bin"), "", 404},
      {"missing file, resumed", nginx.url("/missing.bin"), records({{100, 200}, {300, 300}}), 404},
      {"unknown host", "http://no-such-host.invalid/x", "", 600 + CURLE_COULDNT_RESOLVE_HOST},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(path("m.tmp"));
    fs::remove(path("m.tmp.meta"));
    if (!c.meta.empty()) {
      writeFile("m.tmp", std::string(300, 'x'));
      writeFile("m.tmp.meta", c.meta);
    }
    Outcome end = download(c.url, path("m.tmp"));
    EXPECT_EQ(mnet::DownloadAction::Failed, end.action);
    EXPECT_EQ(c.status, end.status);
    EXPECT_EQ(!c.meta.empty(), fs::exists(path("m.tmp")));
  }
}

TEST_F(SegmentedDownload, DestroyingARunningDownloadStopsItAndTheNextOneResumes) {
  vtest::NginxOptions options;
  options.limitRate = "200k";
  vtest::NginxServer nginx(options);
  const fs::path source = nginx.writeRandomFile("slow.bin", 3 << 20);
  const fs::path target = path("slow.tmp");
  Ends ends;
  {
    mnet::Download dl(nginx.url("/slow.bin"), target.string(), 0, ends.callback());
    dl.start();
    ASSERT_TRUE(vtest::waitFor([&] { return dl.progress().downloaded > 500000; }, 20000));
  }
  Outcome stopped = ends.current();
  EXPECT_EQ(1, stopped.runs);
  EXPECT_EQ(mnet::DownloadAction::Stopped, stopped.action);
  EXPECT_EQ(200, stopped.status);
  EXPECT_GT(fs::file_size(target.string() + ".meta"), 0u);

  mnet::Download again(nginx.url("/slow.bin"), target.string(), 0, ends.callback());
  EXPECT_GT(again.progress().downloaded, 400000);
  again.start();
  EXPECT_EQ(mnet::DownloadAction::Finished, ends.wait(2).action);
  EXPECT_EQ(vtest::readWholeFile(source), vtest::readWholeFile(target));
}

TEST_F(SegmentedDownload, ServerIgnoringRangesStillGivesTheExactFile) {
  vtest::NginxOptions options;
  options.maxRanges = "0";
  vtest::NginxServer nginx(options);
  const fs::path source = nginx.writeRandomFile("whole.bin", 3 << 20);
  const fs::path target = path("whole.tmp");
  EXPECT_EQ(mnet::DownloadAction::Finished, download(nginx.url("/whole.bin"), target).action);
  EXPECT_EQ(vtest::readWholeFile(source), vtest::readWholeFile(target));
  for (const std::string& line : nginx.accessLog()) EXPECT_EQ(std::string::npos, line.find(" 206 "));
}

TEST_F(SegmentedDownload, ErrorAnswersAreNeverWrittenAndTheRangesResumeLater) {
  vtest::NginxOptions failing;
  failing.root = path("www");
  failing.locationConfig = "if ($http_range ~ \"^bytes=(629146|1887438)-\") { return 500; }";
  vtest::NginxServer broken(failing);
  const fs::path source = broken.writeRandomFile("f.bin", 3 << 20);
  const fs::path target = path("f.tmp");
  Outcome first = download(broken.url("/f.bin"), target);
  EXPECT_EQ(mnet::DownloadAction::Failed, first.action);
  EXPECT_EQ(500, first.status);
  const std::string partial = vtest::readWholeFile(target);
  EXPECT_EQ(std::string::npos, partial.find("Internal Server Error"));
  const std::string expected = vtest::readWholeFile(source);
  EXPECT_EQ(expected.substr(0, 629146), partial.substr(0, 629146));

  vtest::NginxOptions healthy;
  healthy.root = path("www");
  vtest::NginxServer fixed(healthy);
  EXPECT_EQ(mnet::DownloadAction::Finished, download(fixed.url("/f.bin"), target).action);
  EXPECT_EQ(expected, vtest::readWholeFile(target));
  for (const std::string& line : fixed.accessLog()) EXPECT_EQ(std::string::npos, line.find("bytes=0-"));
}

pid_t spawnFetch(const std::string& url, const fs::path& target, const fs::path& output) {
  const std::string tool = (vtest::buildDir() / "tools" / "vornaskctl").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    FILE* out = std::freopen(output.c_str(), "w", stdout);
    (void)out;
    ::execl(tool.c_str(), tool.c_str(), "fetch", url.c_str(), target.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

TEST_F(SegmentedDownload, KilledProcessesResumeToTheExactFile) {
  const fs::path tool = vtest::buildDir() / "tools" / "vornaskctl";
  if (!fs::exists(tool)) GTEST_SKIP() << "vornaskctl not built at " << tool;
  vtest::NginxOptions options;
  options.limitRate = "300k";
  vtest::NginxServer nginx(options);
  const fs::path source = nginx.writeRandomFile("k.bin", 4 << 20);
  const fs::path target = path("k.tmp");
  const std::string url = nginx.url("/k.bin");
  const std::string meta = target.string() + ".meta";
  // A run has begun, its target open and its handler for Ctrl-C in place, once it wrote its resume file.
  const auto metaTime = [&] {
    std::error_code ignored;
    return fs::last_write_time(meta, ignored);
  };
  const auto spawnRun = [&] {
    const fs::file_time_type before = metaTime();
    const pid_t child = spawnFetch(url, target, path("out.txt"));
    EXPECT_TRUE(vtest::waitFor([&] { return metaTime() != before; }, 60000)) << readFile("out.txt");
    return child;
  };
  std::uintmax_t lastMeta = 0;
  for (int round = 0; round < 4; ++round) {
    const pid_t child = spawnRun();
    ASSERT_GT(child, 0);
    // Each run is killed at another point of its transfers.
    std::this_thread::sleep_for(std::chrono::milliseconds(400 + 170 * round));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_LT(fs::file_size(target), 4u << 20) << "finished before the kill";
    lastMeta = fs::exists(meta) ? fs::file_size(meta) : 0;
  }
  EXPECT_GT(lastMeta, 0u);
  // Ctrl-C stops cleanly, with a resume file.
  const pid_t child = spawnRun();
  ::kill(child, SIGINT);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(std::string::npos, readFile("out.txt").find("action=Stopped status=200")) << readFile("out.txt");

  const pid_t last = spawnFetch(url, target, path("out.txt"));
  ::waitpid(last, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readFile("out.txt");
  EXPECT_NE(std::string::npos, readFile("out.txt").find("action=Finished status=200"));
  EXPECT_EQ(vtest::readWholeFile(source), vtest::readWholeFile(target));
}

}  // namespace

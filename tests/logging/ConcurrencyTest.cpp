#include "logging/CFileLogDevice.h"
#include "logging/Log.h"
#include "logging/Manager.h"
#include "tests/logging/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

class Concurrency : public vtest::LogCapture {};

std::string body(int thread, int index) {
  // Lengths on both sides of the 256-byte chunk.
  const std::size_t length = 20 + static_cast<std::size_t>((thread * 131 + index * 17) % 500);
  return std::string(length, static_cast<char>('a' + thread));
}

TEST_F(Concurrency, RecordsFromEightThreadsNeverShareALine) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(nullptr, file);
  boost::intrusive_ptr<mlog::LogDevice> device(new mlog::CFileLogDevice("file", file, mlog::Debug));
  mlog::Manager::instance().removeDevice(memory);
  mlog::Manager::instance().addDevice(0, device);

  const int threads = 8, perThread = 300;
  mlog::LogParticipant participant("concurrent");
  std::vector<std::thread> writers;
  for (int t = 0; t < threads; ++t)
    writers.emplace_back([&, t] {
      for (int i = 0; i < perThread; ++i)
        MLOG(participant, mlog::Error) << t << ':' << i << ' ' << body(t, i);
    });
  for (std::thread& writer : writers) writer.join();
  mlog::Manager::instance().removeDevice(device);

  std::rewind(file);
  std::vector<int> next(threads, 0);
  const std::regex line(R"(ERR \[\d+\] \d\d \d\d:\d\d:\d\d\.\d\d\d <concurrent> (\d+):(\d+) (.*))");
  std::string text;
  int count = 0;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    if (c != '\n') {
      text += static_cast<char>(c);
      continue;
    }
    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, line)) << text.substr(0, 120);
    const int t = std::stoi(match[1].str()), i = std::stoi(match[2].str());
    ASSERT_TRUE(t >= 0 && t < threads);
    EXPECT_EQ(next[t], i);  // each thread's records keep their order
    next[t] = i + 1;
    EXPECT_EQ(body(t, i), match[3].str());
    text.clear();
    ++count;
  }
  std::fclose(file);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(threads * perThread, count);
}

}  // namespace

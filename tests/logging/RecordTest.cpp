#include "base/Exception.h"
#include "logging/Log.h"
#include "logging/Manager.h"
#include "logging/StreamPool.h"
#include "tests/logging/LogCapture.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

namespace {

class Record : public vtest::LogCapture {};

const std::regex headerPattern(
    R"(^(EMG|ALR|CRT|ERR|WRN|NOT|INF|DBG) \[(\d+)\] (\d\d) (\d\d):(\d\d):(\d\d)\.(\d\d\d) <([^>]*)> )");

TEST_F(Record, HeaderCarriesTagThreadDayTimeAndName) {
  mlog::LogParticipant participant("nexus_utils");
  mlog::Manager::instance().setLevel("nexus_utils", 7);
  MLOG(participant, mlog::Debug) << "listening on " << 15190;
  mlog::Manager::instance().setLevel("nexus_utils", 4);

  ASSERT_EQ(1u, memory->records().size());
  const std::string record = memory->records()[0];
  std::smatch match;
  ASSERT_TRUE(std::regex_search(record, match, headerPattern)) << record;
  EXPECT_EQ("DBG", match[1].str());
  EXPECT_EQ(std::to_string(::syscall(SYS_gettid)), match[2].str());
  const int day = std::stoi(match[3].str());
  EXPECT_TRUE(day >= 1 && day <= 31);
  EXPECT_LT(std::stoi(match[4].str()), 24);
  EXPECT_LT(std::stoi(match[5].str()), 60);
  EXPECT_LT(std::stoi(match[6].str()), 61);
  EXPECT_EQ("nexus_utils", match[8].str());
  EXPECT_EQ("listening on 15190\n", record.substr(match.length(0)));
  EXPECT_EQ(std::vector<int>{7}, memory->levels());
}

TEST_F(Record, TimeFieldsAreZeroPaddedAndShowOnlyTheDay) {
  char text[16] = {};
  mlog::detail::formatTime(text, 31, 23, 59, 59, 999);
  EXPECT_EQ("31 23:59:59.999", std::string(text, 15));
  mlog::detail::formatTime(text, 7, 14, 5, 9, 42);
  EXPECT_EQ("07 14:05:09.042", std::string(text, 15));
  mlog::detail::formatTime(text, 1, 0, 0, 0, 0);
  EXPECT_EQ("01 00:00:00.000", std::string(text, 15));
}

TEST_F(Record, LongTextComesOutWholeAsOneLine) {
  mlog::LogParticipant participant("long_record");
  std::string text;
  for (int i = 0; i < 600; ++i) text += static_cast<char>('a' + i % 26);
  MLOG(participant, mlog::Error) << text.substr(0, 100) << text.substr(100);

  ASSERT_EQ(1u, memory->records().size());
  const std::string record = memory->records()[0];
  std::smatch match;
  ASSERT_TRUE(std::regex_search(record, match, headerPattern));
  EXPECT_EQ(text + "\n", record.substr(match.length(0)));
  EXPECT_EQ(record.size() - 1, record.find('\n'));
}

TEST_F(Record, LongParticipantNameKeepsTheHeaderWhole) {
  const std::string name(100, 'n');
  mlog::LogParticipant participant(name);
  MLOG(participant, mlog::Error) << "text";
  ASSERT_EQ(1u, memory->records().size());
  std::smatch match;
  const std::string record = memory->records()[0];
  ASSERT_TRUE(std::regex_search(record, match, headerPattern));
  EXPECT_EQ(name, match[8].str());
  EXPECT_EQ("text\n", record.substr(match.length(0)));
}

TEST_F(Record, FilteredRecordTakesNoStreamAndFormatsNothing) {
  mlog::LogParticipant participant("filtered");
  if (!std::getenv("VORNASK_LOG")) {
    EXPECT_EQ(4, participant.level());
  }
  mlog::Manager::instance().setLevel("filtered", 4);
  int formatted = 0;
  auto costly = [&] {
    ++formatted;
    return "value";
  };
  mlog::detail::StreamPool& pool = mlog::detail::StreamPool::instance();
  const std::size_t before = pool.taken();
  MLOG(participant, mlog::Debug) << costly();
  MLOG(participant, mlog::Info) << costly();
  MLOG(participant, mlog::Notice) << costly();
  EXPECT_EQ(before, pool.taken());
  EXPECT_EQ(0, formatted);
  EXPECT_TRUE(memory->records().empty());

  MLOG(participant, mlog::Warning) << costly();
  MLOG(participant, mlog::Error) << costly();
  EXPECT_EQ(before + 2, pool.taken());
  EXPECT_EQ(2, formatted);
  EXPECT_EQ((std::vector<int>{4, 3}), memory->levels());
}

TEST_F(Record, FormattingStateDoesNotCarryIntoTheNextRecord) {
  mlog::LogParticipant participant("formatting");
  MLOG(participant, mlog::Error) << std::hex << std::showbase << 255 << ' ' << std::fixed << 1.5;
  MLOG(participant, mlog::Error) << 255 << ' ' << 1.5;
  const auto records = memory->records();
  ASSERT_EQ(2u, records.size());
  EXPECT_NE(std::string::npos, records[0].find("> 0xff 1.500000\n"));
  EXPECT_NE(std::string::npos, records[1].find("> 255 1.5\n"));
}

TEST_F(Record, MacroBindsLikeOneStatementUnderIfElse) {
  mlog::LogParticipant participant("if_else");
  bool elseTaken = false;
  for (bool condition : {true, false}) {
    if (condition)
      MLOG(participant, mlog::Error) << "taken";
    else
      elseTaken = true;
  }
  EXPECT_TRUE(elseTaken);
  EXPECT_EQ(1u, memory->records().size());
}

struct HttpTag {};

TEST_F(Record, ExceptionsWriteTheirMessageIntoRecords) {
  mlog::LogParticipant participant("exceptions");
  try {
    throw mstd::own_exception<HttpTag, mstd::exception>() << mstd::error_message("connect failed");
  } catch (const mstd::exception& e) {
    MLOG(participant, mlog::Error) << "request: " << e;
  }
  ASSERT_EQ(1u, memory->records().size());
  EXPECT_NE(std::string::npos, memory->records()[0].find("> request: connect failed ("));
}

TEST(ConsoleDevice, ErrorRecordReachesStandardOutputByDefault) {
  mlog::LogParticipant participant("console_check");
  testing::internal::CaptureStdout();
  MLOG(participant, mlog::Error) << "visible";
  MLOG(participant, mlog::Debug) << "hidden";
  const std::string output = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::regex_match(
      output, std::regex(R"(ERR \[\d+\] \d\d \d\d:\d\d:\d\d\.\d\d\d <console_check> visible\n)")))
      << output;
}

}  // namespace

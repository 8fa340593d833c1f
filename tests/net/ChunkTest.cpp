#include "net/Chunk.h"

#include <gtest/gtest.h>

namespace {

std::string record(std::int64_t start, std::int64_t end) {
  mnet::ChunkList one;
  mnet::insertChunk(one, start, end);
  return mnet::resumeRecords(one, end);
}

TEST(Chunks, SplitSizesSpreadTheSpareBytesOverTheFirstPieces) {
  EXPECT_EQ((std::vector<std::int64_t>{629146, 629146, 629146, 629145, 629145}),
            mnet::splitSizes(3145728, 5));
  EXPECT_EQ((std::vector<std::int64_t>{2, 2, 1}), mnet::splitSizes(5, 3));
}

TEST(Chunks, InsertKeepsStartOrderAndPutsEqualStartsLast) {
  mnet::ChunkList chunks;
  mnet::insertChunk(chunks, 50, 60);
  mnet::insertChunk(chunks, 10, 20);
  mnet::insertChunk(chunks, 50, 55);
  std::vector<std::int64_t> ends;
  for (const auto& c : chunks) ends.push_back(c.end);
  EXPECT_EQ((std::vector<std::int64_t>{20, 60, 55}), ends);
}

TEST(Chunks, ResumeRecordsAreLittleEndianAndClosedByTheLength) {
  mnet::ChunkList chunks;
  mnet::insertChunk(chunks, 0x0102, 0x0304);
  const std::string bytes = mnet::resumeRecords(chunks, 0x10000);
  ASSERT_EQ(32u, bytes.size());
  EXPECT_EQ(std::string("\x02\x01\0\0\0\0\0\0\x04\x03\0\0\0\0\0\0", 16), bytes.substr(0, 16));
  EXPECT_EQ(std::string("\0\0\x01\0\0\0\0\0\0\0\x01\0\0\0\0\0", 16), bytes.substr(16));
  EXPECT_EQ(16u, mnet::resumeRecords(chunks, 0x0304).size());
  EXPECT_EQ("", mnet::resumeRecords(mnet::ChunkList(), 100));
}

TEST(Chunks, ParseAcceptsWellFormedRecordsAndIgnoresTrailingBytes) {
  std::vector<mnet::Chunk> out;
  ASSERT_TRUE(mnet::parseResumeRecords(record(100, 200) + record(300, 300) + "xyz", out));
  ASSERT_EQ(2u, out.size());
  EXPECT_EQ(100, out[0].start);
  EXPECT_EQ(200, out[0].end);
  EXPECT_EQ(300, out[1].start);
  EXPECT_TRUE(mnet::parseResumeRecords("", out));
  EXPECT_TRUE(out.empty());
}

TEST(Chunks, ParseRejectsMalformedRecords) {
  std::vector<mnet::Chunk> out;
  EXPECT_FALSE(mnet::parseResumeRecords(record(200, 100), out));                   // start after end
  EXPECT_FALSE(mnet::parseResumeRecords(record(-5, 100), out));                    // negative
  EXPECT_FALSE(mnet::parseResumeRecords(record(0, 100) + record(50, 150), out));   // overlapping
  EXPECT_FALSE(mnet::parseResumeRecords(record(300, 400) + record(0, 100), out));  // unordered
  EXPECT_FALSE(mnet::parseResumeRecords(record(0, 500) + record(300, 300), out));  // end past the length
  EXPECT_TRUE(out.empty());
}

}  // namespace

#include "logging/Stream.h"
#include "logging/StreamBuf.h"
#include "logging/StreamPool.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using mlog::detail::StreamBuf;

std::string contents(const StreamBuf& buffer) {
  std::string text(buffer.length(), '\0');
  buffer.copyTo(&text[0]);
  return text;
}

std::string pattern(std::size_t length, char base) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(base + i % 23);
  return text;
}

TEST(StreamBuf, RunsAndSingleBytesFillChunksInOrder) {
  for (std::size_t size : {0u, 1u, 255u, 256u, 257u, 511u, 512u, 513u, 1000u}) {
    StreamBuf buffer;
    const std::string run = pattern(size, 'a');
    buffer.sputn(run.data(), static_cast<std::streamsize>(run.size()));
    buffer.sputc('!');
    const std::string second = pattern(size / 2, 'A');
    buffer.sputn(second.data(), static_cast<std::streamsize>(second.size()));
    const std::string expected = run + "!" + second;
    EXPECT_EQ(expected, contents(buffer)) << size;
    EXPECT_EQ((expected.size() - 1) / 256, buffer.allocatedChunks()) << size;
  }
}

TEST(StreamBuf, SingleByteIntoFullChunkStartsANewOne) {
  StreamBuf buffer;
  const std::string full(256, 'x');
  buffer.sputn(full.data(), 256);
  EXPECT_EQ(0u, buffer.allocatedChunks());
  buffer.sputc('y');
  EXPECT_EQ(1u, buffer.allocatedChunks());
  EXPECT_EQ(257u, buffer.length());
  EXPECT_EQ(full + "y", contents(buffer));
}

TEST(StreamBuf, ResetFreesChunksAndStartsAgain) {
  StreamBuf buffer;
  const std::string text = pattern(700, 'a');
  buffer.sputn(text.data(), static_cast<std::streamsize>(text.size()));
  EXPECT_EQ(2u, buffer.allocatedChunks());
  buffer.reset();
  EXPECT_EQ(0u, buffer.allocatedChunks());
  EXPECT_EQ(0u, buffer.length());
  buffer.sputn("abc", 3);
  EXPECT_EQ("abc", contents(buffer));
}

TEST(StreamPool, ReturnedStreamsAreResetAndReusedLastInFirstOut) {
  mlog::detail::StreamPool& pool = mlog::detail::StreamPool::instance();
  mlog::detail::Stream* first = pool.take();
  mlog::detail::Stream* second = pool.take();
  *first << std::string(300, 'z');
  pool.give(first);
  pool.give(second);
  EXPECT_EQ(second, pool.take());
  mlog::detail::Stream* again = pool.take();
  EXPECT_EQ(first, again);
  EXPECT_EQ(0u, again->buffer().length());
  EXPECT_EQ(0u, again->buffer().allocatedChunks());
  pool.give(again);
  pool.give(second);
}

}  // namespace

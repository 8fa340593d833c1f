#include "updater/BlockIndex.h"
#include "updater/Delta.h"
#include "updater/FileCheck.h"
#include "updater/Publish.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/common/RandomBytes.h"
#include "tests/common/Sandbox.h"

using namespace updater;

namespace {

using vtest::randomBytes;

const unsigned char* bytesOf(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

class DeltaTest : public vtest::Sandbox {};

}  // namespace

TEST_F(DeltaTest, NewFileIsRebuiltFromTheOldCopyAndTheMissingRanges) {
  const uint32_t block = 4096;
  const std::string old = randomBytes(300000, 1);
  struct Case {
    const char* name;
    std::function<std::string()> make;
    uint64_t mostMissing;                       // bytes that may have to be downloaded
    std::size_t localSize = std::string::npos;  // the old copy is this much of `old`
  };
  const std::vector<Case> cases = {
      {"unchanged", [&] { return old; }, 0},
      {"inserted near the start",
       [&] { return old.substr(0, 1000) + randomBytes(5000, 2) + old.substr(1000); }, 5000 + 2 * block},
      {"deleted in the middle", [&] { return old.substr(0, 100000) + old.substr(130001); }, 2 * block},
      {"grown", [&] { return old + randomBytes(70000, 3); }, 70000 + block},
      {"shrunk", [&] { return old.substr(0, 200001); }, block},
      {"region rewritten",
       [&] {
         std::string s = old;
         s.replace(150000, 20000, randomBytes(20000, 4));
         return s;
       },
       20000 + 2 * block},
      {"blocks moved", [&] { return old.substr(200000) + old.substr(0, 200000); }, 3 * block},
      {"nothing in common", [&] { return randomBytes(250000, 5); }, 250000},
      {"old copy shorter than a block", [&] { return old.substr(0, 10000); }, 10000, 3000},
      {"unchanged, whole blocks", [&] { return old.substr(0, 2 * block); }, 0, 2 * block},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string fresh = c.make();
    const BlockIndex index = indexOf(bytesOf(fresh), fresh.size(), block);
    const std::string local = old.substr(0, c.localSize);
    const DeltaPlan plan = matchBlocks(index, bytesOf(local), local.size());

    uint64_t missing = 0, previousEnd = 0;
    for (const DeltaPlan::Range& r : plan.missing) {
      EXPECT_LT(r.begin, r.end);
      if (missing) {
        EXPECT_LT(previousEnd, r.begin);  // merged: never adjacent
      }
      missing += r.end - r.begin;
      previousEnd = r.end;
    }
    EXPECT_LE(missing, c.mostMissing);
    EXPECT_EQ(fresh.size(), missing + plan.reusedBytes);

    // The copies and the downloaded ranges together give the new file byte for byte.
    writeFile("old", local);
    const std::string target = path("new.tmp").string();
    std::filesystem::remove(target);
    vtest::writeWholeFile(target, std::string(fresh.size(), '\0'));
    ASSERT_EQ("", copyBlocks(plan, path("old").string(), target, fresh.size()));
    std::string built = readFile("new.tmp");
    for (const DeltaPlan::Range& r : plan.missing)
      built.replace(r.begin, r.end - r.begin, fresh, r.begin, r.end - r.begin);
    EXPECT_TRUE(built == fresh);
  }
}

TEST_F(DeltaTest, IndexParsesStrictly) {
  const std::string data = randomBytes(10000, 6);
  BlockIndex index = indexOf(bytesOf(data), data.size(), 4096);
  index.crc = crc32Of(data.data(), data.size());
  const std::string good = formatBlockIndex(index);
  BlockIndex parsed;
  ASSERT_TRUE(parseBlockIndex(good, parsed));
  EXPECT_EQ(formatBlockIndex(parsed), good);
  EXPECT_EQ(3u, parsed.blocks.size());
  EXPECT_EQ(10000u - 8192u, parsed.blockLength(2));

  const auto patched = [&good](size_t at, char value) {
    std::string s = good;
    s[at] = value;
    return s;
  };
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"header only, cut", good.substr(0, 20)},
      {"magic", patched(0, 'X')},
      {"version", patched(4, 2)},
      {"version 0", patched(4, 0)},
      {"reserved byte", patched(6, 1)},
      {"zero size",
       [&] {
         std::string s = good;
         s.replace(8, 8, std::string(8, '\0'));
         return s;
       }()},
      {"block size not a power of two", patched(20, 1)},
      {"block size too small",
       [&] {
         std::string s = good;
         s.replace(20, 4, std::string("\x00\x02\x00\x00", 4));  // 512
         return s;
       }()},
      {"count does not cover the size", patched(24, 2)},
      {"size that wraps when rounded up to blocks",
       [&] {
         std::string s = good.substr(0, 28);
         s.replace(8, 8, std::string("\x00\xff\xff\xff\xff\xff\xff\xff", 8));
         s.replace(24, 4, std::string(4, '\0'));
         return s;
       }()},
      {"one block's bytes short", good.substr(0, good.size() - 1)},
      {"a byte too many", good + '\0'},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    BlockIndex out = index;
    EXPECT_FALSE(parseBlockIndex(bytes, out));
    EXPECT_TRUE(out.blocks.empty());
  }
}

TEST_F(DeltaTest, RollingSumEqualsTheSumOfEachWindow) {
  const std::string data = randomBytes(5000, 7);
  const uint32_t window = 1024;
  uint32_t rolled = weakSum(bytesOf(data), window);
  for (size_t at = 1; at + window <= data.size(); ++at) {
    rolled = rollWeak(rolled, bytesOf(data)[at - 1], bytesOf(data)[at + window - 1], window);
    ASSERT_EQ(weakSum(bytesOf(data) + at, window), rolled) << at;
  }
}

TEST_F(DeltaTest, PublishIndexesLargeFilesOnlyAndDoesNotListThem) {
  const std::string large = randomBytes(blockIndexMinimum, 8);
  writeFile("game/big.bin", large);
  writeFile("game/small.bin", randomBytes(blockIndexMinimum - 1, 9));
  writeFile("game/library/blocks/stale.bin.idx", "old");
  const PublishResult result = publishFolder(path("game").string());
  EXPECT_EQ(2u, result.files);
  EXPECT_EQ(1u, result.indexes);
  EXPECT_FALSE(std::filesystem::exists(path("game/library/blocks/stale.bin.idx")));
  EXPECT_FALSE(std::filesystem::exists(path("game/library/blocks/small.bin.idx")));
  BlockIndex index;
  ASSERT_TRUE(parseBlockIndex(readFile("game/" + blockIndexName("big.bin")), index));
  EXPECT_EQ(large.size(), index.fileSize);
  EXPECT_EQ(crc32Of(large.data(), large.size()), index.crc);
  EXPECT_EQ(std::string::npos, readFile("game/library/crc.txt").find("blocks"));
}

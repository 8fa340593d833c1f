#include "net/Chunk.h"
#include "updater/BlockIndex.h"
#include "updater/FileCheck.h"
#include "updater/Publish.h"
#include "updater/UpdatePlan.h"

#include <gtest/gtest.h>

#include "tests/common/RandomBytes.h"
#include "tests/updater/SignedFolder.h"
#include "tests/updater/WorkflowFakes.h"

using namespace updater;

namespace {

using vtest::randomBytes;

std::string indexBytes(const std::string& content, uint32_t crc) {
  BlockIndex index = indexOf(reinterpret_cast<const unsigned char*>(content.data()), content.size(),
                             blockSizeFor(content.size()));
  index.crc = crc;
  return formatBlockIndex(index);
}

class DeltaWorkflowTest : public vtest::WorkflowFixture {
 protected:
  void SetUp() override {
    WorkflowFixture::SetUp();
    old_ = randomBytes(blockIndexMinimum + 300000, 1);
    fresh_ = old_.substr(0, 5000) + randomBytes(70000, 2) + old_.substr(5000, 900000) + randomBytes(100, 3) +
             old_.substr(950000);
    crc_ = crc32Of(fresh_.data(), fresh_.size());
    writeFile("big.bin", old_);
  }

  // The list (signed when an update key is set) answered and the update started:
  // the block index is asked for.
  void startUpdate() {
    start();
    const std::string list = line("big.bin", fresh_);
    net_.answer(0, list);
    if (!options_.updateKey.empty()) {
      writeFile("www/big.bin", fresh_);
      writeFile("www/" + blockIndexName("big.bin"), indexBytes(fresh_, crc_));
      net_.answer(0, signedManifestOf(path("www").string(), list, 1, key_.key));
      net_.answerAbsent();
    }
    workflow_->buttonPressed();
    ASSERT_EQ("http://host.test/library/blocks/big.bin.idx", net_.urls.back());
  }

  // What the segmented download does with a resume companion: only its pending ranges.
  uint64_t fetchPending() {
    const std::string temporary = net_.current->path;
    std::vector<mnet::Chunk> records;
    EXPECT_TRUE(mnet::parseResumeRecords(vtest::readWholeFile(temporary + ".meta"), records));
    std::string bytes = vtest::readWholeFile(temporary);
    uint64_t fetched = 0;
    for (const mnet::Chunk& r : records) {
      bytes.replace(static_cast<size_t>(r.start), static_cast<size_t>(r.remaining()), fresh_,
                    static_cast<size_t>(r.start), static_cast<size_t>(r.remaining()));
      fetched += static_cast<uint64_t>(r.remaining());
    }
    // A finished run leaves a companion with nothing pending.
    vtest::writeWholeFile(temporary + ".meta", mnet::resumeRecords({}, static_cast<int64_t>(fresh_.size())));
    deliver(bytes);
    return fetched;
  }

  std::string old_, fresh_;
  uint32_t crc_ = 0;
  vtest::TestKey key_;
};

}  // namespace

TEST_F(DeltaWorkflowTest, OnlyTheMissingRangesAreFetched) {
  const uint32_t block = blockSizeFor(old_.size());
  const struct {
    const char* name;
    std::string fresh;
    uint64_t mostFetched;  // 0: no download at all
  } cases[] = {
      // The inserted 70,000 bytes and 100 rewritten ones, with the blocks around them.
      {"bytes inserted and rewritten", fresh_, 70000u + 100 + 4 * blockSizeFor(fresh_.size())},
      {"the same blocks in another order", old_.substr(block * 10, block * 120) + old_.substr(0, block * 10),
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile("big.bin", old_);
    fresh_ = c.fresh;
    crc_ = crc32Of(fresh_.data(), fresh_.size());
    net_.downloads.clear();
    startUpdate();
    EXPECT_TRUE(net_.downloads.empty());
    const int opened = host_.gameOpened;
    net_.answer(0, indexBytes(fresh_, crc_));
    ASSERT_TRUE(host_.settle());
    ASSERT_EQ(c.mostFetched ? 1u : 0u, net_.downloads.size());
    if (c.mostFetched) {
      EXPECT_EQ("http://host.test/big.bin", net_.downloads[0]);
      EXPECT_LE(fetchPending(), c.mostFetched);
    }
    EXPECT_TRUE(readFile("big.bin") == fresh_);
    EXPECT_EQ(opened + 1, host_.gameOpened);
  }
}

TEST_F(DeltaWorkflowTest, EveryFaultFallsBackToTheWholeFile) {
  struct Case {
    const char* name;
    int code;
    std::function<std::string(const std::string& fresh, uint32_t crc)> body;
    bool signedList = false;
  };
  const std::vector<Case> cases = {
      {"no index on the server", 404, [](const std::string&, uint32_t) { return std::string("not found"); }},
      {"malformed index", 0,
       [](const std::string& fresh, uint32_t crc) { return indexBytes(fresh, crc).substr(7); }},
      {"index of another size", 0,
       [](const std::string& fresh, uint32_t crc) { return indexBytes(fresh + "x", crc); }},
      {"index of another CRC", 0,
       [](const std::string& fresh, uint32_t crc) { return indexBytes(fresh, crc ^ 1); }},
      {"index with the list's size and CRC but not the signed one", 0,
       [](const std::string& fresh, uint32_t crc) {
         return indexBytes(std::string(100, 'x') + fresh.substr(100), crc);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    options_.updateKey.clear();
    if (c.signedList) requireSigned(key_);
    writeFile("big.bin", old_);
    net_.downloads.clear();
    startUpdate();
    net_.answer(c.code, c.body(fresh_, crc_));
    ASSERT_EQ(1u, net_.downloads.size());
    EXPECT_FALSE(std::filesystem::exists(net_.current->path));
    EXPECT_FALSE(std::filesystem::exists(net_.current->path + ".meta"));
    deliver(fresh_);
    EXPECT_TRUE(readFile("big.bin") == fresh_);
  }
}

TEST_F(DeltaWorkflowTest, WrongBlocksEndInAFreshWholeDownload) {
  startUpdate();
  // An index with the list's size and CRC whose blocks describe other bytes.
  std::string other = fresh_;
  const uint32_t block = blockSizeFor(fresh_.size());
  other.replace(block * 100, block, old_.substr(0, block));
  net_.answer(0, indexBytes(other, crc_));
  ASSERT_TRUE(host_.settle());
  fetchPending();
  ASSERT_EQ(2u, net_.downloads.size());
  EXPECT_FALSE(std::filesystem::exists(net_.current->path + ".meta"));
  deliver(fresh_);
  EXPECT_TRUE(readFile("big.bin") == fresh_);
}

TEST_F(DeltaWorkflowTest, InterruptedDeltaResumesWithoutAskingAgain) {
  startUpdate();
  net_.answer(0, indexBytes(fresh_, crc_));
  ASSERT_TRUE(host_.settle());
  const size_t asked = net_.urls.size();
  workflow_->buttonPressed();  // cancel: the companion stays
  EXPECT_TRUE(net_.currentGone);
  net_.answer(0, line("big.bin", fresh_));
  workflow_->buttonPressed();
  EXPECT_EQ(asked + 1, net_.urls.size());  // the list only
  ASSERT_EQ(2u, net_.downloads.size());
  fetchPending();
  EXPECT_TRUE(readFile("big.bin") == fresh_);
}

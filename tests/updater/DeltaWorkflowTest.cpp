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

  // The list answered and the update started: the block index is asked for.
  void startUpdate() {
    start();
    net_.answer(0, line("big.bin", fresh_));
    workflow_->buttonPressed();
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
};

}  // namespace

TEST_F(DeltaWorkflowTest, OnlyTheMissingRangesAreFetched) {
  startUpdate();
  ASSERT_EQ("http://host.test/library/blocks/big.bin.idx", net_.urls.back());
  EXPECT_TRUE(net_.downloads.empty());
  net_.answer(0, indexBytes(fresh_, crc_));
  ASSERT_EQ(1u, net_.downloads.size());
  EXPECT_EQ("http://host.test/big.bin", net_.downloads[0]);
  const uint64_t fetched = fetchPending();
  // The inserted 70,000 bytes and 100 rewritten ones, with the blocks around them.
  EXPECT_LE(fetched, 70000u + 100 + 4 * blockSizeFor(fresh_.size()));
  EXPECT_TRUE(readFile("big.bin") == fresh_);
  EXPECT_EQ(1, host_.gameOpened);
}

TEST_F(DeltaWorkflowTest, EveryFaultFallsBackToTheWholeFile) {
  struct Case {
    const char* name;
    int code;
    std::function<std::string(const std::string& fresh, uint32_t crc)> body;
  };
  const std::vector<Case> cases = {
      {"no index on the server", 404, [](const std::string&, uint32_t) { return std::string("not found"); }},
      {"malformed index", 0,
       [](const std::string& fresh, uint32_t crc) { return indexBytes(fresh, crc).substr(7); }},
      {"index of another size", 0,
       [](const std::string& fresh, uint32_t crc) { return indexBytes(fresh + "x", crc); }},
      {"index of another CRC", 0,
       [](const std::string& fresh, uint32_t crc) { return indexBytes(fresh, crc ^ 1); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
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
  fetchPending();
  ASSERT_EQ(2u, net_.downloads.size());
  EXPECT_FALSE(std::filesystem::exists(net_.current->path + ".meta"));
  deliver(fresh_);
  EXPECT_TRUE(readFile("big.bin") == fresh_);
}

TEST_F(DeltaWorkflowTest, InterruptedDeltaResumesWithoutAskingAgain) {
  startUpdate();
  net_.answer(0, indexBytes(fresh_, crc_));
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

TEST_F(DeltaWorkflowTest, FileWhoseBlocksAllExistNeedsNoDownload) {
  // The same blocks in another order.
  const uint32_t block = blockSizeFor(old_.size());
  fresh_ = old_.substr(block * 10, block * 120) + old_.substr(0, block * 10);
  crc_ = crc32Of(fresh_.data(), fresh_.size());
  startUpdate();
  net_.answer(0, indexBytes(fresh_, crc_));
  EXPECT_TRUE(net_.downloads.empty());
  EXPECT_TRUE(readFile("big.bin") == fresh_);
  EXPECT_EQ(1, host_.gameOpened);
}

TEST_F(DeltaWorkflowTest, SignedUpdateTakesOnlyTheSignedIndex) {
  const vtest::TestKey key;
  options_.updateKey = key.publicBase64();
  options_.registryRoot.folder = path("config").string();
  options_.registryKey = "Software\\Ondrel\\Vornask";
  const std::string list = line("big.bin", fresh_);
  writeFile("www/big.bin", fresh_);
  writeFile("www/" + blockIndexName("big.bin"), indexBytes(fresh_, crc_));
  const std::string manifest = signedManifestOf(path("www").string(), list, 1, key.key);

  start();
  net_.answer(0, list);
  net_.answer(0, manifest);
  workflow_->buttonPressed();
  ASSERT_EQ("http://host.test/library/blocks/big.bin.idx", net_.urls.back());
  // The list's size and CRC-32, blocks of other bytes: not the index that was signed.
  std::string other = fresh_;
  other.replace(0, 100, 100, 'x');
  net_.answer(0, indexBytes(other, crc_));
  ASSERT_EQ(1u, net_.downloads.size());
  EXPECT_FALSE(std::filesystem::exists(net_.current->path + ".meta"));
  deliver(fresh_);
  EXPECT_TRUE(readFile("big.bin") == fresh_);
}

// A planned file rebuilt from its older local copy: the blocks found in it are copied into
// the temporary file, and the download's resume companion lists only the missing ranges,
// so the segmented download fetches those and nothing else. Anything amiss falls back to
// the whole file. With signed updates the index must match its signed digest, and the
// rebuilt file is checked against the file's like any download.
#include "updater/UpdateWorkflow.h"

#include "net/Chunk.h"
#include "net/DownloadResume.h"
#include "updater/BlockIndex.h"
#include "updater/Delta.h"
#include "updater/UpdatePlan.h"

#include <boost/interprocess/file_mapping.hpp>
#include <boost/interprocess/mapped_region.hpp>
#include <filesystem>

namespace updater {

namespace {

namespace bip = boost::interprocess;

// The plan of the local copy at `path` against `index`; false when it cannot be mapped.
bool planFromCopy(const std::string& path, const BlockIndex& index, DeltaPlan& plan) {
  try {
    bip::file_mapping file(path.c_str(), bip::read_only);
    bip::mapped_region region(file, bip::read_only);
    plan = matchBlocks(index, static_cast<const unsigned char*>(region.get_address()), region.get_size());
    return true;
  } catch (const bip::interprocess_exception&) {
    return false;
  }
}

// The temporary file with the copied blocks and a companion that names the rest as
// pending. The companion comes last: without it the download takes the whole file.
bool prepareTemporary(const DeltaPlan& plan, const std::string& copy, const std::string& temporary,
                      uint64_t size) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(temporary).parent_path(), ec);
  if (!copyBlocks(plan, copy, temporary, size).empty()) return false;
  std::filesystem::resize_file(temporary, size, ec);
  if (ec) return false;
  mnet::ChunkList pending;
  for (const DeltaPlan::Range& range : plan.missing)
    mnet::insertChunk(pending, static_cast<int64_t>(range.begin), static_cast<int64_t>(range.end));
  return mnet::seedResume(temporary, pending, static_cast<int64_t>(size));
}

}  // namespace

bool UpdateWorkflow::startDelta(size_t index, unsigned serial) {
  const UpdateEntry& entry = plan_[index];
  std::error_code ec;
  // A download under way resumes as it is; a delta is begun only from a local copy.
  // Signed updates use only signed indexes.
  if (entry.client || entry.size < blockIndexMinimum || !signing_.indexUsable(entry.name) ||
      mnet::resumable(temporaryPath(entry)) || !std::filesystem::is_regular_file(entry.target, ec))
    return false;
  const std::weak_ptr<bool> alive = alive_;
  net_.getData(
      fileUrl(baseUrl_, blockIndexName(entry.name)), statementFetchLimit, [](int) {},
      [this, alive, serial, index](int code, const std::string& body) {
        if (alive.lock()) blockIndexArrived(serial, index, code, body);
      });
  return true;
}

void UpdateWorkflow::blockIndexArrived(unsigned serial, size_t index, int code, const std::string& body) {
  if (serial != downloadSerial_) return;  // the player cancelled or a new list came
  const UpdateEntry& entry = plan_[index];
  BlockIndex blocks;
  const bool usable = code == 0 && signing_.indexTrusted(entry.name, body) && parseBlockIndex(body, blocks) &&
                      blocks.fileSize == entry.size && blocks.crc == entry.crc;
  if (!usable) {
    deltaPrepared(serial, index, false, false, false);
    return;
  }
  // Scanning the old copy and copying its blocks take a while for a large file.
  const std::string copy = entry.target, temporary = temporaryPath(entry);
  const uint64_t size = entry.size;
  const FileExpectation expected = signing_.expectation(entry.name, temporary, entry.size, entry.crc);
  offUiThread([this, serial, index, blocks, copy, temporary, size, expected] {
    DeltaPlan delta;
    const bool prepared = planFromCopy(copy, blocks, delta) && prepareTemporary(delta, copy, temporary, size);
    const bool complete = prepared && delta.missing.empty();
    // A complete copy is checked as a download's result, here too off the UI thread.
    const bool verified = complete && expected.holds();
    return std::function<void()>([this, serial, index, prepared, complete, verified] {
      deltaPrepared(serial, index, prepared, complete, verified);
    });
  });
}

void UpdateWorkflow::deltaPrepared(unsigned serial, size_t index, bool prepared, bool complete,
                                   bool verified) {
  if (serial != downloadSerial_) return;
  const std::string temporary = temporaryPath(plan_[index]);
  if (complete) {
    // Every block was found: nothing to fetch, and the result is checked as a download's.
    mnet::forgetResume(temporary);
    entryFinished(serial, index, mnet::DownloadAction::Finished, 200, verified);
    return;
  }
  if (!prepared) mnet::discardResume(temporary);
  beginDownload(index, serial);
}

}  // namespace updater

// CRC-32 check of a whole game folder (2,000 files, 2 GiB, warm cache):
// zlib's crc32 against the updater's file check, single and multi-threaded.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <boost/interprocess/file_mapping.hpp>
#include <boost/interprocess/mapped_region.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "updater/FileCheck.h"
#include "updater/UpdatePlan.h"

namespace fs = std::filesystem;
namespace bip = boost::interprocess;

namespace {

struct Sample {
  std::string path;
  uint32_t size;
  uint32_t crc;
};

fs::path folder;
std::vector<Sample> samples;
uint64_t totalBytes = 0;

void makeFolder(int count, uint64_t bytes) {
  folder = fs::temp_directory_path() / ("vornask-crcbench-" + std::to_string(::getpid()));
  fs::create_directories(folder / "music");
  std::mt19937_64 random(42);
  std::vector<uint64_t> block((bytes / count + 4096) / 8 + 1);
  for (auto& word : block) word = random();
  const char* data = reinterpret_cast<const char*>(block.data());
  for (int i = 0; i < count; ++i) {
    // Sizes vary around the mean; the last file takes the remainder.
    uint64_t size = bytes / count + (i % 2 ? 4000 : -4000);
    if (i == count - 1) size = bytes - totalBytes;
    Sample sample{(folder / (i % 10 == 0 ? "music" : ".") / ("f" + std::to_string(i))).string(),
                  static_cast<uint32_t>(size), 0};
    block[i % block.size()] ^= random();
    std::ofstream(sample.path, std::ios::binary).write(data, static_cast<std::streamsize>(size));
    sample.crc = updater::crc32Of(data, size);
    totalBytes += size;
    samples.push_back(sample);
  }
}

uint32_t zlibFileCrc(const std::string& path) {
  bip::file_mapping file(path.c_str(), bip::read_only);
  bip::mapped_region region(file, bip::read_only);
  return static_cast<uint32_t>(
      crc32_z(0, static_cast<const Bytef*>(region.get_address()), region.get_size()));
}

void BM_ZlibCrc32(benchmark::State& state) {
  for (auto _ : state) {
    for (const Sample& s : samples)
      if (zlibFileCrc(s.path) != s.crc) state.SkipWithError("zlib crc differs");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes));
}

void BM_CheckFile(benchmark::State& state) {
  const unsigned threads = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    std::atomic<size_t> next{0};
    std::atomic<bool> bad{false};
    auto work = [&] {
      for (size_t i; (i = next++) < samples.size();)
        if (!updater::checkFile(samples[i].path, samples[i].size, samples[i].crc)) bad = true;
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();
    if (bad) state.SkipWithError("check failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes));
}

// The whole comparison as the client runs it: the list parsed and every file checked.
void BM_BuildPlan(benchmark::State& state) {
  std::string list;
  for (const Sample& s : samples) {
    char fields[48];
    std::snprintf(fields, sizeof fields, ":0:%u:%x\n", s.size, s.crc);
    list += fs::path(s.path).lexically_relative(folder).generic_string() + fields;
  }
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  for (auto _ : state)
    if (!updater::buildPlan(list, updater::PlanOptions()).empty()) state.SkipWithError("files planned");
  fs::current_path(previous);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes));
}

BENCHMARK(BM_ZlibCrc32)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_CheckFile)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_BuildPlan)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
  const int count = std::getenv("CRCBENCH_FILES") ? std::atoi(std::getenv("CRCBENCH_FILES")) : 2000;
  const uint64_t bytes = std::getenv("CRCBENCH_MIB")
                             ? std::strtoull(std::getenv("CRCBENCH_MIB"), nullptr, 10) << 20
                             : uint64_t(2) << 30;
  benchmark::Initialize(&argc, argv);
  makeFolder(count, bytes);
  for (const Sample& s : samples) zlibFileCrc(s.path);  // warm the page cache
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(folder);
  return 0;
}

// flash.ocx: LoadMovie to the movie's first FlashCall, and the memory of the
// process with its web processes while a movie plays.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/common/Processes.h"
#include "tests/player/host/PlayerHost.h"

namespace {

using vtest::HostedControl;

// A temporary folder holding the probe movie as main.swf, removed at exit.
struct MovieFolder {
  MovieFolder() {
    char name[] = "/tmp/player-bench-XXXXXX";
    if (!::mkdtemp(name)) return;
    path = name;
    std::filesystem::copy_file(VORNASK_PROBE_SWF, path + "/main.swf");
  }
  ~MovieFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

std::string movieFolder() {
  static const MovieFolder folder;
  return folder.path;
}

// This process and every process below it (web and network processes).
std::vector<long> processTree() {
  std::vector<long> tree{static_cast<long>(::getpid())};
  // The private X server stands for the desktop's: not the client's memory.
  for (const vtest::ProcessEntry& process : vtest::descendantsOf(tree[0], "Xvfb"))
    tree.push_back(process.pid);
  return tree;
}

// CPU seconds used so far by the processes below this one.
double childCpuSeconds() {
  double seconds = 0;
  const std::vector<long> tree = processTree();
  for (std::size_t i = 1; i < tree.size(); ++i) seconds += vtest::cpuSeconds(tree[i]);
  return seconds;
}

// Seconds from LoadMovie to the first FlashCall, or -1; adds the web
// processes' CPU time to the "web_cpu_s" counter.
double loadToFirstCall(benchmark::State& state) {
  HostedControl control;
  if (!control.created()) {
    state.SkipWithError(("no control: " + vtest::PlayerLibrary::get().problem).c_str());
    return -1;
  }
  const auto start = std::chrono::steady_clock::now();
  control.load(movieFolder() + "/main.swf");
  if (!vtest::pumpUntil([&] { return !control.calls().empty(); }, 60000)) {
    state.SkipWithError("the movie made no call");
    return -1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  state.counters["web_cpu_s"] += childCpuSeconds();
  return seconds;
}

void BM_LoadToFirstCall_FirstControl(benchmark::State& state) {
  for (auto _ : state) {
    const double seconds = loadToFirstCall(state);
    if (seconds < 0) return;
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(BM_LoadToFirstCall_FirstControl)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_LoadToFirstCall_LaterControl(benchmark::State& state) {
  for (auto _ : state) {
    const double seconds = loadToFirstCall(state);
    if (seconds < 0) return;
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(BM_LoadToFirstCall_LaterControl)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

struct Memory {
  double rss = 0, pss = 0;
};

// kB figures of one process: VmRSS from status, Pss from smaps_rollup.
Memory memoryOf(long pid) {
  Memory m;
  const std::string base = "/proc/" + std::to_string(pid);
  for (auto [file, key, field] :
       {std::tuple{"/status", "VmRSS:", &Memory::rss}, std::tuple{"/smaps_rollup", "Pss:", &Memory::pss}}) {
    std::ifstream in(base + file);
    std::string name;
    double value;
    while (in >> name) {
      if (name == key && in >> value) {
        m.*field += value / 1024.0;
        break;
      }
      in.ignore(1 << 20, '\n');
    }
  }
  return m;
}

void BM_MemoryWhilePlaying(benchmark::State& state) {
  for (auto _ : state) {
    HostedControl control;
    if (!control.created()) return state.SkipWithError("no control");
    control.load(movieFolder() + "/main.swf");
    if (control.waitForCall("ready", 60000) < 0) return state.SkipWithError("the movie did not start");
    vtest::pumpFor(5000);
    Memory total, self = memoryOf(::getpid()), largest;
    const std::vector<long> tree = processTree();
    for (long pid : tree) {
      const Memory m = memoryOf(pid);
      total.rss += m.rss;
      total.pss += m.pss;
      if (pid != tree[0] && m.rss > largest.rss) largest = m;
    }
    state.counters["total_rss_MB"] = total.rss;
    state.counters["total_pss_MB"] = total.pss;
    state.counters["host_rss_MB"] = self.rss;
    state.counters["web_rss_MB"] = largest.rss;
    state.counters["processes"] = static_cast<double>(tree.size());
  }
}
BENCHMARK(BM_MemoryWhilePlaying)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// flash.ocx: LoadMovie to the movie's first FlashCall, and the memory of the
// process with its web processes while a movie plays.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

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

std::vector<long> processTree();

// CPU seconds used so far by the processes below this one.
double childCpuSeconds() {
  double ticks = 0;
  const std::vector<long> tree = processTree();
  for (std::size_t i = 1; i < tree.size(); ++i) {
    std::ifstream stat("/proc/" + std::to_string(tree[i]) + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int f = 3; f <= 15 && rest >> field; ++f)
      if (f == 14 || f == 15) ticks += std::atof(field.c_str());
  }
  return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
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

// This process and every process below it (web and network processes).
std::vector<long> processTree() {
  std::multimap<long, long> children;
  if (DIR* dir = ::opendir("/proc")) {
    while (dirent* e = ::readdir(dir)) {
      const long pid = std::atol(e->d_name);
      std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
      std::string line;
      if (pid <= 0 || !std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
      std::istringstream rest(line.substr(line.rfind(')') + 2));
      std::string state;
      long parent = 0;
      rest >> state >> parent;
      children.emplace(parent, pid);
    }
    ::closedir(dir);
  }
  std::vector<long> tree{static_cast<long>(::getpid())};
  for (std::size_t i = 0; i < tree.size(); ++i)
    for (auto [it, end] = children.equal_range(tree[i]); it != end; ++it) {
      // The private X server stands for the desktop's: not the client's memory.
      std::ifstream comm("/proc/" + std::to_string(it->second) + "/comm");
      std::string name;
      if (std::getline(comm, name) && name != "Xvfb") tree.push_back(it->second);
    }
  return tree;
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

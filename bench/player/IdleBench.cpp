// flash.ocx idling: the web processes' CPU while the demo movie sits in a
// full-screen window, and the frame rate the probe movie keeps meanwhile, on a
// still stage and on one whose small text changes once a second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "tests/common/Processes.h"
#include "tests/player/host/PlayerHost.h"

namespace {

using vtest::HostedControl;

// The window of a game in a maximised client on a 1920 x 1080 desktop.
constexpr int windowWidth = 1920;
constexpr int windowHeight = 1040;
// Long enough to average out the movie's one-second timers and the GC.
constexpr int sampleMs = 20000;
// After the first call: Ruffle's start-up work (wasm tiers, fonts) is over.
constexpr int settleMs = 3000;

// CPU seconds of the processes below this one, Xvfb left out.
double webCpuSeconds() {
  double total = 0;
  for (const vtest::ProcessEntry& p : vtest::descendantsOf(::getpid()))
    if (p.name != "Xvfb") total += vtest::cpuSeconds(p.pid);
  return total;
}

double xvfbCpuSeconds() {
  double total = 0;
  for (const vtest::ProcessEntry& p : vtest::descendantsOf(::getpid()))
    if (p.name == "Xvfb") total += vtest::cpuSeconds(p.pid);
  return total;
}

void BM_IdleDemoMovie(benchmark::State& state) {
  for (auto _ : state) {
    HostedControl control(windowWidth, windowHeight);
    if (!control.created()) return state.SkipWithError("no control");
    control.load(VORNASK_DEMO_SWF);
    if (!vtest::pumpUntil([&] { return !control.calls().empty(); }, 60000))
      return state.SkipWithError("the demo movie made no call");
    vtest::pumpFor(settleMs);
    const double web0 = webCpuSeconds(), x0 = xvfbCpuSeconds();
    const double host0 = vtest::cpuSeconds(::getpid());
    vtest::pumpFor(sampleMs);
    const double seconds = sampleMs / 1000.0;
    state.counters["web_cpu_pct"] = 100 * (webCpuSeconds() - web0) / seconds;
    state.counters["host_cpu_pct"] = 100 * (vtest::cpuSeconds(::getpid()) - host0) / seconds;
    state.counters["xvfb_cpu_pct"] = 100 * (xvfbCpuSeconds() - x0) / seconds;
  }
}
BENCHMARK(BM_IdleDemoMovie)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

// The probe movie's frames per second over the sample, in the same window; with
// `ticking` its label changes every second.
void probeFrameRate(benchmark::State& state, bool ticking) {
  for (auto _ : state) {
    HostedControl control(windowWidth, windowHeight);
    if (!control.created()) return state.SkipWithError("no control");
    control.load(VORNASK_PROBE_SWF);
    if (control.waitForCall("ready", 60000) < 0) return state.SkipWithError("the probe movie did not start");
    if (ticking)
      control.callFunction(u"<invoke name=\"ticker\" returntype=\"xml\"><arguments></arguments></invoke>");
    vtest::pumpFor(settleMs);
    const auto frames = [&]() -> double {
      const std::size_t from = control.calls().size();
      control.callFunction(u"<invoke name=\"frames\" returntype=\"xml\"><arguments></arguments></invoke>");
      const int at = control.waitForCall("frames", 10000, from);
      if (at < 0) return -1;
      const std::string& call = control.calls()[static_cast<std::size_t>(at)];
      const std::size_t open = call.find("<number>");
      return open == std::string::npos ? -1 : std::stod(call.substr(open + 8));
    };
    const auto t0 = std::chrono::steady_clock::now();
    const double f0 = frames(), web0 = webCpuSeconds();
    vtest::pumpFor(sampleMs);
    const double f1 = frames(), web1 = webCpuSeconds();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (f0 < 0 || f1 < 0) return state.SkipWithError("the probe movie did not tell its frames");
    state.counters["fps"] = (f1 - f0) / seconds;
    state.counters["web_cpu_pct"] = 100 * (web1 - web0) / seconds;
  }
}

void BM_IdleFrameRate(benchmark::State& state) {
  probeFrameRate(state, false);
}
BENCHMARK(BM_IdleFrameRate)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

void BM_TickingTextFrameRate(benchmark::State& state) {
  probeFrameRate(state, true);
}
BENCHMARK(BM_TickingTextFrameRate)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

}  // namespace

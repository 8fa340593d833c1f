// Cost of a filtered-out and of an emitted record, beside spdlog's synchronous stdout logger.
// Standard output goes to /dev/null; results are reported on standard error.
#include "logging/Log.h"
#include "logging/Manager.h"

#include <benchmark/benchmark.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

mlog::LogParticipant& benchLog() {
  static mlog::LogParticipant participant("nexus_utils");
  return participant;
}

std::shared_ptr<spdlog::logger> spdLogger() {
  static std::shared_ptr<spdlog::logger> logger = [] {
    auto made = spdlog::stdout_logger_mt("nexus_utils");
    // Same fields as the mlog header: level, thread, day and time with milliseconds, name.
    made->set_pattern("%L [%t] %d %H:%M:%S.%e <%n> %v");
    made->set_level(spdlog::level::warn);
    return made;
  }();
  return logger;
}

MLOG_DEFINE_PARTICIPANT(accessorLog, "download")

const std::string longText(600, 'x');

void MlogFiltered(benchmark::State& state) {
  mlog::LogParticipant& log = benchLog();
  int value = 0;
  for (auto _ : state) {
    MLOG(log, mlog::Debug) << "filtered " << ++value;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(MlogFiltered);

// Through a participant accessor, as the subsystems write it: MLOG(httpLog(), mlog::Debug).
void MlogFilteredThroughAccessor(benchmark::State& state) {
  int value = 0;
  for (auto _ : state) {
    MLOG(accessorLog(), mlog::Debug) << "filtered " << ++value;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(MlogFilteredThroughAccessor);

void SpdlogFiltered(benchmark::State& state) {
  auto logger = spdLogger();
  int value = 0;
  for (auto _ : state) {
    logger->debug("filtered {}", ++value);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(SpdlogFiltered);

void MlogEmitted(benchmark::State& state) {
  mlog::LogParticipant& log = benchLog();
  int value = 0;
  for (auto _ : state) MLOG(log, mlog::Warning) << "request " << ++value << " finished with status " << 200;
}
BENCHMARK(MlogEmitted);
BENCHMARK(MlogEmitted)->Threads(2);

void SpdlogEmitted(benchmark::State& state) {
  auto logger = spdLogger();
  int value = 0;
  for (auto _ : state) logger->warn("request {} finished with status {}", ++value, 200);
}
BENCHMARK(SpdlogEmitted);
BENCHMARK(SpdlogEmitted)->Threads(2);

void MlogEmittedLong(benchmark::State& state) {
  mlog::LogParticipant& log = benchLog();
  for (auto _ : state) MLOG(log, mlog::Warning) << longText;
}
BENCHMARK(MlogEmittedLong);

void SpdlogEmittedLong(benchmark::State& state) {
  auto logger = spdLogger();
  for (auto _ : state) logger->warn("{}", longText);
}
BENCHMARK(SpdlogEmittedLong);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  benchLog();
  spdLogger();
  benchmark::ConsoleReporter reporter;
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

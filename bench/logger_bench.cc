// The cost of a log call that the logger drops and of one it accepts and hands to a target that
// discards it, against spdlog doing the same (a filtered call and a null sink).
#include <benchmark/benchmark.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <memory>

#include "runtime/log_pattern.h"
#include "runtime/log_target.h"
#include "runtime/logger.h"

namespace {

using Varn::Log;
using Varn::Logger;

class DiscardingTarget : public Varn::LogTarget {
 public:
  ~DiscardingTarget() override { Detach(); }
  std::string_view Name() const override { return "DiscardingTarget"; }
  bool Write(const Varn::LogRecord& record) override {
    benchmark::DoNotOptimize(record.message[0]);
    return true;
  }
};

// Expands the default pattern as the console targets do, then drops the line.
class ExpandingTarget : public DiscardingTarget {
 public:
  bool Write(const Varn::LogRecord& record) override {
    char line[Varn::kLogBufferSize];
    benchmark::DoNotOptimize(Varn::ExpandPattern(PatternLocked(), record, line));
    return true;
  }
};

// Only the given target is attached while a benchmark runs.
class LoggerScope {
 public:
  explicit LoggerScope(Varn::LogTarget* target) {
    Logger& logger = Logger::Acquire();
    logger.StdErrTarget().Detach();
    logger.DebuggerTarget().Detach();
    if (target != nullptr) target->Configure(0, 0, 0, Varn::kDefaultLogPattern);
  }
  ~LoggerScope() { Logger::Release(); }
};

std::shared_ptr<spdlog::logger> NullSpdlog() {
  auto logger =
      std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
  logger->set_level(spdlog::level::warn);
  return logger;
}

void BM_LogFilteredOut(benchmark::State& state) {
  DiscardingTarget target;
  LoggerScope scope(&target);
  int i = 0;
  for (auto _ : state) {
    Log(Varn::kLogInfo, 1, 0, "value %d of %s", ++i, "something");
  }
}
BENCHMARK(BM_LogFilteredOut);

void BM_SpdlogFilteredOut(benchmark::State& state) {
  auto logger = NullSpdlog();
  int i = 0;
  for (auto _ : state) {
    logger->info("value {} of {}", ++i, "something");
  }
}
BENCHMARK(BM_SpdlogFilteredOut);

void BM_LogAcceptedDiscarded(benchmark::State& state) {
  DiscardingTarget target;
  LoggerScope scope(&target);
  int i = 0;
  for (auto _ : state) {
    Log(Varn::kLogWarning, 1, 0, "value %d of %s", ++i, "something");
  }
}
BENCHMARK(BM_LogAcceptedDiscarded);

void BM_SpdlogAcceptedNullSink(benchmark::State& state) {
  auto logger = NullSpdlog();
  int i = 0;
  for (auto _ : state) {
    logger->warn("value {} of {}", ++i, "something");
  }
}
BENCHMARK(BM_SpdlogAcceptedNullSink);

void BM_LogAcceptedExpanded(benchmark::State& state) {
  ExpandingTarget target;
  LoggerScope scope(&target);
  int i = 0;
  for (auto _ : state) {
    Log(Varn::kLogWarning, 1, 0, "value %d of %s", ++i, "something");
  }
}
BENCHMARK(BM_LogAcceptedExpanded);

}  // namespace

BENCHMARK_MAIN();

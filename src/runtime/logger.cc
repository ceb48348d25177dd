#include "runtime/logger.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

#include "runtime/console_log_target.h"
#include "runtime/log_category_table.h"
#include "runtime/runtime_platform.h"
#include "runtime/trace_providers.h"

namespace Varn {
namespace {

constexpr int64_t kNoOrigin = std::numeric_limits<int64_t>::min();

// True on a thread while the logger offers it a record: a message logged from inside a target
// then is dropped instead of re-entering the logger.
thread_local bool t_dispatching = false;

std::string ExecutableFileName() {
  std::string path = Platform::ModulePath();
  size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name.empty() ? "<unknown>" : name;
}

// The steps that run when the library is loaded and unloaded. They live in this file because
// everything that uses the runtime links it, so the linker never drops them.
struct LoadTimeSteps {
  LoadTimeSteps() {
    // The localisation reader's category takes the first free entry; names registered by code
    // come after it.
    RegisterCategory("LOC");
    ProcessTraceProviders().Start(Platform::LookUpTraceFunctions(),
                                  Platform::PerformanceFrequency(), Platform::CurrentThreadId());
  }
  ~LoadTimeSteps() { ProcessTraceProviders().Stop(); }
};
LoadTimeSteps load_time_steps;

}  // namespace

Logger::Logger()
    : executable_name_(ExecutableFileName()),
      std_err_(std::make_unique<StdErrLogTarget>()),
      std_out_(std::make_unique<StdOutLogTarget>()),
      debugger_(std::make_unique<DebuggerConsoleLogTarget>()) {
  monotonic_origin_.store(kNoOrigin);
  MonotonicSinceStart();
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ResetLocked();
}

Logger& Logger::Instance() {
  static Logger* const instance = new Logger();
  return *instance;
}

Logger& Logger::Acquire() {
  Logger& logger = Instance();
  logger.references_.fetch_add(1, std::memory_order_acq_rel);
  return logger;
}

void Logger::Release() {
  Logger& logger = Instance();
  int count = logger.references_.load(std::memory_order_acquire);
  // A release without a matching acquire is ignored rather than driving the count negative.
  do {
    if (count <= 0) return;
  } while (!logger.references_.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel));
  if (count == 1) {
    std::lock_guard<std::recursive_mutex> lock(logger.mutex_);
    if (logger.references_.load(std::memory_order_acquire) == 0) logger.ResetLocked();
  }
}

// Built-in targets are set up directly: their own Configure would call back into Instance()
// while it is still being constructed.
void Logger::ResetLocked() {
  disabled_.store(false, std::memory_order_relaxed);
  second_flag_ = false;
  minimum_level_.store(kLogWarning, std::memory_order_relaxed);
  excluded_.store(kCategoryXtr, std::memory_order_relaxed);
  warning_count_ = 0;
  error_count_ = 0;
  for (LogTarget* target : targets_) target->attached_.store(false, std::memory_order_release);
  targets_.clear();

  auto reset = [](LogTarget& target, std::string_view pattern, uint64_t included,
                  uint64_t excluded) {
    std::lock_guard<std::mutex> target_lock(target.mutex_);
    target.minimum_level_ = kLogWarning;
    target.included_ = included;
    target.excluded_ = excluded;
    target.pattern_.assign(pattern);
  };
  reset(*std_err_, StdErrLogTarget::kPattern, kCategoryDbg, kCategoryGen);
  reset(*std_out_, StdOutLogTarget::kPattern, kCategoryGen, kCategoryDbg);
  reset(*debugger_, DebuggerConsoleLogTarget::kPattern, kCategoryDbg, 0);
  std_out_->SetAutoFlush(false);
  for (LogTarget* target :
       {static_cast<LogTarget*>(std_err_.get()), static_cast<LogTarget*>(debugger_.get())}) {
    target->attached_.store(true, std::memory_order_release);
    targets_.push_back(target);
  }
}

void Logger::SetMinimumLevel(int32_t level) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  minimum_level_.store(level, std::memory_order_relaxed);
}

void Logger::SetExcludedCategories(uint64_t mask) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  excluded_.store(mask, std::memory_order_relaxed);
}

void Logger::Disable() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  disabled_.store(true, std::memory_order_relaxed);
}

void Logger::Enable() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  disabled_.store(false, std::memory_order_relaxed);
}

void Logger::SetSecondFlag(bool on) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  second_flag_ = on;
}

bool Logger::SecondFlag() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return second_flag_;
}

void Logger::Dispatch(LogRecord& record) {
  if (t_dispatching) return;
  record.time = LocalTime();
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  t_dispatching = true;
  if (record.level == kLogWarning) ++warning_count_;
  if (record.level == kLogError) ++error_count_;
  // By index: a target may detach itself (or another) from inside its Write.
  for (size_t i = 0; i < targets_.size(); ++i) targets_[i]->Offer(record);
  t_dispatching = false;
}

void Logger::Attach(LogTarget* target) {
  if (target == nullptr) return;
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (std::find(targets_.begin(), targets_.end(), target) != targets_.end()) return;
  targets_.push_back(target);
  target->attached_.store(true, std::memory_order_release);
}

void Logger::Detach(LogTarget* target) {
  if (target == nullptr) return;
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = std::find(targets_.begin(), targets_.end(), target);
  if (it != targets_.end()) targets_.erase(it);
  target->attached_.store(false, std::memory_order_release);
}

LogTarget* Logger::FindAttached(std::string_view name) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  for (LogTarget* target : targets_) {
    if (target->Name() == name) return target;
  }
  return nullptr;
}

std::vector<LogTarget*> Logger::AttachedTargets() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return targets_;
}

uint32_t Logger::WarningCount() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return warning_count_;
}

uint64_t Logger::ErrorCount() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return error_count_;
}

void Logger::SetClock(const LogClock& clock) {
  local_time_.store(clock.localTime, std::memory_order_release);
  monotonic_.store(clock.monotonicNanoseconds, std::memory_order_release);
  monotonic_origin_.store(kNoOrigin, std::memory_order_release);
}

LogTime Logger::LocalTime() const {
  LogTime (*clock)() = local_time_.load(std::memory_order_acquire);
  return clock != nullptr ? clock() : Platform::LocalTimeNow();
}

int64_t Logger::MonotonicSinceStart() {
  int64_t (*clock)() = monotonic_.load(std::memory_order_acquire);
  int64_t now = clock != nullptr ? clock() : Platform::MonotonicNanoseconds();
  int64_t origin = kNoOrigin;
  if (monotonic_origin_.compare_exchange_strong(origin, now, std::memory_order_acq_rel)) {
    return 0;
  }
  return now - origin;
}

LogTarget& Logger::StdErrTarget() { return *std_err_; }
StdOutLogTarget& Logger::StdOutTarget() { return *std_out_; }
LogTarget& Logger::DebuggerTarget() { return *debugger_; }

void Log(int32_t level, uint32_t category_low, uint32_t category_high, const char* format, ...) {
  Logger& logger = Logger::Instance();
  if (!logger.Accepts(level, (uint64_t{category_high} << 32) | category_low)) return;
  LogRecord record;
  record.level = level;
  record.categoryLow = category_low;
  record.categoryHigh = category_high;
  va_list args;
  va_start(args, format);
  // vsnprintf cuts what does not fit and always terminates.
  if (std::vsnprintf(record.message, sizeof(record.message), format ? format : "", args) < 0) {
    record.message[0] = 0;
  }
  va_end(args);
  logger.Dispatch(record);
}

void LogText(int32_t level, uint64_t category_mask, std::string_view message) {
  Logger& logger = Logger::Instance();
  if (!logger.Accepts(level, category_mask)) return;
  LogRecord record;
  record.level = level;
  record.categoryLow = static_cast<uint32_t>(category_mask);
  record.categoryHigh = static_cast<uint32_t>(category_mask >> 32);
  size_t length = std::min(message.size(), sizeof(record.message) - 1);
  std::memcpy(record.message, message.data(), length);
  record.message[length] = 0;
  logger.Dispatch(record);
}

const char* LevelName(int32_t level) {
  static constexpr const char* kNames[] = {"  OKAY", "  WARN", " ERROR", "ALWAYS"};
  if (level < 0 || level > kLogAlways) return "  ????";
  return kNames[level];
}

}  // namespace Varn

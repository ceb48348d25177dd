// The process-wide logger: filters messages by level and category, formats each once and offers
// the record to every attached target in attach order.
#ifndef ZEK_RUNTIME_LOGGER_H_
#define ZEK_RUNTIME_LOGGER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/log_record.h"
#include "runtime/log_target.h"

namespace Varn {

class ConsoleLogTarget;
class StdOutLogTarget;

// The clocks a record's time and the "#H" pattern code read. Either may be null, meaning the
// platform's own; tests install fixed ones.
struct LogClock {
  LogTime (*localTime)() = nullptr;
  int64_t (*monotonicNanoseconds)() = nullptr;
};

// One per process, created by the first Acquire or message. Every method is thread-safe.
// Acquire/Release count the users (each plugin object holds one reference); when the last one
// releases, the logger returns to the state it was created in: default settings, counters at
// zero, only the standard-error and debugger targets attached. Its memory is never freed, so a
// message from any thread at any time finds a valid logger.
class Logger {
 public:
  static Logger& Instance();
  static Logger& Acquire();
  static void Release();

  void SetMinimumLevel(int32_t level);
  int32_t MinimumLevel() const { return minimum_level_.load(std::memory_order_relaxed); }
  void SetExcludedCategories(uint64_t mask);
  uint64_t ExcludedCategories() const { return excluded_.load(std::memory_order_relaxed); }
  void Disable();
  void Enable();
  bool IsDisabled() const { return disabled_.load(std::memory_order_relaxed); }
  // A flag kept for users of the logging interface; nothing in this library reads it.
  void SetSecondFlag(bool on);
  bool SecondFlag() const;

  // The logger's first filter: false when the message is dropped before formatting.
  bool Accepts(int32_t level, uint64_t category_mask) const {
    return !disabled_.load(std::memory_order_relaxed) &&
           level >= minimum_level_.load(std::memory_order_relaxed) &&
           (category_mask & excluded_.load(std::memory_order_relaxed)) == 0;
  }

  // Stamps the record's time, counts it and offers it to every attached target. A message
  // logged from inside a target's Write on the same thread is dropped: it could only deadlock
  // or recurse without end.
  void Dispatch(LogRecord& record);

  // The list of attached targets, in attach order.
  void Attach(LogTarget* target);
  void Detach(LogTarget* target);
  LogTarget* FindAttached(std::string_view name) const;
  std::vector<LogTarget*> AttachedTargets() const;

  // Messages that passed the logger's filter, at level 1 and level 2.
  uint32_t WarningCount() const;
  uint64_t ErrorCount() const;

  // The file name of the running executable ("<unknown>" when it cannot be found).
  const std::string& ExecutableName() const { return executable_name_; }

  void SetClock(const LogClock& clock);
  LogTime LocalTime() const;
  // Nanoseconds since the first reading of the monotonic clock.
  int64_t MonotonicSinceStart();

  LogTarget& StdErrTarget();
  StdOutLogTarget& StdOutTarget();
  LogTarget& DebuggerTarget();

 private:
  Logger();
  ~Logger() = default;  // never called: see the class comment
  void ResetLocked();

  mutable std::recursive_mutex mutex_;
  std::atomic<bool> disabled_{false};
  bool second_flag_ = false;
  std::atomic<int32_t> minimum_level_{kLogWarning};
  std::atomic<uint64_t> excluded_{4};
  uint32_t warning_count_ = 0;
  uint64_t error_count_ = 0;
  std::vector<LogTarget*> targets_;
  std::string executable_name_;
  std::atomic<LogTime (*)()> local_time_{nullptr};
  std::atomic<int64_t (*)()> monotonic_{nullptr};
  std::atomic<int64_t> monotonic_origin_{0};
  std::atomic<bool> monotonic_started_{false};
  std::atomic<int> references_{0};
  std::unique_ptr<ConsoleLogTarget> std_err_;
  std::unique_ptr<StdOutLogTarget> std_out_;
  std::unique_ptr<ConsoleLogTarget> debugger_;
};

// The entry all code logs through: `format` is a printf format over the arguments. Messages
// longer than 4095 characters are cut.
void Log(int32_t level, uint32_t category_low, uint32_t category_high, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// The same for a message that is already text (a FormatMessage result, say); no % is read.
void LogText(int32_t level, uint64_t category_mask, std::string_view message);

// The six-character name that "#L" prints: "  OKAY", "  WARN", " ERROR", "ALWAYS"; other levels
// print as "  ????".
const char* LevelName(int32_t level);

}  // namespace Varn

#endif  // ZEK_RUNTIME_LOGGER_H_

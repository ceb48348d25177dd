// The built-in targets that expand their pattern and write the line to a console stream or the
// debugger.
#ifndef ZEK_RUNTIME_CONSOLE_LOG_TARGET_H_
#define ZEK_RUNTIME_CONSOLE_LOG_TARGET_H_

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <string_view>

#include "runtime/log_target.h"

namespace Varn {

// Expands the pattern for each record and hands the line to WriteLine, under the target's lock.
class ConsoleLogTarget : public LogTarget {
 public:
  bool Write(const LogRecord& record) override;

 protected:
  // `line` is NUL-terminated and ends with a line feed.
  virtual void WriteLine(const char* line, size_t length) = 0;
};

// Standard error; by default it takes "DBG" records but not "GEN" ones.
class StdErrLogTarget : public ConsoleLogTarget {
 public:
  static constexpr std::string_view kName = "StdErrLogTarget";
  static constexpr std::string_view kPattern = "#E(#T): #L| #M";
  std::string_view Name() const override { return kName; }
  void Flush() override;

 protected:
  void WriteLine(const char* line, size_t length) override;
};

// Standard output; by default it takes "GEN" records but not "DBG" ones.
class StdOutLogTarget : public ConsoleLogTarget {
 public:
  static constexpr std::string_view kName = "StdOutLogTarget";
  static constexpr std::string_view kPattern = "#M";
  std::string_view Name() const override { return kName; }
  void Flush() override;
  // When on, the stream is flushed after every line.
  void SetAutoFlush(bool on) { auto_flush_.store(on, std::memory_order_relaxed); }

 protected:
  void WriteLine(const char* line, size_t length) override;

 private:
  std::atomic<bool> auto_flush_{false};
};

// The platform's debugger output; on Linux there is none, so lines go nowhere, but the target
// attaches and filters like any other.
class DebuggerConsoleLogTarget : public ConsoleLogTarget {
 public:
  static constexpr std::string_view kName = "DebuggerConsoleLogTarget";
  static constexpr std::string_view kPattern = "#E(#T): #L| #M";
  std::string_view Name() const override { return kName; }

 protected:
  void WriteLine(const char* line, size_t length) override;
};

}  // namespace Varn

#endif  // ZEK_RUNTIME_CONSOLE_LOG_TARGET_H_

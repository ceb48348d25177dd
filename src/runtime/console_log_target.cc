#include "runtime/console_log_target.h"

#include "runtime/log_pattern.h"
#include "runtime/runtime_platform.h"

namespace Varn {

bool ConsoleLogTarget::Write(const LogRecord& record) {
  char line[kLogBufferSize];
  size_t length = ExpandPattern(PatternLocked(), record, line);
  WriteLine(line, length);
  return true;
}

void StdErrLogTarget::Flush() { std::fflush(stderr); }

void StdErrLogTarget::WriteLine(const char* line, size_t length) {
  std::fwrite(line, 1, length, stderr);
}

void StdOutLogTarget::Flush() { std::fflush(stdout); }

void StdOutLogTarget::WriteLine(const char* line, size_t length) {
  std::fwrite(line, 1, length, stdout);
  if (auto_flush_.load(std::memory_order_relaxed)) std::fflush(stdout);
}

void DebuggerConsoleLogTarget::WriteLine(const char* line, size_t) {
  Platform::WriteDebuggerOutput(line);
}

}  // namespace Varn

// The process-wide logging interface as a table of plain functions, for code that reaches the
// logger through a pointer rather than by linking against it.
#ifndef ZEK_RUNTIME_LOGGING_INTERFACE_H_
#define ZEK_RUNTIME_LOGGING_INTERFACE_H_

#include <cstddef>
#include <cstdint>

#include "runtime/log_record.h"

namespace Varn {

class LogTarget;

inline constexpr int32_t kLoggingInterfaceVersion = 1;

// The order of the entries is part of the interface: new entries go at the end.
struct LoggingInterface {
  int32_t (*interfaceVersion)();
  void (*acquire)();
  void (*release)();
  void (*setMinimumLevel)(int32_t level);
  int32_t (*minimumLevel)();
  void (*setExcludedCategories)(uint32_t low, uint32_t high);
  uint64_t (*excludedCategories)();
  void (*disable)();
  void (*enable)();
  void (*setSecondFlag)();
  void (*clearSecondFlag)();
  void (*attachTarget)(LogTarget* target);
  void (*detachTarget)(LogTarget* target);
  // Null when no attached target has that name.
  LogTarget* (*findAttachedTarget)(const char* name);
  uint64_t (*registerCategory)(const char* name);
  const char* (*levelName)(int32_t level);
  // Expands `pattern` for `record` into `line`, which holds kLogBufferSize bytes; returns the
  // line's length.
  size_t (*expandPattern)(const char* pattern, const LogRecord* record, char* line);
};

const LoggingInterface& GetLoggingInterface();

}  // namespace Varn

#endif  // ZEK_RUNTIME_LOGGING_INTERFACE_H_

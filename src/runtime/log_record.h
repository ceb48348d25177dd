// The record that one accepted log message becomes, and the levels it carries.
#ifndef ZEK_RUNTIME_LOG_RECORD_H_
#define ZEK_RUNTIME_LOG_RECORD_H_

#include <cstddef>
#include <cstdint>

namespace Varn {

// Log levels; the logger drops levels below its minimum, targets below theirs.
inline constexpr int32_t kLogInfo = 0;
inline constexpr int32_t kLogWarning = 1;
inline constexpr int32_t kLogError = 2;
inline constexpr int32_t kLogAlways = 3;

// Messages and expanded lines live in buffers of this size, NUL included.
inline constexpr size_t kLogBufferSize = 4096;

// Local wall-clock time of a record.
struct LogTime {
  int32_t year = 0;
  int32_t month = 0;  // 1-12
  int32_t day = 0;    // 1-31
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  int32_t millisecond = 0;
};

// Built per message on the caller's stack and handed to each target; lives for the call only.
struct LogRecord {
  LogTime time;
  int32_t level = 0;
  uint32_t categoryLow = 0;
  uint32_t categoryHigh = 0;
  // At most 4095 characters and a NUL. Left uninitialised by the constructor: Log fills it, and
  // clearing 4 KiB per message would cost more than the rest of a filtered call.
  char message[kLogBufferSize];

  uint64_t CategoryMask() const { return (uint64_t{categoryHigh} << 32) | categoryLow; }
};

}  // namespace Varn

#endif  // ZEK_RUNTIME_LOG_RECORD_H_

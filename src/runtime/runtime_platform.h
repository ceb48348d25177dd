// The operating-system facilities that the runtime services use, behind one small file so that
// another platform only replaces runtime_platform.cc.
#ifndef ZEK_RUNTIME_RUNTIME_PLATFORM_H_
#define ZEK_RUNTIME_RUNTIME_PLATFORM_H_

#include <cstdint>
#include <string>

#include "runtime/log_record.h"
#include "runtime/trace_providers.h"

namespace Varn::Platform {

// The current local wall-clock time, to the millisecond.
LogTime LocalTimeNow();

// A monotonic counter in nanoseconds, and its ticks per second.
int64_t MonotonicNanoseconds();
int64_t PerformanceFrequency();

// The calling thread's id as the operating system numbers it.
uint64_t CurrentThreadId();

// The full path of the running executable, or "" when it cannot be found.
std::string ModulePath();

// Hands one line to an attached debugger. Linux has no debugger output channel, so this writes
// nowhere there.
void WriteDebuggerOutput(const char* line);

// The event-tracing functions of the platform, looked up at run time; all null when the platform
// has none, which turns tracing off.
TraceFunctions LookUpTraceFunctions();

}  // namespace Varn::Platform

#endif  // ZEK_RUNTIME_RUNTIME_PLATFORM_H_

#include "runtime/runtime_platform.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

namespace Varn::Platform {

LogTime LocalTimeNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  // Converting to local time takes the time-zone lock; a thread that logs many lines in one
  // second converts that second once.
  thread_local time_t cached_second = -1;
  thread_local tm local{};
  if (now.tv_sec != cached_second) {
    localtime_r(&now.tv_sec, &local);
    cached_second = now.tv_sec;
  }
  LogTime time;
  time.year = local.tm_year + 1900;
  time.month = local.tm_mon + 1;
  time.day = local.tm_mday;
  time.hour = local.tm_hour;
  time.minute = local.tm_min;
  time.second = local.tm_sec;
  time.millisecond = static_cast<int32_t>(now.tv_nsec / 1000000);
  return time;
}

int64_t MonotonicNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t PerformanceFrequency() { return 1000000000; }

uint64_t CurrentThreadId() {
  // The kernel's thread id, as debuggers and /proc show it; cached because the call is a syscall.
  thread_local const uint64_t id = static_cast<uint64_t>(syscall(SYS_gettid));
  return id;
}

std::string ModulePath() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return "";
  return std::string(path, static_cast<size_t>(n));
}

void WriteDebuggerOutput(const char*) {}

TraceFunctions LookUpTraceFunctions() { return TraceFunctions{}; }

}  // namespace Varn::Platform

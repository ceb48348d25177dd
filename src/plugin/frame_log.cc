#include "plugin/frame_log.h"

#include <cstdio>
#include <string>

// The logger lands separately; until it is in the tree the lines go to the standard error stream.
#if __has_include("runtime/logger.h") && __has_include("runtime/assert_report.h")
#include "runtime/assert_report.h"
#include "runtime/logger.h"
#define ZEK_HAVE_LOGGER 1
#endif

namespace Varn {
namespace {

constexpr uint64_t kDebugCategory = 1;

}  // namespace

void FrameLog(int32_t level, std::string_view message) {
#ifdef ZEK_HAVE_LOGGER
  LogText(level, kDebugCategory, message);
#else
  (void)kDebugCategory;
  std::fprintf(stderr, "%d| %.*s\n", level, static_cast<int>(message.size()), message.data());
#endif
}

void LogPluginManager(int32_t level, std::string_view message) {
  FrameLog(level, "            Plugin Manager| " + std::string(message));
}

void FrameAssertFailed(std::string_view identifier, std::string_view description) {
#ifdef ZEK_HAVE_LOGGER
  AssertFailed(identifier, description);
#else
  FrameLog(kFrameLogError, "Assertion failed!\n\nExpression: " + std::string(identifier) +
                               "\n\nDescription: " + std::string(description));
#endif
}

}  // namespace Varn

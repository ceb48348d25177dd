#include "plugin/frame_log.h"

#include <string>

#include "runtime/assert_report.h"
#include "runtime/logger.h"

namespace Varn {
namespace {

constexpr uint64_t kDebugCategory = 1;

}  // namespace

void FrameLog(int32_t level, std::string_view message) { LogText(level, kDebugCategory, message); }

void LogPluginManager(int32_t level, std::string_view message) {
  FrameLog(level, "            Plugin Manager| " + std::string(message));
}

void FrameAssertFailed(std::string_view identifier, std::string_view description) {
  AssertFailed(identifier, description);
}

}  // namespace Varn

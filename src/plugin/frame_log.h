// The frame's log lines and assertion reports, written through the process-wide logger with the
// "DBG" category.
#ifndef ZEK_PLUGIN_FRAME_LOG_H_
#define ZEK_PLUGIN_FRAME_LOG_H_

#include <cstdint>
#include <string_view>

namespace Varn {

inline constexpr int32_t kFrameLogInfo = 0;
inline constexpr int32_t kFrameLogWarning = 1;
inline constexpr int32_t kFrameLogError = 2;
inline constexpr int32_t kFrameLogAlways = 3;

void FrameLog(int32_t level, std::string_view message);
// A line of the plugin manager: "            Plugin Manager| " and the message.
void LogPluginManager(int32_t level, std::string_view message);
// An assertion report (level 2, "DBG") for a condition the caller does not continue from.
void FrameAssertFailed(std::string_view identifier, std::string_view description);

}  // namespace Varn

#endif  // ZEK_PLUGIN_FRAME_LOG_H_

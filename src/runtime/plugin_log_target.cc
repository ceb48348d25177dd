#include "runtime/plugin_log_target.h"

#include "runtime/console_log_target.h"
#include "runtime/log_category_table.h"
#include "runtime/logger.h"

namespace Varn {

PluginLogTarget::~PluginLogTarget() { Detach(); }

bool PluginLogTarget::Write(const LogRecord& record) {
  if (writer_ != nullptr) writer_(context_, record.level, record.message);
  return true;
}

void InstallPluginLogTarget(std::unique_ptr<LogTarget>& slot, PluginLogWriter writer,
                            void* context) {
  Logger& logger = Logger::Instance();
  if (logger.FindAttached(PluginLogTarget::kName) != nullptr) return;
  logger.StdOutTarget().Detach();
  logger.StdErrTarget().Detach();
  logger.DebuggerTarget().Detach();
  logger.SetMinimumLevel(kLogInfo);
  logger.SetExcludedCategories(kCategoryXtr);
  slot = std::make_unique<PluginLogTarget>(writer, context);
  slot->Configure(logger.MinimumLevel(), 0, 0, kDefaultLogPattern);
}

}  // namespace Varn

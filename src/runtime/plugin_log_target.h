// The log target of a started plugin: forwards every record to the host's log.
#ifndef ZEK_RUNTIME_PLUGIN_LOG_TARGET_H_
#define ZEK_RUNTIME_PLUGIN_LOG_TARGET_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "runtime/log_target.h"

namespace Varn {

// Hands one record to the host: its level and its raw message (NUL-terminated, valid for the
// call). `context` is the value given with the function. The host formats the line itself.
using PluginLogWriter = void (*)(void* context, int32_t level, const char* message);

// Forwards level and raw message through the writer; the pattern is kept (and reported) but not
// expanded. The runtime knows nothing of the host table: the plugin frame supplies a writer that
// calls the host's WriteLog operation and the table as context.
class PluginLogTarget : public LogTarget {
 public:
  static constexpr std::string_view kName = "PluginLogTarget";

  PluginLogTarget(PluginLogWriter writer, void* context) : writer_(writer), context_(context) {}
  ~PluginLogTarget() override;

  std::string_view Name() const override { return kName; }
  bool Write(const LogRecord& record) override;

 private:
  PluginLogWriter writer_;
  void* context_;
};

// Routes the process's log into a started plugin's host. The plugin frame calls this from the
// plugin's start callback as soon as it holds the host record, before the plugin's own Start:
//
//   InstallPluginLogTarget(logTarget_, &WriteToHost, hostApi);
//
// with `logTarget_` the plugin object's target slot, `hostApi` the host's function table from the
// host record, and WriteToHost(context, level, message) calling the table's WriteLog (operation
// 9) on that table. Steps: when a target named "PluginLogTarget" is already attached, nothing
// changes (a restart keeps its target). Otherwise the standard-output, standard-error and
// debugger targets are detached, the logger's minimum level becomes 0 and its excluded
// categories "XTR", a new PluginLogTarget replaces (and destroys) whatever `slot` held, and it is
// configured with minimum level 0, no category filters and the pattern "#D| #L| #G| #M", which
// attaches it.
//
// The frame keeps `slot` for the plugin object's life and resets it when the object is
// destroyed, while the host table is still valid: destroying the target detaches it.
// REQUIRES: `writer` is not null and may be called from any thread that logs.
void InstallPluginLogTarget(std::unique_ptr<LogTarget>& slot, PluginLogWriter writer,
                            void* context);

}  // namespace Varn

#endif  // ZEK_RUNTIME_PLUGIN_LOG_TARGET_H_

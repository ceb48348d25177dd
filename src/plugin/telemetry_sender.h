// TelemetrySender: sends a named event with a payload record to the host's telemetry service.
// Created when the plugin starts and owned by PluginBase.
#ifndef ZEK_PLUGIN_TELEMETRY_SENDER_H_
#define ZEK_PLUGIN_TELEMETRY_SENDER_H_

#include <future>
#include <string_view>

#include "binding/binding_property.h"
#include "plugin/call_result.h"

namespace Varn {

class PluginBase;

class TelemetrySender {
 public:
  static constexpr std::string_view kPathPrefix = "/telemetry/v1/events/";

  // REQUIRES: `plugin` outlives the sender.
  explicit TelemetrySender(PluginBase& plugin) : plugin_(plugin) {}
  virtual ~TelemetrySender() = default;
  TelemetrySender(const TelemetrySender&) = delete;
  TelemetrySender& operator=(const TelemetrySender&) = delete;

  // POSTs each member of `payload` as a named argument to "/telemetry/v1/events/" + `name`,
  // synchronously. The future is complete on return and holds the call's result, failed or not.
  virtual std::future<CallResult> SendTelemetryEvent(std::string_view name,
                                                     const BindingProperty& payload);

 private:
  PluginBase& plugin_;
};

// A future that is already complete with `result`.
std::future<CallResult> CompletedCall(CallResult result);

}  // namespace Varn

#endif  // ZEK_PLUGIN_TELEMETRY_SENDER_H_

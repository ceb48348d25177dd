#include "plugin/telemetry_sender.h"

#include <string>
#include <vector>

#include "plugin/client_call.h"
#include "plugin/plugin_base.h"

namespace Varn {

std::future<CallResult> CompletedCall(CallResult result) {
  std::promise<CallResult> promise;
  promise.set_value(std::move(result));
  return promise.get_future();
}

std::future<CallResult> TelemetrySender::SendTelemetryEvent(std::string_view name,
                                                            const BindingProperty& payload) {
  std::vector<CallArgument> arguments;
  arguments.reserve(payload.Size());
  payload.ForEachMember([&](std::string_view key, const BindingProperty& value) {
    arguments.push_back(CallArgument{std::string(key), BindingResult(value)});
  });
  std::string path(kPathPrefix);
  path += name;
  return CompletedCall(plugin_.CallFunction(PLUGIN_METHOD_POST, path, arguments));
}

}  // namespace Varn

// ClientCall: synchronous calls from a plugin to other services' paths, through the host's
// SendRequest. Arguments and typed results are converted with the same rules as route
// arguments; a streamed response is read to its end, yielding to the host between short reads.
#ifndef ZEK_PLUGIN_CLIENT_CALL_H_
#define ZEK_PLUGIN_CLIENT_CALL_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "binding/binding_property.h"
#include "binding/message_format.h"
#include "plugin/call_result.h"
#include "plugin/route_argument.h"
#include "zek/plugin_abi.h"

namespace Varn {

class PluginBase;

// A named argument of a call: its converted value, or the conversion's failure.
struct CallArgument {
  std::string name;
  BindingResult value;
};

// The argument `name` with the value of a native `value`. Records and enumerations are converted
// through `registry` (the calling plugin's), where they must be registered.
template <class T>
CallArgument Arg(std::string_view name, T value, const BindingRegistry* registry = nullptr) {
  CallArgument argument{std::string(name), BindingResult()};
  RouteReturn<std::decay_t<T>>::ToValue(argument.value, std::move(value), argument.value.value,
                                        registry);
  return argument;
}

class ClientCall {
 public:
  // Pieces of a streamed body are asked for in this size.
  static constexpr size_t kStreamPiece = 4096;

  // Sends `method` on `path` (which may carry a query) with `arguments` and waits for the
  // answer. Never throws.
  static CallResult Call(PluginBase& plugin, uint32_t method, std::string_view path,
                         std::span<const CallArgument> arguments) noexcept;

  // The same, with the response value converted to T.
  template <class T>
  static TypedCallResult<T> Call(PluginBase& plugin, uint32_t method, std::string_view path,
                                 std::span<const CallArgument> arguments) noexcept {
    TypedCallResult<T> typed;
    uint32_t answer_status = 0;
    static_cast<CallResult&>(typed) = Call(plugin, method, path, arguments, answer_status);
    if (typed.error) return typed;
    try {
      BindingResult converted;
      T native{};
      RouteArgument<T>::Assign(converted, typed.value, kResultName, native, RegistryOf(plugin));
      if (converted.IsOk()) {
        typed.data = std::move(native);
      } else {
        ConversionFailed(typed, answer_status, method, path, converted.ErrorMessage());
      }
    } catch (const std::exception& error) {
      ConversionFailed(typed, answer_status, method, path, error.what());
    }
    return typed;
  }

  // Reads a streamed body to its end into `body`. False with `error` set when a read fails.
  static bool ReadStream(PluginBase& plugin, const PluginResponse& response, std::string& body,
                         std::string& error);

 private:
  static constexpr std::string_view kResultName = "<result>";
  // The plugin's type registry, through which typed answers are converted.
  static const BindingRegistry* RegistryOf(PluginBase& plugin);
  // The call itself; `answer_status` receives the status of the answer, 0 when none came.
  static CallResult Call(PluginBase& plugin, uint32_t method, std::string_view path,
                         std::span<const CallArgument> arguments, uint32_t& answer_status) noexcept;
  // What an error response says: its error text, else its status's reason phrase.
  static std::string ErrorText(const PluginResponse& response);
  // A typed answer that does not convert is an error with the answer's status.
  static void ConversionFailed(CallResult& result, uint32_t status, uint32_t method,
                               std::string_view path, std::string_view message);
};

}  // namespace Varn

#endif  // ZEK_PLUGIN_CLIENT_CALL_H_

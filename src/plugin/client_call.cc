#include "plugin/client_call.h"

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "binding/heap.h"
#include "binding/json_reader.h"
#include "binding/reason_phrase.h"
#include "plugin/function_name.h"
#include "plugin/plugin_base.h"

namespace Varn {
namespace {

constexpr uint32_t kNotSent = 400;
constexpr std::string_view kNotSentFormat =
    "Request not sent: Error converting parameters for %1 %2: %3";
constexpr std::string_view kNoHostFormat = "Request not sent: no host to carry %1 %2";
constexpr std::string_view kErrorResponse = "Error response for %1 %2: %3";
constexpr std::string_view kStreamFailed = "Error reading streamed response for %1 %2: %3";
constexpr std::string_view kConvertFailed = "Error converting response for %1 %2: %3";
constexpr std::string_view kStreamReadError = "Stream read error";
constexpr std::string_view kResultName = "<result>";
// Statuses from here up are errors even when the callee gave no error text (a 304 carries no
// value to read, a 503 says nothing was done).
constexpr uint32_t kFirstErrorStatus = 300;

void Fail(CallResult& result, uint32_t status, std::string message) {
  result.status = status;
  result.error = true;
  result.message = std::move(message);
  result.value.Reset();
}

// Owns the converted arguments until the call returns.
class RequestArguments {
 public:
  ~RequestArguments() {
    for (PluginNamedArgument& argument : arguments_)
      BindingProperty::ReleaseBoundary(argument.value);
  }
  // False with `error` set when an argument has no value to send.
  bool Convert(std::span<const CallArgument> arguments, std::string& error) {
    arguments_.reserve(arguments.size());
    for (const CallArgument& argument : arguments) {
      if (!argument.value.IsOk()) {
        error = argument.value.ErrorMessage();
        return false;
      }
      arguments_.push_back(PluginNamedArgument{argument.name.c_str(), PluginCell{}});
      BindingProperty::ToBoundary(argument.value.value, nullptr, arguments_.back().value);
    }
    return true;
  }
  const PluginNamedArgument* Data() const {
    return arguments_.empty() ? nullptr : arguments_.data();
  }
  size_t Count() const { return arguments_.size(); }

 private:
  std::vector<PluginNamedArgument> arguments_;
};

// Releases the response through its own release function, whatever the call's path out.
struct ResponseGuard {
  PluginResponse response{};
  ~ResponseGuard() {
    if (response.release != nullptr) response.release(&response);
  }
};

}  // namespace

bool ClientCall::ReadStream(PluginBase& plugin, const PluginResponse& response, std::string& body,
                            std::string& error) {
  bool ok = true;
  uint8_t piece[kStreamPiece];
  for (;;) {
    size_t length = 0;
    uint8_t more = 0;
    if (response.streamRead(response.stream, piece, sizeof piece, &length, &more) == 0) {
      error = std::string(kStreamReadError);
      ok = false;
      break;
    }
    // A reader that claims more than it was given room for is not believed past the buffer.
    if (length > sizeof piece) length = sizeof piece;
    body.append(reinterpret_cast<const char*>(piece), length);
    if (more == 0) break;
    if (length < sizeof piece) plugin.WaitYield();
  }
  if (response.streamRelease != nullptr) response.streamRelease(response.stream);
  return ok;
}

const BindingRegistry* ClientCall::RegistryOf(PluginBase& plugin) { return &plugin.Registry(); }

void ClientCall::ConversionFailed(CallResult& result, uint32_t status, uint32_t method,
                                  std::string_view path, std::string_view message) {
  result.status = status;
  result.error = true;
  result.message = FormatMessage(kConvertFailed, MethodName(method), path, message);
  result.value.Reset();
}

std::string ClientCall::ErrorText(const PluginResponse& response) {
  if (response.result.errorText != nullptr && response.result.errorText[0] != '\0') {
    return response.result.errorText;
  }
  // Without a text of its own the status speaks; a code outside the table by its number.
  std::optional<std::string_view> phrase = ReasonPhrase(static_cast<int>(response.status));
  if (phrase.has_value()) return std::string(*phrase);
  return std::to_string(response.status);
}

CallResult ClientCall::Call(PluginBase& plugin, uint32_t method, std::string_view path,
                            std::span<const CallArgument> arguments) noexcept {
  uint32_t answer_status = 0;
  return Call(plugin, method, path, arguments, answer_status);
}

CallResult ClientCall::Call(PluginBase& plugin, uint32_t method, std::string_view path,
                            std::span<const CallArgument> arguments,
                            uint32_t& answer_status) noexcept {
  CallResult result;
  answer_status = 0;
  std::string_view method_name = MethodName(method);
  try {
    RequestArguments converted;
    std::string error;
    if (!converted.Convert(arguments, error)) {
      Fail(result, kNotSent, FormatMessage(kNotSentFormat, method_name, path, error));
      return result;
    }
    std::string path_text(path);
    PluginRequest request{};
    request.method = method;
    request.path = path_text.c_str();
    request.arguments = converted.Data();
    request.argumentCount = converted.Count();
    request.callerHandle = plugin.Handle();

    ResponseGuard guard;
    PluginResponse& response = guard.response;
    if (plugin.SendRequest(&response, &request) != PLUGIN_HOST_OK) {
      Fail(result, kNotSent, FormatMessage(kNoHostFormat, method_name, path));
      return result;
    }
    answer_status = response.status;
    if (response.result.failed != 0 || response.result.errorText != nullptr ||
        response.status >= kFirstErrorStatus) {
      Fail(result, response.status,
           FormatMessage(kErrorResponse, method_name, path, ErrorText(response)));
      return result;
    }
    if (response.streamRead != nullptr) {
      std::string body;
      if (!ReadStream(plugin, response, body, error)) {
        Fail(result, response.status, FormatMessage(kStreamFailed, method_name, path, error));
        return result;
      }
      BindingResult decoded = ParseJson(body);
      if (!decoded.IsOk()) {
        Fail(result, response.status,
             FormatMessage(kStreamFailed, method_name, path, decoded.ErrorMessage()));
        return result;
      }
      result.value = std::move(decoded.value);
      return result;
    }
    PluginBoundaryResult decoded{};
    if (!BindingProperty::FromBoundary(decoded, result.value, response.result.value, kResultName)) {
      std::string message = decoded.errorText != nullptr ? decoded.errorText : "";
      HeapFree(decoded.errorText);
      Fail(result, response.status, FormatMessage(kConvertFailed, method_name, path, message));
    }
  } catch (const std::exception& error) {
    Fail(result, kNotSent, FormatMessage(kErrorResponse, method_name, path, error.what()));
  } catch (...) {
    Fail(result, kNotSent, FormatMessage(kErrorResponse, method_name, path, "unknown error"));
  }
  return result;
}

}  // namespace Varn

#include "host/services/service_values.h"

#include <chrono>

#include "binding/json_reader.h"
#include "cell_json/cell_json_renderer.h"

namespace Varn::Host {
namespace {

constexpr uint32_t kBadRequest = 400;
constexpr uint32_t kUnsupportedMediaType = 415;

bool IsJsonType(std::string_view type) {
  type = type.substr(0, type.find(';'));
  while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
  return type.empty() || type == "application/json" || type == "text/json";
}

}  // namespace

bool RequestValue(const ServiceRequest& request, std::string_view argument, BindingProperty& value,
                  ServiceAnswer& refusal) {
  if (const BindingProperty* named = request.arguments.TryFind(argument)) {
    value = *named;
    return true;
  }
  const PluginRequest* raw = request.raw;
  if (raw != nullptr && raw->body != nullptr && raw->bodyLength != 0) {
    std::string_view type = raw->contentType != nullptr ? raw->contentType : "";
    if (!IsJsonType(type)) {
      refusal =
          ErrorAnswer(kUnsupportedMediaType, "Unsupported content type: " + std::string(type) +
                                                 "; this service reads JSON");
      return false;
    }
    BindingResult parsed =
        ParseJson(std::string_view(reinterpret_cast<const char*>(raw->body), raw->bodyLength));
    if (!parsed.IsOk()) {
      refusal = ErrorAnswer(kBadRequest, "Invalid JSON body: " + parsed.ErrorMessage());
      return false;
    }
    value = std::move(parsed.value);
    return true;
  }
  value.Reset();
  if (request.arguments.GetType() == BindingPropertyType::Structure &&
      request.arguments.Size() == 1) {
    request.arguments.ForEachMember(
        [&](std::string_view, const BindingProperty& member) { value = member; });
  }
  return true;
}

std::string ToJson(const BindingProperty& value) {
  PluginCell cell{};
  BindingProperty::ToBoundary(value, nullptr, cell);
  std::string json = RenderCellJson(cell);
  BindingProperty::ReleaseBoundary(cell);
  return json;
}

BindingProperty FromJson(std::string_view json) {
  BindingResult parsed = ParseJson(json);
  return parsed.IsOk() ? std::move(parsed.value) : BindingProperty();
}

ServiceAnswer ValueAnswer(BindingProperty value) {
  ServiceAnswer answer;
  answer.value = std::move(value);
  return answer;
}

ServiceAnswer NoContent() {
  ServiceAnswer answer;
  answer.status = 204;
  return answer;
}

ServiceAnswer ErrorAnswer(uint32_t status, std::string message) {
  ServiceAnswer answer;
  answer.status = status;
  answer.error = std::move(message);
  return answer;
}

uint64_t NowMilliseconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace Varn::Host

#include "plugin/plugin_service_proxy_response.h"

#include "binding/binding_assign.h"
#include "binding/message_format.h"
#include "plugin/route_argument.h"

namespace Varn {
namespace {

constexpr std::string_view kRequired = "A value for '%1' is required.";
constexpr std::string_view kNotStructure =
    "Couldn't assign value to '%1' of type %2 because the input not a structure.";

void AssignMember(BindingResult& result, const BindingProperty& value, std::string_view name,
                  std::string& out) {
  const BindingProperty* member = value.TryFind(name);
  if (member == nullptr || member->IsEmpty()) return;
  std::string_view text = AssignString(result, *member, name, nullptr);
  if (result.IsOk()) out.assign(text);
}

}  // namespace

void ServiceProxyResponseFromValue(BindingResult& result, const BindingProperty& value,
                                   std::string_view field_name,
                                   Client::AppModule::PluginServiceProxyResponse& response) {
  if (!result.IsOk()) return;
  if (value.IsEmpty()) return result.SetError(FormatMessage(kRequired, field_name));
  if (value.GetType() != BindingPropertyType::Structure) {
    return result.SetError(FormatMessage(kNotStructure, field_name, "PluginServiceProxyResponse"));
  }
  AssignMember(result, value, "uuid", response.uuid);
  AssignMember(result, value, "serviceName", response.serviceName);
  AssignMember(result, value, "methodName", response.methodName);
  AssignMember(result, value, "payload", response.payload);
  AssignMember(result, value, "status", response.status);
  AssignMember(result, value, "error", response.error);
}

}  // namespace Varn

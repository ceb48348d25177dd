// PluginServiceProxyResponse: a reply or push from a remote service, relayed by the host as an
// event, and its conversion from the value form in which it travels.
#ifndef ZEK_PLUGIN_PLUGIN_SERVICE_PROXY_RESPONSE_H_
#define ZEK_PLUGIN_PLUGIN_SERVICE_PROXY_RESPONSE_H_

#include <string>
#include <string_view>

#include "binding/binding_property.h"

namespace Varn::Client::AppModule {

struct PluginServiceProxyResponse {
  std::string uuid;
  std::string serviceName;
  std::string methodName;
  std::string payload;
  std::string status;
  std::string error;
};

}  // namespace Varn::Client::AppModule

namespace Varn {

// Fills `response` from the structure `value`; absent members keep their values. Does nothing
// once `result` has failed, and reports the first fault in it.
void ServiceProxyResponseFromValue(BindingResult& result, const BindingProperty& value,
                                   std::string_view field_name,
                                   Client::AppModule::PluginServiceProxyResponse& response);

}  // namespace Varn

#endif  // ZEK_PLUGIN_PLUGIN_SERVICE_PROXY_RESPONSE_H_

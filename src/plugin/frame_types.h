// The records and events every plugin's API registry holds besides the builtin ones: plugin
// manager state, resource events, data-service messages and service-proxy replies, all in the
// API name space "vclient".
#ifndef ZEK_PLUGIN_FRAME_TYPES_H_
#define ZEK_PLUGIN_FRAME_TYPES_H_

#include <cstdint>
#include <string>

#include "binding/binding_property.h"
#include "plugin/plugin_resource_event.h"
#include "plugin/plugin_service_proxy_response.h"

namespace Varn {
class BindingRegistry;
}  // namespace Varn

namespace Varn::Client {

enum class PluginManagerState : int32_t { NotReady = 0, PluginsInitialized = 1 };

struct PluginManagerResource {
  PluginManagerState state = PluginManagerState::NotReady;
};

}  // namespace Varn::Client

namespace Varn::Client::AppModule {

struct PluginDataServiceEvent {
  std::string clientId;
  std::string subtopic;
  std::string typeName;
  BindingProperty body;
};

struct PluginDataServiceResponse {
  std::string typeName;
  BindingProperty body;
};

}  // namespace Varn::Client::AppModule

namespace Varn {

inline constexpr const char* kFrameNameSpace = "vclient";

// Registers the types above and the events "OnJsonApiEvent", "OnDataServiceEvent",
// "OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent" and "OnServiceProxyAsyncEvent".
void RegisterFrameTypes(BindingRegistry& registry);

}  // namespace Varn

#endif  // ZEK_PLUGIN_FRAME_TYPES_H_

// ResourcePublisher: announces a change of a stand-in service's resource the way a plugin does,
// so that plugins hear the stand-ins as they would hear the real services: the event
// {uri, eventType, data} under the event name derived from the path, and again under the
// catch-all name "OnJsonApiEvent". Events are delivered after the host thread's current task.
#ifndef ZEK_HOST_SERVICES_RESOURCE_PUBLISHER_H_
#define ZEK_HOST_SERVICES_RESOURCE_PUBLISHER_H_

#include <string>
#include <string_view>

#include "binding/binding_property.h"
#include "host/runtime/event_name.h"
#include "host/runtime/host_runtime.h"

namespace Varn::Host {

enum class ResourceChange { kCreate, kUpdate, kDelete };

class ResourcePublisher {
 public:
  explicit ResourcePublisher(HostRuntime& runtime) : runtime_(runtime) {}
  void Publish(ResourceChange change, std::string_view path, const BindingProperty& data);

 private:
  HostRuntime& runtime_;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_SERVICES_RESOURCE_PUBLISHER_H_

// PluginResourceEvent: the change notification services send each other, and its conversion
// from and to the value form in which events travel ({"uri", "eventType", "data"}).
#ifndef ZEK_PLUGIN_PLUGIN_RESOURCE_EVENT_H_
#define ZEK_PLUGIN_PLUGIN_RESOURCE_EVENT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "binding/binding_property.h"

namespace Varn::Client {

enum class PluginResourceEventType : int32_t { Create = 0, Update = 1, Delete = 2 };

struct PluginResourceEvent {
  std::string uri;
  PluginResourceEventType eventType = PluginResourceEventType::Create;
  BindingProperty data;
};

// The event as a typed resource handler receives it: "data" converted to T.
template <class T>
struct TypedResourceEvent {
  std::string uri;
  PluginResourceEventType eventType = PluginResourceEventType::Create;
  T data{};
};

// "Create", "Update", "Delete"; "" for other values.
std::string_view PluginResourceEventTypeName(PluginResourceEventType type);

}  // namespace Varn::Client

namespace Varn {

// Fills `event` from the structure `value`; members that are absent keep their values. Does
// nothing once `result` has failed, and reports the first fault in it.
void ResourceEventFromValue(BindingResult& result, const BindingProperty& value,
                            std::string_view field_name, Client::PluginResourceEvent& event);

// The event as a structure; the event type is written by name.
BindingProperty ResourceEventToValue(std::string_view uri, Client::PluginResourceEventType type,
                                     const BindingProperty& data);

// The enumeration rule for one event type value: a known name, or a number equal to a known
// value.
void AssignResourceEventType(BindingResult& result, const BindingProperty& value,
                             std::string_view field_name, Client::PluginResourceEventType& out);

}  // namespace Varn

#endif  // ZEK_PLUGIN_PLUGIN_RESOURCE_EVENT_H_

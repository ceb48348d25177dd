// Resource events: listening to other services' resources by path or pattern, counting
// subscriptions per event name, delivering incoming events to handlers, and publishing changes of
// the plugin's own resources. Everything here runs on the host's calling thread and takes no lock.
#ifndef ZEK_PLUGIN_RESOURCE_EVENTS_H_
#define ZEK_PLUGIN_RESOURCE_EVENTS_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/binding_property.h"
#include "plugin/plugin_resource_event.h"
#include "plugin/route_argument.h"
#include "zek/plugin_abi.h"

namespace Varn {

class PluginBase;

using ResourceHandler = std::function<void(const Client::PluginResourceEvent&)>;

// The exact handlers by path and the wildcard handlers by pattern, in insertion order. A second
// handler for the same text replaces the first and keeps its place.
//
// Each handler is reached through the host listener of its own text's event name. A path and a
// pattern covering it may listen under two names (a pattern's name holds its "*"), and the host
// then delivers one event under both; so a delivery under one name calls only the handlers
// listening under it, and each handler hears each event once.
class ResourceHandlerTable {
 public:
  void Set(std::string_view text, ResourceHandler handler);
  // Calls the exact handler of the event's path ("/" put in front when missing), then every
  // wildcard handler whose pattern matches it, of those whose text derives `event_name`. A
  // handler may change the table while it runs.
  void Dispatch(const Client::PluginResourceEvent& event, std::string_view event_name) const;
  void Clear();
  bool IsEmpty() const { return exact_.empty() && wildcard_.empty(); }

 private:
  using Shared = std::shared_ptr<const ResourceHandler>;
  struct Entry {
    Shared handler;
    std::string eventName;  // of the path or pattern the handler listens to
  };
  std::map<std::string, Entry, std::less<>> exact_;
  std::vector<std::pair<std::string, Entry>> wildcard_;
};

// A handler that converts "data" to T first, records and enumerations through `registry` (which
// must outlive the handler); an event whose data does not convert is dropped for this handler,
// silently.
template <class T>
ResourceHandler TypedResourceHandler(
    std::function<void(const Client::TypedResourceEvent<T>&)> handler,
    const BindingRegistry* registry = nullptr) {
  return [handler = std::move(handler), registry,
          field = NativeValueInfo<T>(registry)](const Client::PluginResourceEvent& event) {
    Client::TypedResourceEvent<T> typed;
    BindingResult converted;
    RouteArgument<T>::Assign(converted, event.data, "data", field, registry, typed.data);
    if (!converted.IsOk()) return;
    typed.uri = event.uri;
    typed.eventType = event.eventType;
    handler(typed);
  };
}

class ResourceEvents {
 public:
  // Stores `handler` for `text` (a pattern when it holds "*"), subscribes, and for a plain path
  // reads the resource at once and hands its value to the handler as a Create event.
  static void Listen(PluginBase& plugin, std::string_view text, ResourceHandler handler);
  // Counts a subscription to the event of `path`; the first adds the host listener.
  static void Subscribe(PluginBase& plugin, std::string_view path);
  // Drops one; the last removes the host listener and the name's event handlers. An unsubscribe
  // without a subscription changes nothing.
  static void Unsubscribe(PluginBase& plugin, std::string_view path);
  // Publishes {uri = path, eventType, data = value} under the event name of the path and again
  // under "OnJsonApiEvent". A failed `value` publishes nothing.
  static void Publish(PluginBase& plugin, Client::PluginResourceEventType type,
                      std::string_view path, const BindingResult& value);
  // The listener callback given to the host; the context is the plugin. Events that cannot be
  // decoded, or that no handler waits for, are dropped silently.
  static void IncomingEvent(const PluginEvent* event);
};

}  // namespace Varn

#endif  // ZEK_PLUGIN_RESOURCE_EVENTS_H_

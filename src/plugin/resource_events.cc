#include "plugin/resource_events.h"

#include <exception>

#include "binding/heap.h"
#include "plugin/frame_log.h"
#include "plugin/plugin_base.h"
#include "plugin/resource_event_name.h"

namespace Varn {
namespace {

constexpr std::string_view kResultName = "<result>";

// Handlers are plugin code: what they throw stops at the frame, never at the host.
void CallHandler(const ResourceHandler& handler, const Client::PluginResourceEvent& event) {
  try {
    handler(event);
  } catch (const std::exception& error) {
    FrameLog(kFrameLogError, std::string("Resource event handler failed: ") + error.what());
  } catch (...) {
    FrameLog(kFrameLogError, "Resource event handler failed");
  }
}

}  // namespace

void ResourceHandlerTable::Set(std::string_view text, ResourceHandler handler) {
  Entry entry{std::make_shared<const ResourceHandler>(std::move(handler)), ResourceEventName(text)};
  if (text.find('*') == std::string_view::npos) {
    auto it = exact_.find(text);
    if (it != exact_.end()) {
      it->second = std::move(entry);
    } else {
      exact_.emplace(std::string(text), std::move(entry));
    }
    return;
  }
  for (auto& [pattern, existing] : wildcard_) {
    if (pattern == text) {
      existing = std::move(entry);
      return;
    }
  }
  wildcard_.emplace_back(std::string(text), std::move(entry));
}

void ResourceHandlerTable::Dispatch(const Client::PluginResourceEvent& event,
                                    std::string_view event_name) const {
  std::string prefixed;
  std::string_view path = event.uri;
  if (!path.starts_with('/')) {
    prefixed.reserve(path.size() + 1);
    prefixed += '/';
    prefixed += path;
    path = prefixed;
  }
  // Handlers are held by shared pointers taken before any runs: one that replaces itself or
  // another, or stops listening, does not pull the code out from under the call.
  Shared exact;
  if (auto it = exact_.find(path); it != exact_.end() && it->second.eventName == event_name) {
    exact = it->second.handler;
  }
  std::vector<Shared> matching;
  for (const auto& [pattern, entry] : wildcard_) {
    if (entry.eventName == event_name && MatchesWildcard(pattern, path)) {
      matching.push_back(entry.handler);
    }
  }
  if (exact != nullptr) CallHandler(*exact, event);
  for (const Shared& handler : matching) CallHandler(*handler, event);
}

void ResourceHandlerTable::Clear() {
  exact_.clear();
  wildcard_.clear();
}

void ResourceEvents::Listen(PluginBase& plugin, std::string_view text, ResourceHandler handler) {
  plugin.resourceHandlers_.Set(text, handler);
  plugin.Subscribe(text);
  if (text.find('*') != std::string_view::npos) return;
  CallResult current = plugin.CallFunction(PLUGIN_METHOD_GET, text);
  if (current.error) return;
  Client::PluginResourceEvent event;
  event.uri = std::string(text);
  event.eventType = Client::PluginResourceEventType::Create;
  event.data = std::move(current.value);
  CallHandler(handler, event);
}

void ResourceEvents::Subscribe(PluginBase& plugin, std::string_view path) {
  std::string name = ResourceEventName(path);
  auto it = plugin.subscriptionCounts_.find(name);
  if (it == plugin.subscriptionCounts_.end()) {
    it = plugin.subscriptionCounts_.emplace(name, 0).first;
  }
  if (++it->second != 1) return;
  PluginBase* self = &plugin;
  if (plugin.AddEventListener(name.c_str(), plugin.Handle(), &ResourceEvents::IncomingEvent, self,
                              PLUGIN_LISTENER_RESOURCE) != PLUGIN_HOST_OK) {
    // Not counted: the next subscription to the name must ask the host again.
    plugin.subscriptionCounts_.erase(it);
    return;
  }
  plugin.eventHandlers_[name].push_back([self, name](const Client::PluginResourceEvent& event) {
    self->resourceHandlers_.Dispatch(event, name);
  });
}

void ResourceEvents::Unsubscribe(PluginBase& plugin, std::string_view path) {
  std::string name = ResourceEventName(path);
  auto it = plugin.subscriptionCounts_.find(name);
  if (it == plugin.subscriptionCounts_.end() || it->second == 0) return;
  if (--it->second != 0) return;
  plugin.subscriptionCounts_.erase(it);
  plugin.RemoveEventListener(name.c_str(), plugin.Handle());
  plugin.eventHandlers_.erase(name);
}

void ResourceEvents::Publish(PluginBase& plugin, Client::PluginResourceEventType type,
                             std::string_view path, const BindingResult& value) {
  if (!value.IsOk()) return;
  try {
    std::string name = ResourceEventName(path);
    std::string uri(path);
    std::string_view type_name = Client::PluginResourceEventTypeName(type);
    // The event record {data, eventType, uri} is laid out here, members in key order, around the
    // one cell that must be built: the data's. Texts are lent for the duration of the calls.
    PluginStructEntry members[3] = {};
    members[0].key = "data";
    BindingProperty::ToBoundary(value.value, nullptr, members[0].value);
    members[1].key = "eventType";
    members[1].value.kind = PLUGIN_CELL_STRING_REF;
    members[1].value.payload.string.text = type_name.data();
    members[1].value.payload.string.length = type_name.size();
    members[2].key = "uri";
    members[2].value.kind = PLUGIN_CELL_STRING_REF;
    members[2].value.payload.string.text = uri.c_str();
    members[2].value.payload.string.length = uri.size();
    PluginEvent record{};
    record.name = name.c_str();
    record.payload.kind = PLUGIN_CELL_STRUCTURE;
    record.payload.payload.structure.entries = members;
    record.payload.payload.structure.count = 3;
    plugin.PublishEvent(&record);
    if (name != kJsonApiEvent) {
      record.name = kJsonApiEvent.data();
      plugin.PublishEvent(&record);
    }
    BindingProperty::ReleaseBoundary(members[0].value);
  } catch (const std::exception& error) {
    FrameLog(kFrameLogError, std::string("Resource event not published: ") + error.what());
  }
}

void ResourceEvents::IncomingEvent(const PluginEvent* event) {
  if (event == nullptr || event->name == nullptr || event->context == nullptr) return;
  auto* plugin = static_cast<PluginBase*>(event->context);
  try {
    auto it = plugin->eventHandlers_.find(std::string_view(event->name));
    if (it == plugin->eventHandlers_.end() || it->second.empty()) return;
    BindingProperty value;
    PluginBoundaryResult decoded{};
    if (!BindingProperty::FromBoundary(decoded, value, event->payload, kResultName)) {
      HeapFree(decoded.errorText);
      return;
    }
    Client::PluginResourceEvent resource;
    BindingResult converted;
    ResourceEventFromValue(converted, value, kResultName, resource);
    if (!converted.IsOk()) return;
    // Copied: a handler may subscribe or unsubscribe, which changes the list.
    if (it->second.size() == 1) {
      ResourceHandler handler = it->second.front();
      CallHandler(handler, resource);
      return;
    }
    std::vector<ResourceHandler> handlers = it->second;
    for (const ResourceHandler& handler : handlers) CallHandler(handler, resource);
  } catch (...) {
    // Nothing may cross back into the host.
  }
}

}  // namespace Varn

// EventBus: the host's side of events. Plugins add listeners by event name; a published event
// goes to every listener of its name, in the order they were added, and then to every in-process
// observer (tests, the HTTP front), which see all events whatever their name. A listener name
// holding "*" listens to every event name it matches as a wildcard pattern, and receives them under
// its own name. Used on the host thread only; a listener may publish, add or remove listeners
// while it is called.
#ifndef ZEK_HOST_RUNTIME_EVENT_BUS_H_
#define ZEK_HOST_RUNTIME_EVENT_BUS_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zek/plugin_abi.h"

namespace Varn::Host {

// Sees every published event; the record and its payload are valid for the call.
using EventObserver = std::function<void(const PluginEvent& event)>;

class EventBus {
 public:
  // A second listener of the same name and handle replaces the first.
  void AddListener(std::string_view name, uint32_t handle, PluginEventCallback callback,
                   void* context, uint32_t kind);
  // False when there was no such listener.
  bool RemoveListener(std::string_view name, uint32_t handle);
  // Removes every listener of a plugin, as when it stops.
  void RemoveAll(uint32_t handle);
  // Delivers `event` to the listeners of its name, each with its own context, then to the
  // observers. A listener removed during the delivery is not called afterwards. Returns the
  // number of listeners called.
  size_t Publish(const PluginEvent& event);

  uint64_t Observe(EventObserver observer);
  void StopObserving(uint64_t id);

  size_t ListenerCount(std::string_view name) const;
  // The names that have listeners, in name order.
  std::vector<std::string> ListenedNames() const;

 private:
  struct Listener {
    uint64_t id;
    uint32_t handle;
    PluginEventCallback callback;
    void* context;
    uint32_t kind;
  };
  bool IsListening(std::string_view name, uint64_t id) const;
  // Calls the listeners registered under `list_name` with `event` renamed to it.
  size_t Deliver(std::string_view list_name, const char* delivered_name, const PluginEvent& event);
  void CountPatterns();

  std::map<std::string, std::vector<Listener>, std::less<>> listeners_;
  std::vector<std::pair<uint64_t, std::shared_ptr<const EventObserver>>> observers_;
  uint64_t nextId_ = 1;
  size_t patterns_ = 0;  // listened names that hold "*"
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_RUNTIME_EVENT_BUS_H_

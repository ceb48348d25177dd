#include "host/runtime/event_bus.h"

#include <algorithm>
#include <array>
#include <span>

#include "host/runtime/event_name.h"

namespace Varn::Host {
namespace {

constexpr size_t kInlineSnapshot = 4;

}  // namespace

void EventBus::AddListener(std::string_view name, uint32_t handle, PluginEventCallback callback,
                           void* context, uint32_t kind) {
  if (callback == nullptr) return;
  auto it = listeners_.find(name);
  if (it == listeners_.end())
    it = listeners_.emplace(std::string(name), std::vector<Listener>{}).first;
  for (Listener& listener : it->second) {
    if (listener.handle == handle) {
      listener = Listener{nextId_++, handle, callback, context, kind};
      return;
    }
  }
  it->second.push_back(Listener{nextId_++, handle, callback, context, kind});
  CountPatterns();
}

bool EventBus::RemoveListener(std::string_view name, uint32_t handle) {
  auto it = listeners_.find(name);
  if (it == listeners_.end()) return false;
  std::vector<Listener>& list = it->second;
  auto end = std::remove_if(list.begin(), list.end(),
                            [&](const Listener& listener) { return listener.handle == handle; });
  bool removed = end != list.end();
  list.erase(end, list.end());
  if (list.empty()) listeners_.erase(it);
  CountPatterns();
  return removed;
}

void EventBus::RemoveAll(uint32_t handle) {
  for (auto it = listeners_.begin(); it != listeners_.end();) {
    std::erase_if(it->second, [&](const Listener& listener) { return listener.handle == handle; });
    it = it->second.empty() ? listeners_.erase(it) : std::next(it);
  }
  CountPatterns();
}

bool EventBus::IsListening(std::string_view name, uint64_t id) const {
  auto it = listeners_.find(name);
  if (it == listeners_.end()) return false;
  for (const Listener& listener : it->second) {
    if (listener.id == id) return true;
  }
  return false;
}

void EventBus::CountPatterns() {
  patterns_ = 0;
  for (const auto& [name, list] : listeners_) {
    if (name.find('*') != std::string::npos) ++patterns_;
  }
}

size_t EventBus::Deliver(std::string_view list_name, const char* delivered_name,
                         const PluginEvent& event) {
  auto it = listeners_.find(list_name);
  if (it == listeners_.end()) return 0;
  // A copy: listeners may change the list while they are called. Most names have one or two.
  const std::vector<Listener>& current = it->second;
  std::array<Listener, kInlineSnapshot> inline_copy;
  std::vector<Listener> heap_copy;
  std::span<const Listener> snapshot;
  if (current.size() <= kInlineSnapshot) {
    std::copy(current.begin(), current.end(), inline_copy.begin());
    snapshot = std::span<const Listener>(inline_copy.data(), current.size());
  } else {
    heap_copy = current;
    snapshot = heap_copy;
  }
  size_t delivered = 0;
  for (size_t i = 0; i < snapshot.size(); ++i) {
    const Listener& listener = snapshot[i];
    if (i > 0 && !IsListening(list_name, listener.id)) continue;
    PluginEvent delivery = event;
    delivery.name = delivered_name;
    delivery.context = listener.context;
    listener.callback(&delivery);
    ++delivered;
  }
  return delivered;
}

size_t EventBus::Publish(const PluginEvent& event) {
  const char* event_name = event.name != nullptr ? event.name : "";
  std::string_view name = event_name;
  size_t delivered = Deliver(name, event_name, event);
  if (patterns_ > 0) {
    std::vector<std::string> patterns;
    for (const auto& [listened, list] : listeners_) {
      if (listened.find('*') != std::string::npos && listened != name &&
          EventNameMatches(listened, name)) {
        patterns.push_back(listened);
      }
    }
    for (const std::string& pattern : patterns) {
      delivered += Deliver(pattern, pattern.c_str(), event);
    }
  }
  if (observers_.size() == 1) {
    // Held, so that an observer that stops observing does not destroy itself mid-call.
    std::shared_ptr<const EventObserver> observer = observers_.front().second;
    (*observer)(event);
  } else if (!observers_.empty()) {
    auto observers = observers_;
    for (const auto& [id, observer] : observers) (*observer)(event);
  }
  return delivered;
}

uint64_t EventBus::Observe(EventObserver observer) {
  uint64_t id = nextId_++;
  observers_.emplace_back(id, std::make_shared<const EventObserver>(std::move(observer)));
  return id;
}

void EventBus::StopObserving(uint64_t id) {
  std::erase_if(observers_, [&](const auto& entry) { return entry.first == id; });
}

size_t EventBus::ListenerCount(std::string_view name) const {
  auto it = listeners_.find(name);
  return it == listeners_.end() ? 0 : it->second.size();
}

std::vector<std::string> EventBus::ListenedNames() const {
  std::vector<std::string> names;
  for (const auto& [name, list] : listeners_) names.push_back(name);
  return names;
}

}  // namespace Varn::Host

#include "plugin/service_proxy.h"

#include <exception>

#include "binding/heap.h"
#include "plugin/plugin_base.h"
#include "runtime/logger.h"

namespace Varn {
namespace {

constexpr std::string_view kResultName = "<result>";
constexpr uint32_t kDebugCategory = 1;
constexpr int32_t kLevelAlways = 3;
constexpr int32_t kLevelError = 2;

}  // namespace

void ServiceProxyTables::AddPendingRequest(std::string key, ServiceProxyHandler callback) {
  std::lock_guard lock(mutex_);
  pending_[std::move(key)] = std::move(callback);
}

void ServiceProxyTables::AddPushHandler(std::string key, ServiceProxyHandler handler) {
  std::lock_guard lock(mutex_);
  push_[std::move(key)] = std::move(handler);
}

std::optional<std::string> ServiceProxyTables::Receive(const std::string& key, const Reply& reply) {
  std::lock_guard lock(mutex_);
  received_[key] = reply;
  for (auto it = received_.begin(); it != received_.end(); ++it) {
    auto pending = pending_.find(it->first);
    if (pending == pending_.end()) continue;
    std::string fulfilled = it->first;
    ServiceProxyHandler callback = std::move(pending->second);
    Reply kept = std::move(it->second);
    pending_.erase(pending);
    received_.erase(it);
    if (callback) callback(kept);
    return fulfilled;
  }
  return std::nullopt;
}

bool ServiceProxyTables::Push(const std::string& key, const Reply& reply) {
  std::lock_guard lock(mutex_);
  auto it = push_.find(key);
  if (it == push_.end()) return false;
  if (it->second) it->second(reply);
  return true;
}

std::optional<ServiceProxyTables::Reply> ServiceProxyTables::Received(
    const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = received_.find(key);
  if (it == received_.end()) return std::nullopt;
  return it->second;
}

size_t ServiceProxyTables::ReceivedCount() const {
  std::lock_guard lock(mutex_);
  return received_.size();
}

void ServiceProxyTables::Clear() {
  std::lock_guard lock(mutex_);
  received_.clear();
  pending_.clear();
  push_.clear();
}

std::string ServiceProxy::MethodKey(const Client::AppModule::PluginServiceProxyResponse& reply) {
  return reply.serviceName + "." + reply.methodName;
}

void ServiceProxy::Listen(PluginBase& plugin) {
  for (std::string_view name : kEvents) {
    plugin.AddEventListener(name.data(), plugin.Handle(), &ServiceProxy::IncomingEvent, &plugin,
                            PLUGIN_LISTENER_SERVICE_PROXY);
  }
  plugin.serviceProxyListening_ = true;
}

void ServiceProxy::StopListening(PluginBase& plugin) {
  if (!plugin.serviceProxyListening_) return;
  plugin.serviceProxyListening_ = false;
  for (std::string_view name : kEvents) plugin.RemoveEventListener(name.data(), plugin.Handle());
}

void ServiceProxy::IncomingEvent(const PluginEvent* event) {
  if (event == nullptr || event->name == nullptr || event->context == nullptr) return;
  auto* plugin = static_cast<PluginBase*>(event->context);
  try {
    std::string_view name = event->name;
    if (name != kUuidEvent && name != kMethodEvent && name != kAsyncEvent) return;
    BindingProperty value;
    PluginBoundaryResult decoded{};
    if (!BindingProperty::FromBoundary(decoded, value, event->payload, kResultName)) {
      HeapFree(decoded.errorText);
      return;
    }
    Client::AppModule::PluginServiceProxyResponse reply;
    BindingResult converted;
    ServiceProxyResponseFromValue(converted, value, kResultName, reply);
    if (!converted.IsOk()) return;

    if (name == kAsyncEvent) {
      std::string key = MethodKey(reply);
      if (!plugin->serviceProxy_.Push(key, reply)) {
        Log(kLevelError, kDebugCategory, 0,
            "%s: Could not find registered handler for async service proxy event %s",
            plugin->ShortName().c_str(), key.c_str());
      }
      return;
    }
    std::string key = name == kUuidEvent ? reply.uuid : MethodKey(reply);
    std::optional<std::string> fulfilled = plugin->serviceProxy_.Receive(key, reply);
    if (fulfilled.has_value()) {
      Log(kLevelAlways, kDebugCategory, 0, "%s: Fulfilled service proxy request: %s",
          plugin->ShortName().c_str(), fulfilled->c_str());
    }
  } catch (...) {
    // Nothing may cross back into the host.
  }
}

}  // namespace Varn

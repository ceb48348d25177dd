// Service-proxy messages: replies and pushes from remote services that the host relays as events.
// Replies are kept by key until a pending request claims them; pushes go to the handler of
// their key. The three tables share one mutex, held while a request's or push handler's callback
// runs: those callbacks must not come back into these tables.
#ifndef ZEK_PLUGIN_SERVICE_PROXY_H_
#define ZEK_PLUGIN_SERVICE_PROXY_H_

#include <array>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "plugin/plugin_service_proxy_response.h"
#include "zek/plugin_abi.h"

namespace Varn {

class PluginBase;

using ServiceProxyHandler =
    std::function<void(const Client::AppModule::PluginServiceProxyResponse&)>;

class ServiceProxyTables {
 public:
  using Reply = Client::AppModule::PluginServiceProxyResponse;

  // A request waiting for the reply of `key`; it is called once, then forgotten.
  void AddPendingRequest(std::string key, ServiceProxyHandler callback);
  // The handler of pushes with `key`; a second one replaces the first.
  void AddPushHandler(std::string key, ServiceProxyHandler handler);

  // Keeps `reply` under `key` (replacing an older one), then hands the first kept reply that has
  // a pending request to that request and forgets both. Returns the key fulfilled, if any.
  std::optional<std::string> Receive(const std::string& key, const Reply& reply);
  // Calls the push handler of `key`; false when there is none.
  bool Push(const std::string& key, const Reply& reply);

  // The reply kept under `key`, if any.
  std::optional<Reply> Received(const std::string& key) const;
  size_t ReceivedCount() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::map<std::string, Reply> received_;
  std::map<std::string, ServiceProxyHandler> pending_;
  std::map<std::string, ServiceProxyHandler> push_;
};

class ServiceProxy {
 public:
  static constexpr std::string_view kUuidEvent = "OnServiceProxyUuidEvent";
  static constexpr std::string_view kMethodEvent = "OnServiceProxyMethodEvent";
  static constexpr std::string_view kAsyncEvent = "OnServiceProxyAsyncEvent";
  static constexpr std::array<std::string_view, 3> kEvents = {kUuidEvent, kMethodEvent,
                                                              kAsyncEvent};

  // "%1.%2" of the service and method names: the key of method-based replies and pushes.
  static std::string MethodKey(const Client::AppModule::PluginServiceProxyResponse& reply);
  // Registers the three listeners with the host.
  static void Listen(PluginBase& plugin);
  // Removes them.
  static void StopListening(PluginBase& plugin);
  // The listener callback given to the host; the context is the plugin. Payloads that do not
  // decode to a reply are dropped silently.
  static void IncomingEvent(const PluginEvent* event);
};

}  // namespace Varn

#endif  // ZEK_PLUGIN_SERVICE_PROXY_H_

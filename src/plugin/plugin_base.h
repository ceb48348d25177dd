// PluginBase: what the frame keeps per plugin, and the plugin's side of the host boundary.
//
// A plugin subclasses it, declares its routes in RegisterApi and does its start-up in Start. The
// plugin reaches the host only through the forwarding virtual operations below, which answer
// PLUGIN_HOST_NOT_SUPPORTED before the host has started the plugin. The frame's tables carry no
// lock: the host calls a plugin from one thread at a time (see the members guarded otherwise).
#ifndef ZEK_PLUGIN_PLUGIN_BASE_H_
#define ZEK_PLUGIN_PLUGIN_BASE_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "plugin/call_result.h"
#include "plugin/client_call.h"
#include "plugin/plugin_api_version.h"
#include "plugin/plugin_name_record.h"
#include "plugin/plugin_resource_event.h"
#include "plugin/resource_events.h"
#include "plugin/route_declaration.h"
#include "plugin/route_table.h"
#include "plugin/service_proxy.h"
#include "plugin/telemetry_sender.h"
#include "plugin/timers.h"
#include "runtime/log_target.h"
#include "zek/plugin_abi.h"

namespace Varn {

class PluginBase {
 public:
  PluginBase();
  PluginBase(const PluginBase&) = delete;
  PluginBase& operator=(const PluginBase&) = delete;

  // Virtual operations, in slot order.
  virtual void Subscribe(std::string_view uri);
  virtual void Unsubscribe(std::string_view uri);
  virtual ~PluginBase();
  // Removes every event listener from the host and clears the handler tables and timers.
  virtual void Stop();
  virtual int32_t SendRequest(PluginResponse* response, const PluginRequest* request);
  virtual int32_t Reserved(uint32_t word0, uint32_t word1);
  virtual int32_t PublishEvent(const PluginEvent* event);
  virtual int32_t AddEventListener(const char* name, uint32_t handle, PluginEventCallback callback,
                                   void* context, uint32_t kind);
  virtual int32_t RemoveEventListener(const char* name, uint32_t handle);
  virtual int32_t ScheduleCallback(const char* label, PluginScheduledCallback callback,
                                   void* context, double delay_seconds, uint32_t reserved);
  virtual int32_t YieldToHost();
  virtual int32_t EnterWait(const char* label, uint32_t reserved);
  virtual int32_t LeaveWait();
  // Declares the plugin's types and routes; called once, during registration.
  virtual void RegisterApi();
  // The plugin's start-up; its result is the start callback's.
  virtual bool Start();

  // Declares a route served by `handler` (see route_declaration.h).
  template <class F>
  RouteDeclaration Route(uint32_t method, std::string_view path_template, F handler,
                         std::string_view call_name = {}) {
    return DeclareRoute(routes_, method, path_template, std::move(handler), call_name);
  }
  const RouteTable& Routes() const { return routes_; }
  // The plugin's API registry: builtin, frame and plugin types, functions and events.
  BindingRegistry& Registry() { return registry_; }
  const BindingRegistry& Registry() const { return registry_; }

  // Serves one request addressed to this plugin; never throws.
  void Dispatch(PluginResponse* response, const PluginRequest* request) const noexcept;

  const PluginNameRecord& NameRecord() const { return nameRecord_; }
  const std::string& ShortName() const { return shortName_; }
  const std::string& NamespaceIdentifier() const { return namespaceIdentifier_; }
  const std::vector<std::string>& DocumentationTags() const { return documentationTags_; }
  const PluginApiVersion& CoreVersion() const { return coreVersion_; }
  const std::string& UserAgent() const { return userAgent_; }
  uint32_t Handle() const { return handle_; }
  const PluginHostRecord* Host() const { return host_; }
  bool Stopping() const { return stopping_.load(std::memory_order_relaxed); }
  const ApiDescription& Description() const { return apiDescription_; }

  // ---- Client calls (client_call.h) ----
  // Calls `path` of another service through the host and waits for the answer.
  CallResult CallFunction(uint32_t method, std::string_view path,
                          const std::vector<CallArgument>& arguments = {}) {
    return ClientCall::Call(*this, method, path, arguments);
  }
  // The same, with the answer converted to T.
  template <class T>
  TypedCallResult<T> CallFunction(uint32_t method, std::string_view path,
                                  const std::vector<CallArgument>& arguments = {}) {
    return ClientCall::Call<T>(*this, method, path, arguments);
  }

  // ---- Resource events (resource_events.h) ----
  // Hands every change of the resource at `text` (a path, or a pattern with "*") to `handler`;
  // for a path, its current value first, as a Create event.
  void ListenResource(std::string_view text, ResourceHandler handler) {
    ResourceEvents::Listen(*this, text, std::move(handler));
  }
  // The same with "data" converted to T; events whose data does not convert are dropped.
  template <class T>
  void ListenResource(std::string_view text,
                      std::function<void(const Client::TypedResourceEvent<T>&)> handler) {
    ResourceEvents::Listen(*this, text, TypedResourceHandler<T>(std::move(handler), &registry_));
  }
  // Announces a change of one of this plugin's resources.
  void PublishResourceEvent(Client::PluginResourceEventType type, std::string_view path,
                            const BindingProperty& value) {
    ResourceEvents::Publish(*this, type, path, BindingResult(value));
  }
  template <class T>
  void PublishResourceEvent(Client::PluginResourceEventType type, std::string_view path, T value) {
    BindingResult converted;
    RouteReturn<std::decay_t<T>>::ToValue(converted, std::move(value), converted.value, &registry_);
    ResourceEvents::Publish(*this, type, path, converted);
  }

  // ---- Timers (timers.h) ----
  uint64_t ScheduleAt(std::string_view label, TimerCallback callback, int64_t due_nanoseconds) {
    return Timers::ScheduleAt(*this, label, std::move(callback), due_nanoseconds);
  }
  void SetTimer(std::string_view name, double period_seconds, TimerCallback callback) {
    Timers::SetTimer(*this, name, period_seconds, std::move(callback));
  }
  void KillTimer(std::string_view name) { Timers::KillTimer(*this, name); }
  void WaitYield() { Timers::WaitYield(*this); }

  // ---- Telemetry and service-proxy messages (telemetry_sender.h, service_proxy.h) ----
  // Completes at once; before start the result is a not-sent failure.
  std::future<CallResult> SendTelemetryEvent(std::string_view name, const BindingProperty& payload);
  ServiceProxyTables& ServiceProxyMessages() { return serviceProxy_; }

  // ---- What the frame holds, read-only (for diagnostics and tests) ----
  // Subscriptions counted for the event name `event_name` (0 when none).
  uint32_t SubscriptionCount(std::string_view event_name) const;
  bool HasTimer(std::string_view name) const;
  // Scheduled callbacks handed to the host and not yet run.
  size_t ScheduledCallbackCount() const;

  // The handshake steps of the entry and the callbacks (plugin_registration.cc).
  friend class PluginRegistration;
  friend class ResourceEvents;
  friend class Timers;
  friend class ServiceProxy;

 private:
  // The frame's clean-up, run by Stop and again by the stop callback whatever the plugin's Stop
  // override did: every host listener removed, every handler table, timer and scheduled
  // callback dropped. Doing it twice changes nothing.
  void StopFrame();
  // The frame's part of the start callback: the telemetry sender and the service-proxy
  // listeners.
  void StartFrame();

  // The frame's tables below are private: a subclass reaches them only through the operations
  // above, so that counts, handlers and host listeners stay in step.
  // Event names this plugin listens to, with the number of subscriptions for each.
  std::map<std::string, uint32_t, std::less<>> subscriptionCounts_;
  // Handlers of incoming events, by event name; several may share a name.
  std::map<std::string, std::vector<ResourceHandler>, std::less<>> eventHandlers_;
  // Resource handlers by exact path and by wildcard pattern.
  ResourceHandlerTable resourceHandlers_;
  // Scheduled one-shot callbacks by id; ids start at 1 and are never reused.
  mutable std::mutex scheduledMutex_;
  std::map<uint64_t, ScheduledCallback> scheduledCallbacks_;
  uint64_t nextScheduledId_ = 1;
  // Named repeating timers; used from the host's calling thread only.
  std::map<std::string, NamedTimer, std::less<>> timers_;
  // The last generation given to a timer; never restarts within the plugin's life.
  uint64_t lastTimerGeneration_ = 0;
  // Received replies, pending requests and push handlers, under their own mutex.
  ServiceProxyTables serviceProxy_;
  bool serviceProxyListening_ = false;
  std::unique_ptr<TelemetrySender> telemetry_;

  BindingRegistry registry_;
  // Declared handlers convert records and enumerations through the registry above.
  RouteTable routes_{&registry_};
  std::vector<PluginFunctionDescription> functionDescriptions_;
  ApiDescription apiDescription_{};
  PluginNameRecord nameRecord_;
  PluginApiVersion coreVersion_;
  std::string shortName_;
  std::string namespaceIdentifier_;
  std::vector<std::string> documentationTags_;
  std::string userAgent_;
  uint32_t handle_ = 0;
  const PluginHostRecord* host_ = nullptr;
  PluginCallbacks callbacks_{};
  // Forwards the process's log to the host once started; destroyed (and so detached) with the
  // plugin, while the host table is still valid.
  std::unique_ptr<LogTarget> logTarget_;
  // One page of the process's page pool, held for the plugin's life. The pool returns a region to
  // the system as soon as all its pages are free, and each request builds and drops value trees:
  // without a page held, every request would reserve a region and release it again.
  void* pinnedPage_ = nullptr;
  std::atomic<bool> stopping_{false};
};

}  // namespace Varn

#endif  // ZEK_PLUGIN_PLUGIN_BASE_H_

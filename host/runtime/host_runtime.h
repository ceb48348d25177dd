// HostRuntime: a host process's side of the plugin boundary, for tests now and zek-host later.
//
// It loads plugin libraries, runs their registration, starts and stops them, and implements the
// host table (PluginHostApi) they call: SendRequest routes a request to a started plugin whose
// ApiDescription serves its method and path, else to an in-process service registered by path
// prefix, else answers 404; PublishEvent and the listener operations go through the event bus;
// ScheduleCallback through the scheduler, on the clock the runtime was given; YieldToHost runs
// the callbacks that are due; WriteLog keeps the lines in order. Every call into a plugin runs on
// the runtime's one host thread; the public methods may be called from any thread and wait for
// that thread.
#ifndef ZEK_HOST_RUNTIME_HOST_RUNTIME_H_
#define ZEK_HOST_RUNTIME_HOST_RUNTIME_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "host/runtime/core_version.h"
#include "host/runtime/event_bus.h"
#include "host/runtime/host_clock.h"
#include "host/runtime/host_thread.h"
#include "host/runtime/path_template.h"
#include "host/runtime/plugin_library.h"
#include "host/runtime/scheduler.h"
#include "host/runtime/streamed_body.h"
#include "zek/plugin_abi.h"

namespace Varn::Host {

struct LogLine {
  int32_t level = 0;
  std::string text;
};

// A request as an in-process service sees it. Views are valid for the handler call.
struct ServiceRequest {
  uint32_t method = 0;
  std::string_view path;      // without the query
  std::string_view query;     // after "?", undecoded
  BindingProperty arguments;  // the named arguments as a structure (Empty when none)
  const PluginRequest* raw = nullptr;
};

// A service's answer: a value, or an error text with its status.
struct ServiceAnswer {
  uint32_t status = 200;
  BindingProperty value;
  std::string error;  // not empty: the call failed
  // When set, the body is sent as this stream instead of `value`.
  std::optional<StreamedBody> stream = std::nullopt;
};

using ServiceHandler = std::function<ServiceAnswer(const ServiceRequest&)>;

// A response copied out of its record, which has been released.
struct CallOutcome {
  uint32_t status = 0;
  bool failed = false;
  std::string error;
  BindingProperty value;
  uint32_t encoding = 0;
  std::string replyText;
};

class HostRuntime {
 public:
  struct LoadOutcome {
    bool ok = false;
    std::string error;
    uint32_t handle = 0;  // the plugin's handle when ok
  };

  // The core version handed to plugins when none is given: the boundary header's.
  static CoreVersion DefaultCoreVersion() { return CoreVersion{}; }

  // Timers run on the steady clock.
  HostRuntime();
  // Timers run on `clock`: a ManualHostClock lets a test decide when they are due.
  explicit HostRuntime(std::shared_ptr<HostClock> clock);
  // Stops every plugin still loaded, then unloads the libraries.
  ~HostRuntime();
  HostRuntime(const HostRuntime&) = delete;
  HostRuntime& operator=(const HostRuntime&) = delete;

  // Loads the library at `path` and calls its entry `entry_symbol` with `core`. Fails when the
  // library or entry is missing or the load record comes back incomplete (the plugin refused).
  LoadOutcome LoadLibrary(const std::string& path, const std::string& entry_symbol,
                          const CoreVersion& core = DefaultCoreVersion());
  // The same for an entry linked into this process.
  LoadOutcome LoadEntry(PluginLoadFunction entry, const CoreVersion& core = DefaultCoreVersion());

  // Calls the plugin's start callback; its answer.
  bool Start(uint32_t handle);
  // Calls the stop callback, which destroys the plugin; it no longer serves.
  void Stop(uint32_t handle);
  std::optional<PluginMemoryStats> MemoryStats(uint32_t handle);
  // The plugin's API while it is loaded; null otherwise. The version words of its load record.
  const ApiDescription* Description(uint32_t handle);
  std::string ShortName(uint32_t handle);
  bool IsStarted(uint32_t handle);

  // Serves requests whose method is `method` (0: any) and whose path starts with `path_prefix`;
  // the longest prefix wins. Plugins' functions are preferred.
  void AddService(uint32_t method, std::string path_prefix, ServiceHandler handler);

  // Host operation 0 on the host thread: fills `response`; the caller releases it.
  void SendRequest(PluginResponse* response, const PluginRequest* request);
  // Sends on the host thread and hands the filled response to `read` there, before releasing it:
  // for callers that render the answer straight from its record.
  void Exchange(const PluginRequest& request,
                const std::function<void(const PluginResponse&)>& read);
  // Sends, copies the answer and releases the response.
  CallOutcome Call(const PluginRequest& request);
  // A request without arguments, headers or body other than those given.
  CallOutcome Call(uint32_t method, const std::string& path, std::string_view content_type = {},
                   std::string_view body = {});

  // Publishes an event as an in-process service would: `payload` goes to every listener of
  // `name` and to the observers.
  void PublishEvent(const std::string& name, const BindingProperty& payload);
  // The same, delivered after the host thread's current task: a service that publishes while it
  // answers a plugin's call does not call back into that plugin before the call returns.
  void PostEvent(std::string name, BindingProperty payload);
  // Sees every event published from now on, on the host thread; returns the id to stop with.
  uint64_t ObserveEvents(EventObserver observer);
  void StopObservingEvents(uint64_t id);
  // An event's payload as a value (Empty when it does not decode).
  static BindingProperty DecodePayload(const PluginEvent& event);
  size_t ListenerCount(const std::string& name);
  std::vector<std::string> ListenedNames();

  // Runs the scheduled callbacks that are due on the clock; returns how many ran.
  size_t RunDueCallbacks();
  // When the earliest scheduled callback is due, on the runtime's clock.
  std::optional<int64_t> NextDue();
  size_t PendingCallbacks();
  std::vector<std::string> PendingCallbackLabels();
  // How often plugins yielded to the host, and how many waits are open now.
  size_t YieldCount();
  size_t OpenWaits();
  const HostClock& Clock() const { return *clock_; }

  // The lines plugins wrote, unless a sink was set.
  std::vector<LogLine> LogLines() const;
  // From now on every line goes to `sink` (on the writer's thread, one call at a time) and is
  // not kept.
  void SetLogSink(std::function<void(const LogLine&)> sink);
  const PluginHostApi* Api() const { return &table_.api; }
  // Runs `task` on the host thread and waits for it.
  void RunOnHostThread(const std::function<void()>& task) { thread_->Run(task); }

 private:
  struct Plugin {
    uint32_t handle = 0;
    PluginHostRecord hostRecord{};
    PluginLoadRecord load{};
    std::unique_ptr<PluginLibrary> library;
    std::vector<PathTemplate> patterns;  // one per description entry
    std::string shortName;
    bool started = false;
    bool alive = false;  // false once the stop callback has destroyed it
  };
  // The host table and the runtime it belongs to; the table's address leads to the runtime.
  struct Table {
    PluginHostApi api;
    HostRuntime* runtime;
  };
  struct Service {
    uint32_t method;
    std::string prefix;
    ServiceHandler handler;
  };

  static HostRuntime& Of(const PluginHostApi* api);
  static int32_t OpSendRequest(const PluginHostApi* api, PluginResponse* response,
                               const PluginRequest* request);
  static int32_t OpReserved(const PluginHostApi* api, uint32_t, uint32_t);
  static int32_t OpPublishEvent(const PluginHostApi* api, const PluginEvent* event);
  static int32_t OpAddEventListener(const PluginHostApi* api, const char* name, uint32_t handle,
                                    PluginEventCallback callback, void* context, uint32_t kind);
  static int32_t OpRemoveEventListener(const PluginHostApi* api, const char* name, uint32_t handle);
  static int32_t OpScheduleCallback(const PluginHostApi* api, const char* label,
                                    PluginScheduledCallback callback, void* context,
                                    double delay_seconds, uint32_t reserved);
  static int32_t OpYieldToHost(const PluginHostApi* api);
  static int32_t OpEnterWait(const PluginHostApi* api, const char* label, uint32_t reserved);
  static int32_t OpLeaveWait(const PluginHostApi* api);
  static int32_t OpWriteLog(const PluginHostApi* api, int32_t level, const char* line);

  LoadOutcome Register(std::unique_ptr<PluginLibrary> library, PluginLoadFunction entry,
                       const CoreVersion& core);
  Plugin* Find(uint32_t handle);
  void Route(PluginResponse* response, const PluginRequest* request);
  void StopOnHostThread(Plugin& plugin);

  Table table_;
  std::shared_ptr<HostClock> clock_;
  Scheduler scheduler_;
  EventBus events_;
  size_t yields_ = 0;
  std::vector<std::string> waits_;
  // Declared last but one: plugins are stopped on it before the libraries unload.
  std::map<uint32_t, std::unique_ptr<Plugin>> plugins_;
  uint32_t nextHandle_ = 1;
  std::vector<Service> services_;
  mutable std::mutex logMutex_;
  std::vector<LogLine> log_;
  std::function<void(const LogLine&)> logSink_;
  std::unique_ptr<HostThread> thread_;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_RUNTIME_HOST_RUNTIME_H_

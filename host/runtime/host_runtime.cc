#include "host/runtime/host_runtime.h"

#include <cstdlib>
#include <cstring>
#include <exception>

#include "binding/heap.h"

namespace Varn::Host {
namespace {

constexpr uint32_t kNotFound = 404;
constexpr uint32_t kInternalError = 500;
constexpr std::string_view kInvalidFunction = "Invalid function";
constexpr char kNoReplyText[] = "";

// Responses the host fills itself; released by the host's own heap.
void ReleaseHostResponse(PluginResponse* response) {
  if (response == nullptr) return;
  BindingProperty::ReleaseBoundary(response->result.value);
  HeapFree(response->result.errorText);
  StreamedBodyReader::Detach(*response);
  *response = PluginResponse{};
}

void FillHostResponse(PluginResponse* response, const ServiceAnswer& answer) {
  *response = PluginResponse{};
  response->replyText = kNoReplyText;
  response->release = &ReleaseHostResponse;
  response->status = answer.status;
  if (!answer.error.empty()) {
    response->result.errorText = HeapDuplicateString(answer.error.data(), answer.error.size());
    response->result.failed = 1;
  } else if (answer.stream.has_value()) {
    StreamedBodyReader::Attach(std::make_unique<StreamedBodyReader>(*answer.stream), *response);
  } else {
    BindingProperty::ToBoundary(answer.value, nullptr, response->result.value);
  }
}

bool MethodAccepts(uint32_t function_method, std::string_view call_name, uint32_t method,
                   std::string_view function_name) {
  if (function_method == 0) return true;
  return function_method == method && call_name == function_name;
}

}  // namespace

HostRuntime::HostRuntime() : HostRuntime(std::make_shared<SteadyHostClock>()) {}

HostRuntime::HostRuntime(std::shared_ptr<HostClock> clock)
    : table_{{&OpSendRequest, &OpReserved, &OpPublishEvent, &OpAddEventListener,
              &OpRemoveEventListener, &OpScheduleCallback, &OpYieldToHost, &OpEnterWait,
              &OpLeaveWait, &OpWriteLog},
             this},
      clock_(clock != nullptr ? std::move(clock) : std::make_shared<SteadyHostClock>()),
      scheduler_(*clock_),
      thread_(std::make_unique<HostThread>()) {}

HostRuntime::~HostRuntime() {
  thread_->Run([this] {
    for (auto& [handle, plugin] : plugins_) StopOnHostThread(*plugin);
    // What is still scheduled belongs to plugins that are gone.
    scheduler_.Clear();
  });
  thread_.reset();
  plugins_.clear();
}

HostRuntime& HostRuntime::Of(const PluginHostApi* api) {
  return *reinterpret_cast<const Table*>(api)->runtime;
}

HostRuntime::LoadOutcome HostRuntime::LoadLibrary(const std::string& path,
                                                  const std::string& entry_symbol,
                                                  const CoreVersion& core) {
  std::string error;
  std::unique_ptr<PluginLibrary> library = PluginLibrary::Open(path, error);
  if (library == nullptr) return {false, error, 0};
  auto entry = reinterpret_cast<PluginLoadFunction>(library->Symbol(entry_symbol));
  if (entry == nullptr) return {false, "no entry " + entry_symbol + " in " + path, 0};
  return Register(std::move(library), entry, core);
}

HostRuntime::LoadOutcome HostRuntime::LoadEntry(PluginLoadFunction entry, const CoreVersion& core) {
  if (entry == nullptr) return {false, "no entry", 0};
  return Register(nullptr, entry, core);
}

HostRuntime::LoadOutcome HostRuntime::Register(std::unique_ptr<PluginLibrary> library,
                                               PluginLoadFunction entry, const CoreVersion& core) {
  LoadOutcome outcome;
  thread_->Run([&] {
    auto plugin = std::make_unique<Plugin>();
    plugin->load.major = core.major;
    plugin->load.minor = core.minor;
    plugin->load.patch = core.patch;
    entry(&plugin->load);
    const PluginLoadRecord& load = plugin->load;
    const PluginCallbacks* callbacks = load.callbacks;
    bool complete = callbacks != nullptr && callbacks->start != nullptr &&
                    callbacks->stop != nullptr && callbacks->memoryStats != nullptr &&
                    load.shortName != nullptr && load.description != nullptr;
    if (!complete) {
      // The plugin refused the core, or failed to register: it handed out nothing to call.
      outcome = {false, "the plugin refused to register", 0};
      return;
    }
    if (load.major != core.major) {
      callbacks->stop(load.context);
      outcome = {false, "the plugin speaks plugin API " + std::to_string(load.major), 0};
      return;
    }
    plugin->handle = nextHandle_++;
    plugin->hostRecord = {&table_.api, plugin->handle};
    plugin->library = std::move(library);
    plugin->shortName = load.shortName;
    plugin->alive = true;
    const ApiDescription* description = load.description;
    for (size_t i = 0; i < description->functionCount; ++i) {
      const char* path = description->functions[i].path;
      plugin->patterns.emplace_back(path != nullptr ? path : "");
    }
    outcome = {true, {}, plugin->handle};
    plugins_.emplace(plugin->handle, std::move(plugin));
  });
  return outcome;
}

HostRuntime::Plugin* HostRuntime::Find(uint32_t handle) {
  auto it = plugins_.find(handle);
  if (it == plugins_.end() || !it->second->alive) return nullptr;
  return it->second.get();
}

bool HostRuntime::Start(uint32_t handle) {
  bool started = false;
  thread_->Run([&] {
    Plugin* plugin = Find(handle);
    if (plugin == nullptr || plugin->started) return;
    started = plugin->load.callbacks->start(plugin->load.context, &plugin->hostRecord) != 0;
    plugin->started = started;
  });
  return started;
}

void HostRuntime::StopOnHostThread(Plugin& plugin) {
  if (!plugin.alive) return;
  plugin.alive = false;
  plugin.started = false;
  plugin.load.callbacks->stop(plugin.load.context);
  // A plugin that left listeners behind is never called through them again.
  events_.RemoveAll(plugin.handle);
}

void HostRuntime::Stop(uint32_t handle) {
  thread_->Run([&] {
    Plugin* plugin = Find(handle);
    if (plugin != nullptr) StopOnHostThread(*plugin);
  });
}

bool HostRuntime::IsStarted(uint32_t handle) {
  bool started = false;
  thread_->Run([&] {
    Plugin* plugin = Find(handle);
    started = plugin != nullptr && plugin->started;
  });
  return started;
}

std::optional<PluginMemoryStats> HostRuntime::MemoryStats(uint32_t handle) {
  std::optional<PluginMemoryStats> stats;
  thread_->Run([&] {
    Plugin* plugin = Find(handle);
    if (plugin == nullptr) return;
    PluginMemoryStats read{};
    plugin->load.callbacks->memoryStats(plugin->load.context, &read);
    stats = read;
  });
  return stats;
}

const ApiDescription* HostRuntime::Description(uint32_t handle) {
  const ApiDescription* description = nullptr;
  thread_->Run([&] {
    Plugin* plugin = Find(handle);
    if (plugin != nullptr) description = plugin->load.description;
  });
  return description;
}

std::string HostRuntime::ShortName(uint32_t handle) {
  std::string name;
  thread_->Run([&] {
    Plugin* plugin = Find(handle);
    if (plugin != nullptr) name = plugin->shortName;
  });
  return name;
}

void HostRuntime::AddService(uint32_t method, std::string path_prefix, ServiceHandler handler) {
  thread_->Run([&] {
    services_.push_back(Service{method, std::move(path_prefix), std::move(handler)});
  });
}

void HostRuntime::SendRequest(PluginResponse* response, const PluginRequest* request) {
  thread_->Run([&] { Route(response, request); });
}

void HostRuntime::Route(PluginResponse* response, const PluginRequest* request) {
  if (response == nullptr) return;
  ServiceAnswer not_found{kNotFound, {}, std::string(kInvalidFunction)};
  if (request == nullptr) return FillHostResponse(response, not_found);
  uint32_t method = request->method <= PLUGIN_METHOD_CALL ? request->method : 0;
  std::string_view function_name =
      method == PLUGIN_METHOD_CALL && request->functionName != nullptr ? request->functionName : "";
  auto [path, query] = SplitPathAndQuery(request->path != nullptr ? request->path : "");

  for (auto& [handle, plugin] : plugins_) {
    if (!plugin->started) continue;
    const ApiDescription* description = plugin->load.description;
    for (size_t i = 0; i < description->functionCount; ++i) {
      const PluginFunctionDescription& function = description->functions[i];
      std::string_view call_name = function.callName != nullptr ? function.callName : "";
      if (!MethodAccepts(function.method, call_name, method, function_name)) continue;
      if (!plugin->patterns[i].Matches(path)) continue;
      function.entry(function.context, response, request);
      return;
    }
  }

  const Service* best = nullptr;
  for (const Service& service : services_) {
    if (service.method != 0 && service.method != method) continue;
    if (!path.starts_with(service.prefix)) continue;
    if (best == nullptr || service.prefix.size() > best->prefix.size()) best = &service;
  }
  if (best == nullptr) return FillHostResponse(response, not_found);

  ServiceRequest call;
  call.method = method;
  call.path = path;
  call.query = query;
  call.raw = request;
  for (size_t i = 0; i < request->argumentCount && request->arguments != nullptr; ++i) {
    const PluginNamedArgument& argument = request->arguments[i];
    std::string_view name = argument.name != nullptr ? argument.name : "";
    PluginBoundaryResult converted{};
    if (!BindingProperty::FromBoundary(converted, call.arguments.Field(name), argument.value,
                                       name)) {
      ServiceAnswer bad{400, {}, converted.errorText != nullptr ? converted.errorText : ""};
      HeapFree(converted.errorText);
      return FillHostResponse(response, bad);
    }
  }
  ServiceAnswer answer;
  try {
    answer = best->handler(call);
  } catch (const std::exception& error) {
    answer = ServiceAnswer{kInternalError, {}, error.what()};
  } catch (...) {
    answer = ServiceAnswer{kInternalError, {}, "Unknown error"};
  }
  FillHostResponse(response, answer);
}

void HostRuntime::Exchange(const PluginRequest& request,
                           const std::function<void(const PluginResponse&)>& read) {
  thread_->Run([&] {
    PluginResponse response{};
    Route(&response, &request);
    read(response);
    if (response.release != nullptr) response.release(&response);
  });
}

CallOutcome HostRuntime::Call(const PluginRequest& request) {
  CallOutcome outcome;
  thread_->Run([&] {
    PluginResponse response{};
    Route(&response, &request);
    outcome.status = response.status;
    outcome.failed = response.result.failed != 0;
    if (response.result.errorText != nullptr) outcome.error = response.result.errorText;
    outcome.encoding = response.encoding;
    if (response.replyText != nullptr) outcome.replyText = response.replyText;
    if (!outcome.failed) {
      PluginBoundaryResult converted{};
      if (!BindingProperty::FromBoundary(converted, outcome.value, response.result.value,
                                         "<result>")) {
        outcome.failed = true;
        outcome.error = converted.errorText != nullptr ? converted.errorText : "";
        HeapFree(converted.errorText);
      }
    }
    if (response.release != nullptr) response.release(&response);
  });
  return outcome;
}

CallOutcome HostRuntime::Call(uint32_t method, const std::string& path,
                              std::string_view content_type, std::string_view body) {
  std::string type(content_type);
  PluginRequest request{};
  request.method = method;
  request.path = path.c_str();
  request.contentType = type.c_str();
  request.body = reinterpret_cast<const uint8_t*>(body.data());
  request.bodyLength = body.size();
  return Call(request);
}

std::vector<LogLine> HostRuntime::LogLines() const {
  std::lock_guard lock(logMutex_);
  return log_;
}

int32_t HostRuntime::OpSendRequest(const PluginHostApi* api, PluginResponse* response,
                                   const PluginRequest* request) {
  Of(api).SendRequest(response, request);
  return PLUGIN_HOST_OK;
}

int32_t HostRuntime::OpReserved(const PluginHostApi*, uint32_t, uint32_t) {
  return PLUGIN_HOST_NOT_SUPPORTED;
}

int32_t HostRuntime::OpPublishEvent(const PluginHostApi* api, const PluginEvent* event) {
  if (event == nullptr) return PLUGIN_HOST_OK;
  HostRuntime& self = Of(api);
  self.thread_->Run([&] { self.events_.Publish(*event); });
  return PLUGIN_HOST_OK;
}

int32_t HostRuntime::OpAddEventListener(const PluginHostApi* api, const char* name, uint32_t handle,
                                        PluginEventCallback callback, void* context,
                                        uint32_t kind) {
  if (name == nullptr || callback == nullptr) return PLUGIN_HOST_OK;
  HostRuntime& self = Of(api);
  self.thread_->Run([&] { self.events_.AddListener(name, handle, callback, context, kind); });
  return PLUGIN_HOST_OK;
}

int32_t HostRuntime::OpRemoveEventListener(const PluginHostApi* api, const char* name,
                                           uint32_t handle) {
  if (name == nullptr) return PLUGIN_HOST_OK;
  HostRuntime& self = Of(api);
  self.thread_->Run([&] { self.events_.RemoveListener(name, handle); });
  return PLUGIN_HOST_OK;
}

int32_t HostRuntime::OpScheduleCallback(const PluginHostApi* api, const char* label,
                                        PluginScheduledCallback callback, void* context,
                                        double delay_seconds, uint32_t) {
  HostRuntime& self = Of(api);
  self.thread_->Run([&] {
    self.scheduler_.Schedule(label != nullptr ? label : "", callback, context, delay_seconds);
  });
  return PLUGIN_HOST_OK;
}

int32_t HostRuntime::OpYieldToHost(const PluginHostApi* api) {
  HostRuntime& self = Of(api);
  self.thread_->Run([&] {
    ++self.yields_;
    self.scheduler_.RunDue();
  });
  return PLUGIN_HOST_OK;
}

int32_t HostRuntime::OpEnterWait(const PluginHostApi* api, const char* label, uint32_t) {
  HostRuntime& self = Of(api);
  self.thread_->Run([&] { self.waits_.emplace_back(label != nullptr ? label : ""); });
  return PLUGIN_HOST_OK;
}

int32_t HostRuntime::OpLeaveWait(const PluginHostApi* api) {
  HostRuntime& self = Of(api);
  self.thread_->Run([&] {
    if (!self.waits_.empty()) self.waits_.pop_back();
  });
  return PLUGIN_HOST_OK;
}

void HostRuntime::PublishEvent(const std::string& name, const BindingProperty& payload) {
  thread_->Run([&] {
    PluginEvent event{};
    event.name = name.c_str();
    BindingProperty::ToBoundary(payload, nullptr, event.payload);
    events_.Publish(event);
    BindingProperty::ReleaseBoundary(event.payload);
  });
}

void HostRuntime::PostEvent(std::string name, BindingProperty payload) {
  auto shared = std::make_shared<std::pair<std::string, BindingProperty>>(std::move(name),
                                                                          std::move(payload));
  thread_->Post([this, shared] {
    PluginEvent event{};
    event.name = shared->first.c_str();
    BindingProperty::ToBoundary(shared->second, nullptr, event.payload);
    events_.Publish(event);
    BindingProperty::ReleaseBoundary(event.payload);
  });
}

uint64_t HostRuntime::ObserveEvents(EventObserver observer) {
  uint64_t id = 0;
  thread_->Run([&] { id = events_.Observe(std::move(observer)); });
  return id;
}

void HostRuntime::StopObservingEvents(uint64_t id) {
  thread_->Run([&] { events_.StopObserving(id); });
}

BindingProperty HostRuntime::DecodePayload(const PluginEvent& event) {
  BindingProperty value;
  PluginBoundaryResult decoded{};
  if (!BindingProperty::FromBoundary(decoded, value, event.payload, "<result>")) {
    HeapFree(decoded.errorText);
    return BindingProperty();
  }
  return value;
}

size_t HostRuntime::ListenerCount(const std::string& name) {
  size_t count = 0;
  thread_->Run([&] { count = events_.ListenerCount(name); });
  return count;
}

std::vector<std::string> HostRuntime::ListenedNames() {
  std::vector<std::string> names;
  thread_->Run([&] { names = events_.ListenedNames(); });
  return names;
}

size_t HostRuntime::RunDueCallbacks() {
  size_t ran = 0;
  thread_->Run([&] { ran = scheduler_.RunDue(); });
  return ran;
}

std::optional<int64_t> HostRuntime::NextDue() {
  std::optional<int64_t> due;
  thread_->Run([&] { due = scheduler_.NextDue(); });
  return due;
}

size_t HostRuntime::PendingCallbacks() {
  size_t pending = 0;
  thread_->Run([&] { pending = scheduler_.Pending(); });
  return pending;
}

std::vector<std::string> HostRuntime::PendingCallbackLabels() {
  std::vector<std::string> labels;
  thread_->Run([&] { labels = scheduler_.PendingLabels(); });
  return labels;
}

size_t HostRuntime::YieldCount() {
  size_t yields = 0;
  thread_->Run([&] { yields = yields_; });
  return yields;
}

size_t HostRuntime::OpenWaits() {
  size_t open = 0;
  thread_->Run([&] { open = waits_.size(); });
  return open;
}

int32_t HostRuntime::OpWriteLog(const PluginHostApi* api, int32_t level, const char* line) {
  HostRuntime& self = Of(api);
  std::lock_guard lock(self.logMutex_);
  LogLine entry{level, line != nullptr ? line : ""};
  if (self.logSink_) {
    self.logSink_(entry);
  } else {
    self.log_.push_back(std::move(entry));
  }
  return PLUGIN_HOST_OK;
}

void HostRuntime::SetLogSink(std::function<void(const LogLine&)> sink) {
  std::lock_guard lock(logMutex_);
  logSink_ = std::move(sink);
}

}  // namespace Varn::Host

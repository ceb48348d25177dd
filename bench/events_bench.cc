// Events between a plugin and the host: publishing one resource event from a plugin to one
// in-process observer (the plugin's two publications, derived name and general name), and
// delivering one incoming event to a typed resource handler. The peer is the decoded event handed
// straight to a std::function, the floor of any delivery.
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

#include "host/runtime/event_bus.h"
#include "plugin/plugin_registration.h"

namespace Varn::Host {
namespace {

class BenchPlugin : public PluginBase {};

BindingProperty Category() {
  BindingProperty value;
  value.Field("schemaVersion").SetSigned(3);
  value.Field("data").Field("volume").SetFloat(0.75);
  value.Field("data").Field("language").SetString("en_GB");
  return value;
}

// A started plugin whose host table leads straight to an event bus on the benchmark's thread: the
// host runtime's own table does the same on its host thread, after a check that it is there.
struct Loaded {
  struct Table {
    PluginHostApi api;
    EventBus* bus;
  };
  static EventBus& Bus(const PluginHostApi* api) {
    return *reinterpret_cast<const Table*>(api)->bus;
  }
  static int32_t Publish(const PluginHostApi* api, const PluginEvent* event) {
    Bus(api).Publish(*event);
    return PLUGIN_HOST_OK;
  }
  static int32_t Add(const PluginHostApi* api, const char* name, uint32_t handle,
                     PluginEventCallback callback, void* context, uint32_t kind) {
    Bus(api).AddListener(name, handle, callback, context, kind);
    return PLUGIN_HOST_OK;
  }
  static int32_t Remove(const PluginHostApi* api, const char* name, uint32_t handle) {
    Bus(api).RemoveListener(name, handle);
    return PLUGIN_HOST_OK;
  }
  static int32_t Send(const PluginHostApi*, PluginResponse* response, const PluginRequest*) {
    *response = PluginResponse{};
    response->status = 404;
    return PLUGIN_HOST_OK;
  }
  static int32_t Other(const PluginHostApi*) { return PLUGIN_HOST_NOT_SUPPORTED; }
  static int32_t Log(const PluginHostApi*, int32_t, const char*) { return PLUGIN_HOST_OK; }

  EventBus bus;
  Table table{{&Send, nullptr, &Publish, &Add, &Remove, nullptr, &Other, nullptr, &Other, &Log},
              &bus};
  PluginHostRecord host{&table.api, 1};
  PluginLoadRecord record{PLUGIN_API_VERSION_MAJOR, 0, 0, nullptr, nullptr, nullptr, nullptr};
  BenchPlugin* plugin = nullptr;

  Loaded() {
    auto created = std::make_unique<BenchPlugin>();
    BenchPlugin* raw = created.get();
    if (!PluginRegistration::Register(std::move(created), &record, "bench")) return;
    if (record.callbacks->start(record.context, &host) != 0) plugin = raw;
  }
  ~Loaded() {
    if (record.callbacks != nullptr) record.callbacks->stop(record.context);
  }
};

void BM_PublishResourceEventToObserver(benchmark::State& state) {
  Loaded loaded;
  if (loaded.plugin == nullptr) return state.SkipWithError("plugin did not start");
  size_t seen = 0;
  loaded.bus.Observe([&](const PluginEvent&) { ++seen; });
  BindingProperty value = Category();
  for (auto _ : state) {
    loaded.plugin->PublishResourceEvent(Client::PluginResourceEventType::Update,
                                        "/zek-settings/v2/local/hud", value);
  }
  benchmark::DoNotOptimize(seen);
  state.counters["deliveries/op"] =
      benchmark::Counter(static_cast<double>(seen) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_PublishResourceEventToObserver);

void BM_IncomingEventToTypedHandler(benchmark::State& state) {
  Loaded loaded;
  if (loaded.plugin == nullptr) return state.SkipWithError("plugin did not start");
  int64_t total = 0;
  loaded.plugin->ListenResource<int64_t>(
      "/zek-login/v1/session",
      [&](const Client::TypedResourceEvent<int64_t>& event) { total += event.data; });
  BindingProperty event;
  event.Field("uri").SetString("/zek-login/v1/session");
  event.Field("eventType").SetString("Update");
  event.Field("data").SetSigned(7);
  PluginEvent record{};
  record.name = "OnJsonApiEvent_zek-login_v1_session";
  BindingProperty::ToBoundary(event, nullptr, record.payload);
  const PluginHostApi* api = &loaded.table.api;
  for (auto _ : state) api->PublishEvent(api, &record);
  BindingProperty::ReleaseBoundary(record.payload);
  if (total != 7 * static_cast<int64_t>(state.iterations())) state.SkipWithError("events lost");
}
BENCHMARK(BM_IncomingEventToTypedHandler);

// The peer: the decoded event handed to a std::function, no boundary and no conversion.
void BM_PeerDirectFunctionCall(benchmark::State& state) {
  int64_t total = 0;
  std::function<void(const Client::PluginResourceEvent&)> handler =
      [&](const Client::PluginResourceEvent& event) { total += event.data.GetSigned(); };
  Client::PluginResourceEvent event;
  event.uri = "/zek-login/v1/session";
  event.data.SetSigned(7);
  for (auto _ : state) {
    handler(event);
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(total);
}
BENCHMARK(BM_PeerDirectFunctionCall);

}  // namespace
}  // namespace Varn::Host

BENCHMARK_MAIN();

// The settings plugin's account side through its C entry: the built library is loaded with
// dlopen and driven by a host table written here from the C header, whose in-process services
// answer at once on the calling thread, whose listeners are called directly and whose scheduled
// callbacks are kept for the benchmark to fire.
//
//   The account phase for three 1 MB account files, from the readiness Update to the ready event
//   (the service answers 304, so each file is hashed by the service and loaded from disk), against
//   loading the same three files with LoadYamlFile alone.
//   One upload tick with nothing modified, fired as the host fires it (the frame's timer, the
//   settings tick, the re-arm), against the tick of a frame-only plugin's timer whose callback
//   does nothing. Goal: under 1 microsecond.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "binding/binding_property.h"
#include "binding/heap.h"
#include "binding/yaml_reader.h"
#include "binding/yaml_writer.h"
#include "plugin/plugin_registration.h"
#include "settings_library.h"
#include "zek/plugin_abi.h"
#include "zek/service_arguments.h"

namespace Varn {
namespace {

using Bench::ReleaseAnswer;
using Bench::Scratch;
using Bench::SettingsEntry;

constexpr uint64_t kAccount = 43;
constexpr const char* kAccountFiles[] = {"Config/EsportsPreferences.yaml",
                                         "Config/PerksPreferences.yaml",
                                         "Config/QEVAccountPreferences.yaml"};
constexpr char kReadinessEvent[] =
    "OnJsonApiEvent_zek-player-preferences_v1_player-preferences-ready";
constexpr char kReadyEvent[] = "OnJsonApiEvent_zek-settings_v2_ready";

// `count` categories of twenty settings each, as a client stores them.
BindingProperty AccountFileRoot(size_t count) {
  BindingProperty root;
  for (size_t c = 0; c < count; ++c) {
    char name[32];
    std::snprintf(name, sizeof(name), "category-%05zu", c);
    BindingProperty& record = root.Field(name);
    record.Field("schemaVersion").SetSigned(2);
    BindingProperty& data = record.Field("data");
    for (int m = 0; m < 20; ++m) {
      std::string key = "setting" + std::to_string(m);
      switch (m % 4) {
        case 0:
          data.Field(key).SetSigned(m * 17);
          break;
        case 1:
          data.Field(key).SetBool(m % 3 == 0);
          break;
        case 2:
          data.Field(key).SetFloat(m * 0.25);
          break;
        default:
          data.Field(key).SetString("value of " + key);
      }
    }
  }
  return root;
}

// A preference file of at least `bytes`, as the plugin writes one.
std::string AccountFileText(size_t bytes) {
  constexpr size_t kSample = 50;
  size_t per_category = WriteYaml(AccountFileRoot(kSample), nullptr, "\r\n").size() / kSample;
  return WriteYaml(AccountFileRoot(bytes / per_category + 1), nullptr, "\r\n");
}

// The host: services, listeners and scheduled callbacks, all on the calling thread.
struct Host {
  struct Table {
    PluginHostApi api;
    Host* host;
  };
  static Host& Of(const PluginHostApi* api) { return *reinterpret_cast<const Table*>(api)->host; }

  static void Fail(PluginResponse* response, uint32_t status) {
    static constexpr char kText[] = "refused";
    response->status = status;
    response->result.errorText = HeapDuplicateString(kText, sizeof(kText) - 1);
    response->result.failed = 1;
  }
  static int32_t Send(const PluginHostApi* api, PluginResponse* response,
                      const PluginRequest* request) {
    *response = PluginResponse{};
    response->release = &ReleaseAnswer;
    response->replyText = "";
    const std::string_view path = request->path != nullptr ? request->path : "";
    const bool get = request->method == PLUGIN_METHOD_GET;
    BindingProperty answer;
    if (path == "/varnclient/command-line-args") {
      answer.MakeCollection();
    } else if (path == "/data-store/v1/install-dir") {
      answer.SetString(Of(api).installDir);
    } else if (get && path.starts_with("/data-store/v1/install-settings/")) {
      answer.Field("accountId").SetUnsigned(kAccount);
      answer.Field("timestamp").SetUnsigned(0);
      answer.Field("modified").SetBool(false);
    } else if (get && path == "/zek-login/v1/session") {
      answer.Field("state").SetString("SUCCEEDED");
      answer.Field("profileId").SetUnsigned(7);
      answer.Field("accountId").SetUnsigned(kAccount);
    } else if (get && path == "/zek-player-preferences/v1/player-preferences-ready") {
      answer.SetBool(true);
    } else if (path == ZEK_PP_HASH_PATH) {
      answer.SetString("h");
    } else if (get && path.starts_with(ZEK_PP_PREFERENCE_PATH)) {
      Fail(response, 304);
      return PLUGIN_HOST_OK;
    } else if (get) {
      Fail(response, 404);
      return PLUGIN_HOST_OK;
    }
    response->status = 200;
    BindingProperty::ToBoundary(answer, nullptr, response->result.value);
    return PLUGIN_HOST_OK;
  }
  static int32_t Publish(const PluginHostApi* api, const PluginEvent* event) {
    if (event->name != nullptr && std::string_view(event->name) == kReadyEvent) ++Of(api).ready;
    return PLUGIN_HOST_OK;
  }
  static int32_t Add(const PluginHostApi* api, const char* name, uint32_t,
                     PluginEventCallback callback, void* context, uint32_t) {
    Of(api).listeners[name] = {callback, context};
    return PLUGIN_HOST_OK;
  }
  static int32_t Remove(const PluginHostApi* api, const char* name, uint32_t) {
    Of(api).listeners.erase(name);
    return PLUGIN_HOST_OK;
  }
  static int32_t Reserved(const PluginHostApi*, uint32_t, uint32_t) {
    return PLUGIN_HOST_NOT_SUPPORTED;
  }
  static int32_t Schedule(const PluginHostApi* api, const char*, PluginScheduledCallback callback,
                          void* context, double, uint32_t) {
    Of(api).scheduled = {callback, context};
    return PLUGIN_HOST_OK;
  }
  static int32_t Other(const PluginHostApi*) { return PLUGIN_HOST_NOT_SUPPORTED; }
  static int32_t Wait(const PluginHostApi*, const char*, uint32_t) {
    return PLUGIN_HOST_NOT_SUPPORTED;
  }
  static int32_t Log(const PluginHostApi*, int32_t, const char*) { return PLUGIN_HOST_OK; }

  // Delivers a resource event to the listener of `name`, as the host's event bus would.
  bool Deliver(const char* name, std::string_view uri, std::string_view type,
               const BindingProperty& data) {
    auto it = listeners.find(name);
    if (it == listeners.end()) return false;
    BindingProperty payload;
    payload.Field("uri").SetString(uri);
    payload.Field("eventType").SetString(type);
    payload.Field("data") = data;
    PluginEvent event{};
    event.name = name;
    event.context = it->second.second;
    BindingProperty::ToBoundary(payload, nullptr, event.payload);
    it->second.first(&event);
    BindingProperty::ReleaseBoundary(event.payload);
    return true;
  }
  // Fires the callback scheduled last, as the host does when it falls due.
  void Fire() {
    auto [callback, context] = scheduled;
    scheduled = {};
    if (callback != nullptr) callback(context);
  }

  std::string installDir;
  size_t ready = 0;
  std::map<std::string, std::pair<PluginEventCallback, void*>, std::less<>> listeners;
  std::pair<PluginScheduledCallback, void*> scheduled{};
  Table table{{&Send, &Reserved, &Publish, &Add, &Remove, &Schedule, &Other, &Wait, &Other, &Log},
              this};
  PluginHostRecord record{&table.api, 1};
};

// One settings plugin, loaded and started; stopped (and so destroyed) with the object.
class SettingsPlugin {
 public:
  explicit SettingsPlugin(std::string install_dir) {
    host.installDir = std::move(install_dir);
    record_.major = PLUGIN_API_VERSION_MAJOR;
    record_.minor = PLUGIN_API_VERSION_MINOR;
    record_.patch = PLUGIN_API_VERSION_PATCH;
    if (PluginLoadFunction entry = SettingsEntry()) entry(&record_);
    started_ = record_.callbacks != nullptr &&
               record_.callbacks->start(record_.context, &host.record) != 0;
  }
  ~SettingsPlugin() {
    if (record_.callbacks != nullptr) record_.callbacks->stop(record_.context);
  }
  bool Started() const { return started_; }
  bool Ready(const char* type) {
    BindingProperty on;
    on.SetBool(true);
    return host.Deliver(kReadinessEvent, "/zek-player-preferences/v1/player-preferences-ready",
                        type, on);
  }

  Host host;

 private:
  PluginLoadRecord record_{};
  bool started_ = false;
};

// The three account files, written once for the process and removed at its exit.
const Scratch& Installation() {
  static const Scratch scratch(std::filesystem::temp_directory_path().string(), "zek_phase");
  static const bool written = [] {
    std::string text = AccountFileText(1 << 20);
    for (const char* file : kAccountFiles) {
      std::filesystem::create_directories(std::filesystem::path(scratch.File(file)).parent_path());
      std::ofstream(scratch.File(file), std::ios::binary)
          .write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    return true;
  }();
  (void)written;
  return scratch;
}

void BM_AccountPhase(benchmark::State& state) {
  const Scratch& installation = Installation();
  for (auto _ : state) {
    state.PauseTiming();
    auto plugin = std::make_unique<SettingsPlugin>(installation.Path());
    if (!plugin->Started()) return state.SkipWithError("plugin did not start");
    state.ResumeTiming();
    if (!plugin->Ready("Update")) return state.SkipWithError("no readiness listener");
    state.PauseTiming();
    if (plugin->host.ready != 1) return state.SkipWithError("no ready event");
    plugin.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 3 *
                          int64_t(std::filesystem::file_size(installation.File(kAccountFiles[0]))));
}
BENCHMARK(BM_AccountPhase)->Unit(benchmark::kMillisecond);

void BM_LoadYamlFilesAlone(benchmark::State& state) {
  const Scratch& installation = Installation();
  for (auto _ : state) {
    for (const char* file : kAccountFiles) {
      BindingResult loaded = LoadYamlFile(installation.File(file));
      if (!loaded.IsOk()) return state.SkipWithError("load failed");
      benchmark::DoNotOptimize(loaded);
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 3 *
                          int64_t(std::filesystem::file_size(installation.File(kAccountFiles[0]))));
}
BENCHMARK(BM_LoadYamlFilesAlone)->Unit(benchmark::kMillisecond);

void BM_UploadTickNothingModified(benchmark::State& state) {
  Scratch empty(std::filesystem::temp_directory_path().string(), "zek_phase");
  SettingsPlugin plugin(empty.Path());
  if (!plugin.Started() || !plugin.Ready("Update")) return state.SkipWithError("no account phase");
  if (plugin.host.scheduled.first == nullptr) return state.SkipWithError("no upload timer");
  for (auto _ : state) plugin.host.Fire();
  if (plugin.host.scheduled.first == nullptr) state.SkipWithError("the timer stopped");
}
BENCHMARK(BM_UploadTickNothingModified);

// A plugin of the frame alone, with one repeating timer that does nothing.
class IdlePlugin : public PluginBase {
 public:
  bool Start() override {
    SetTimer("idle", 5.0, [] {});
    return true;
  }
};

void BM_FrameTimerTickAlone(benchmark::State& state) {
  Host host;
  PluginLoadRecord record{PLUGIN_API_VERSION_MAJOR, 0, 0, nullptr, nullptr, nullptr, nullptr};
  if (!PluginRegistration::Register(std::make_unique<IdlePlugin>(), &record, "idle") ||
      record.callbacks->start(record.context, &host.record) == 0) {
    return state.SkipWithError("plugin did not start");
  }
  for (auto _ : state) host.Fire();
  record.callbacks->stop(record.context);
}
BENCHMARK(BM_FrameTimerTickAlone);

}  // namespace
}  // namespace Varn

BENCHMARK_MAIN();

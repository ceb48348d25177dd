// zek-host: loads zek plugins, serves their routes over HTTP on 127.0.0.1 and stands in for the
// client's other services. See the README for a walkthrough.
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "binding/binding_property.h"
#include "binding/heap.h"
#include "cell_json/cell_json_renderer.h"
#include "host/runtime/host_runtime.h"
#include "host/services/service_store.h"
#include "host/services/service_values.h"
#include "host/services/stand_in_services.h"
#include "host/zek_host/access_token.h"
#include "host/zek_host/event_stream.h"
#include "host/zek_host/host_log.h"
#include "host/zek_host/host_options.h"
#include "host/zek_host/http_front.h"
#include "host/zek_host/instance_lock.h"
#include "host/zek_host/openapi_document.h"

namespace Varn::Host {
namespace {

constexpr const char* kVersion = "1.0.0";
constexpr int kBadUsage = 2;
constexpr int kFailed = 1;
constexpr auto kLongestTimerWait = std::chrono::milliseconds(200);

// Runs the host's due callbacks on the host thread, waking when the next one is due.
class TimerPump {
 public:
  explicit TimerPump(HostRuntime& runtime) : runtime_(runtime), thread_([this] { Loop(); }) {}
  ~TimerPump() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

 private:
  void Loop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      lock.unlock();
      std::optional<int64_t> due;
      runtime_.RunOnHostThread([&] {
        runtime_.RunDueCallbacks();
        due = runtime_.NextDue();
      });
      auto wait = kLongestTimerWait;
      if (due.has_value()) {
        int64_t ahead = *due - runtime_.Clock().NowNanoseconds();
        wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::nanoseconds(std::max<int64_t>(ahead, 0))));
      }
      lock.lock();
      wake_.wait_for(lock, wait, [this] { return stopping_; });
    }
  }

  HostRuntime& runtime_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

std::filesystem::path OwnFolder() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
}

std::string DefaultPlugin() {
  std::filesystem::path beside = OwnFolder() / "libzek_settings.so";
  if (std::filesystem::exists(beside)) return beside.string();
#ifdef ZEK_SETTINGS_LIBRARY
  return ZEK_SETTINGS_LIBRARY;
#else
  return beside.string();
#endif
}

// "libzek_settings.so" is entered through "load_zek_settings".
std::string EntrySymbol(const std::string& path) {
  std::string name = std::filesystem::path(path).filename().string();
  if (name.starts_with("lib")) name.erase(0, 3);
  name = name.substr(0, name.find('.'));
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return "load_" + name;
}

BindingProperty HelpOf(const ApiDescription& description) {
  BindingProperty help;
  PluginBoundaryResult converted{};
  if (!BindingProperty::FromBoundary(converted, help, description.help, "help")) {
    HeapFree(converted.errorText);
    return BindingProperty();
  }
  return help;
}

const char* LevelName(int32_t level) {
  switch (level) {
    case 0:
      return "OKAY";
    case 1:
      return "WARN";
    case 2:
      return "ERROR";
    default:
      return "ALWAYS";
  }
}

int Run(int argc, char** argv) {
  HostOptions options;
  std::string error;
  if (!ParseHostOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "zek-host: %s\n", error.c_str());
    return kBadUsage;
  }
  if (options.help) {
    std::fputs(HostUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    CoreVersion core;
    std::printf("zek-host %s (plugin API %s)\n", kVersion, core.Text().c_str());
    return 0;
  }

  // Signals are taken by sigwait below; every thread started from here on inherits the mask. A
  // shell may have started us with SIGINT ignored, and an ignored signal never reaches sigwait.
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::error_code fs_error;
  std::filesystem::create_directories(options.installDir, fs_error);
  std::filesystem::path install = std::filesystem::absolute(options.installDir, fs_error);
  if (fs_error || !std::filesystem::is_directory(install)) {
    std::fprintf(stderr, "zek-host: cannot create the install directory %s\n",
                 options.installDir.c_str());
    return kFailed;
  }
  install = std::filesystem::weakly_canonical(install, fs_error);

  HostLog log;
  if (!log.OpenFile((install / "zek-host.log").string())) {
    log.Error("cannot open " + (install / "zek-host.log").string() + "; logging to stderr only");
  }
  std::string token = NewAccessToken();
  if (token.empty()) {
    log.Error("cannot read the system's random source for the access token");
    return kFailed;
  }

  EventStream events;
  HostRuntime runtime;
  HttpFrontConfig front_config;
  front_config.port = options.port;
  front_config.maxBody = options.maxBody;
  front_config.token = token;
  HttpFront front(runtime, events, log, front_config);
  std::string lockfile = (install / "lockfile").string();
  if (int64_t holder = InstanceLock::LiveHolder(lockfile); holder != 0) {
    log.Error(InstanceLock::RunningMessage(holder, lockfile));
    return kFailed;
  }
  if (!front.Bind(error)) {
    log.Error(error);
    return kFailed;
  }
  std::unique_ptr<InstanceLock> lock = InstanceLock::Acquire(lockfile, front.Port(), token, error);
  if (lock == nullptr) {
    log.Error(error);
    return kFailed;
  }
  std::unique_ptr<ServiceStore> store =
      ServiceStore::Open((install / "zek-host.db").string(), error);
  if (store == nullptr) {
    log.Error("cannot open " + (install / "zek-host.db").string() + ": " + error);
    return kFailed;
  }

  runtime.SetLogSink(
      [&log](const LogLine& line) { log.Write("plugin", LevelName(line.level), line.text); });
  runtime.ObserveEvents([&events](const PluginEvent& event) { events.OnEvent(event); });
  StandInConfig stand_in_config{options.passThrough, install.string(),
                                (install / "telemetry.jsonl").string()};
  StandInServices services(runtime, *store, stand_in_config);
  services.Register();

  if (options.plugins.empty()) options.plugins.push_back(DefaultPlugin());
  std::vector<uint32_t> handles;
  for (const std::string& path : options.plugins) {
    HostRuntime::LoadOutcome load = runtime.LoadLibrary(path, EntrySymbol(path));
    if (!load.ok) {
      log.Error("cannot load " + path + ": " + load.error);
      return kFailed;
    }
    if (!runtime.Start(load.handle)) {
      log.Error("the plugin " + path + " did not start");
      return kFailed;
    }
    handles.push_back(load.handle);
    log.Info("started " + runtime.ShortName(load.handle) + " from " + path);
  }

  std::vector<PluginApi> apis;
  std::string help_json;
  runtime.RunOnHostThread([&] {
    for (uint32_t handle : handles) {
      const ApiDescription* description = runtime.Description(handle);
      PluginApi api;
      api.shortName = runtime.ShortName(handle);
      for (size_t i = 0; description != nullptr && i < description->functionCount; ++i) {
        const PluginFunctionDescription& fn = description->functions[i];
        api.functions.push_back({fn.name != nullptr ? fn.name : "", fn.method,
                                 fn.path != nullptr ? fn.path : "",
                                 fn.method == PLUGIN_METHOD_CALL});
      }
      if (description != nullptr) api.help = HelpOf(*description);
      apis.push_back(std::move(api));
    }
  });
  if (apis.size() == 1) {
    help_json = ToJson(apis[0].help);
  } else {
    BindingProperty all;
    all.MakeStructure();
    for (const PluginApi& api : apis) all.Field(api.shortName) = api.help;
    help_json = ToJson(all);
  }
  front.SetHelp(std::move(help_json));
  front.SetOpenApi(OpenApiDocument(apis, front.Port()));

  std::thread server([&front] { front.Serve(); });
  auto pump = std::make_unique<TimerPump>(runtime);
  std::string url = "http://127.0.0.1:" + std::to_string(front.Port());
  log.Info("listening on " + url + " for " + install.string());
  std::printf(
      "zek-host %s is running on %s\n"
      "  url:         %s\n"
      "  user:        %s\n"
      "  token:       %s\n"
      "  install dir: %s\n"
      "  try:         curl -u %s:%s %s/help\n"
      "Stop it with Ctrl-C.\n",
      kVersion, install.c_str(), url.c_str(), std::string(kUser).c_str(), token.c_str(),
      install.c_str(), std::string(kUser).c_str(), token.c_str(), url.c_str());
  std::fflush(stdout);

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  log.Info(std::string("stopping on ") + (signal_number == SIGINT ? "SIGINT" : "SIGTERM"));
  events.CloseAll();
  front.Stop();
  server.join();
  // Each plugin's stop runs its last work (the settings plugin's last upload) on the host thread.
  for (uint32_t handle : handles) runtime.Stop(handle);
  pump.reset();
  store.reset();
  lock.reset();
  log.Info("stopped");
  return 0;
}

}  // namespace
}  // namespace Varn::Host

int main(int argc, char** argv) { return Varn::Host::Run(argc, argv); }

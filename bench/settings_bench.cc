// The settings plugin through its C entry, as the client's host drives it: the built library is
// loaded with dlopen, registered through load_zek_settings and started with a host table written
// here from the C header alone, whose services answer at once on the calling thread.
//
//   GET of a small local category, against GET "/zek-settings/v2/ready" (the cheapest route: the
//   frame's dispatch and response record, and no settings work). Goal: 1,000,000 calls/s.
//   PATCH of a small local category on a 50-category file, saved with fsync, against a bare loop
//   that saves the same bytes atomically (temporary file, write, fsync, rename, folder fsync) in
//   the same folder: the save is the physical limit. Goal: at least 0.8x the peer's calls/s.
//   Start-up with a 1 MB local file (from the start callback to its return), against a bare
//   libyaml event loop over the same text.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <yaml.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "binding/heap.h"
#include "binding/yaml_writer.h"
#include "settings_library.h"
#include "zek/plugin_abi.h"

namespace Varn {
namespace {

using Bench::ReleaseAnswer;
using Bench::SettingsEntry;

// A fresh folder beside the benchmark binary (on disk, so that fsync costs what it costs).
class Scratch : public Bench::Scratch {
 public:
  Scratch() : Bench::Scratch(ZEK_BENCH_SCRATCH, "settings_bench") {}
};

constexpr char kLocalFile[] = "Config/QEVLocalPreferences.yaml";

void WriteFile(const std::string& path, std::string_view text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary).write(text.data(), std::streamsize(text.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- The host side ----

// The services the plugin calls at start: the command line (empty), the installation folder,
// and owner records of nobody; every other read is unknown, every write succeeds.
struct Host {
  struct Table {
    PluginHostApi api;
    Host* host;
  };
  static Host& Of(const PluginHostApi* api) { return *reinterpret_cast<const Table*>(api)->host; }

  static int32_t Send(const PluginHostApi* api, PluginResponse* response,
                      const PluginRequest* request) {
    *response = PluginResponse{};
    response->release = &ReleaseAnswer;
    response->replyText = "";
    const std::string_view path = request->path != nullptr ? request->path : "";
    BindingProperty answer;
    if (path == "/varnclient/command-line-args") {
      answer.MakeCollection();
    } else if (path == "/data-store/v1/install-dir") {
      answer.SetString(Of(api).installDir);
    } else if (path.starts_with("/data-store/v1/install-settings/") &&
               request->method == PLUGIN_METHOD_GET) {
      answer.Field("accountId").SetUnsigned(0);
      answer.Field("timestamp").SetUnsigned(0);
      answer.Field("modified").SetBool(false);
    } else if (request->method == PLUGIN_METHOD_GET) {
      static constexpr char kMissing[] = "No resource";
      response->status = 404;
      response->result.errorText = HeapDuplicateString(kMissing, sizeof(kMissing) - 1);
      response->result.failed = 1;
      return PLUGIN_HOST_OK;
    }
    response->status = 200;
    BindingProperty::ToBoundary(answer, nullptr, response->result.value);
    return PLUGIN_HOST_OK;
  }
  static int32_t Publish(const PluginHostApi*, const PluginEvent*) { return PLUGIN_HOST_OK; }
  static int32_t Add(const PluginHostApi*, const char*, uint32_t, PluginEventCallback, void*,
                     uint32_t) {
    return PLUGIN_HOST_OK;
  }
  static int32_t Remove(const PluginHostApi*, const char*, uint32_t) { return PLUGIN_HOST_OK; }
  static int32_t Reserved(const PluginHostApi*, uint32_t, uint32_t) {
    return PLUGIN_HOST_NOT_SUPPORTED;
  }
  static int32_t Schedule(const PluginHostApi*, const char*, PluginScheduledCallback, void*, double,
                          uint32_t) {
    return PLUGIN_HOST_NOT_SUPPORTED;
  }
  static int32_t Other(const PluginHostApi*) { return PLUGIN_HOST_NOT_SUPPORTED; }
  static int32_t Wait(const PluginHostApi*, const char*, uint32_t) {
    return PLUGIN_HOST_NOT_SUPPORTED;
  }
  static int32_t Log(const PluginHostApi*, int32_t, const char*) { return PLUGIN_HOST_OK; }

  std::string installDir;
  Table table{{&Send, &Reserved, &Publish, &Add, &Remove, &Schedule, &Other, &Wait, &Other, &Log},
              this};
  PluginHostRecord record{&table.api, 1};
};

// One registered plugin; started on request, stopped (and so destroyed) with the object.
class Plugin {
 public:
  explicit Plugin(std::string install_dir) {
    host_.installDir = std::move(install_dir);
    record_.major = PLUGIN_API_VERSION_MAJOR;
    record_.minor = PLUGIN_API_VERSION_MINOR;
    record_.patch = PLUGIN_API_VERSION_PATCH;
    if (PluginLoadFunction entry = SettingsEntry()) entry(&record_);
  }
  ~Plugin() {
    if (record_.callbacks != nullptr) record_.callbacks->stop(record_.context);
  }
  bool Loaded() const { return record_.callbacks != nullptr; }
  bool Start() { return Loaded() && record_.callbacks->start(record_.context, &host_.record) != 0; }

  // The function serving `method` on the template `path`, or null.
  const PluginFunctionDescription* Function(uint32_t method, std::string_view path) const {
    const ApiDescription* description = record_.description;
    for (size_t i = 0; description != nullptr && i < description->functionCount; ++i) {
      const PluginFunctionDescription& function = description->functions[i];
      if (function.method == method && path == function.path) return &function;
    }
    return nullptr;
  }

 private:
  Host host_;
  PluginLoadRecord record_{};
};

// One request through a function entry, released; the response status.
uint32_t Call(const PluginFunctionDescription& function, const PluginRequest& request) {
  PluginResponse response{};
  function.entry(function.context, &response, &request);
  const uint32_t status = response.status;
  if (response.release != nullptr) response.release(&response);
  return status;
}

PluginRequest Request(uint32_t method, const char* path, std::string_view json = {}) {
  PluginRequest request{};
  request.method = method;
  request.path = path;
  if (!json.empty()) {
    request.contentType = "application/json";
    request.body = reinterpret_cast<const uint8_t*>(json.data());
    request.bodyLength = json.size();
  }
  return request;
}

std::string CategoryFile(size_t categories, size_t members) {
  BindingProperty root;
  for (size_t c = 0; c < categories; ++c) {
    char name[32];
    std::snprintf(name, sizeof(name), "category-%04zu", c);
    BindingProperty& record = root.Field(name);
    record.Field("schemaVersion").SetSigned(1);
    BindingProperty& data = record.Field("data");
    for (size_t m = 0; m < members; ++m) {
      char key[32];
      std::snprintf(key, sizeof(key), "setting%02zu", m);
      switch (m % 4) {
        case 0:
          data.Field(key).SetSigned(static_cast<int64_t>(c * 31 + m));
          break;
        case 1:
          data.Field(key).SetBool(m % 8 == 1);
          break;
        case 2:
          data.Field(key).SetString("value of the setting");
          break;
        default:
          data.Field(key).SetFloat(0.25 * static_cast<double>(m));
          break;
      }
    }
  }
  return WriteYaml(root, nullptr, "\r\n");
}

// ---- GET ----

void GetBench(benchmark::State& state, uint32_t method, const char* template_path,
              const char* path) {
  Scratch scratch;
  WriteFile(scratch.File(kLocalFile), CategoryFile(1, 4));
  Plugin plugin(scratch.Path());
  if (!plugin.Start()) return state.SkipWithError("the plugin did not start");
  const PluginFunctionDescription* function = plugin.Function(method, template_path);
  if (function == nullptr) return state.SkipWithError("no such route");
  const PluginRequest request = Request(method, path);
  if (Call(*function, request) != 200) return state.SkipWithError("the route failed");
  for (auto _ : state) benchmark::DoNotOptimize(Call(*function, request));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_GetLocalCategory(benchmark::State& state) {
  GetBench(state, PLUGIN_METHOD_GET, "/zek-settings/v2/local/{category}",
           "/zek-settings/v2/local/category-0000");
}
BENCHMARK(BM_GetLocalCategory);

void BM_GetReady(benchmark::State& state) {
  GetBench(state, PLUGIN_METHOD_GET, "/zek-settings/v2/ready", "/zek-settings/v2/ready");
}
BENCHMARK(BM_GetReady);

// ---- PATCH ----

// Two bodies taken in turn, so that every PATCH changes the file.
constexpr std::string_view kPatchBodies[] = {
    R"({"schemaVersion":1,"data":{"setting00":7,"setting02":"patched"}})",
    R"({"schemaVersion":1,"data":{"setting00":8,"setting02":"patched again"}})",
};

void BM_PatchLocalCategoryOf50(benchmark::State& state) {
  Scratch scratch;
  WriteFile(scratch.File(kLocalFile), CategoryFile(50, 6));
  Plugin plugin(scratch.Path());
  if (!plugin.Start()) return state.SkipWithError("the plugin did not start");
  const PluginFunctionDescription* function =
      plugin.Function(PLUGIN_METHOD_PATCH, "/zek-settings/v2/local/{category}");
  if (function == nullptr) return state.SkipWithError("no such route");
  const PluginRequest requests[] = {
      Request(PLUGIN_METHOD_PATCH, "/zek-settings/v2/local/category-0007", kPatchBodies[0]),
      Request(PLUGIN_METHOD_PATCH, "/zek-settings/v2/local/category-0007", kPatchBodies[1]),
  };
  size_t turn = 0;
  for (auto _ : state) {
    if (Call(*function, requests[turn++ & 1]) != 200) {
      return state.SkipWithError("the PATCH failed");
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["file_bytes"] = static_cast<double>(ReadFile(scratch.File(kLocalFile)).size());
}
// Both save benchmarks wait on the disk, so they are timed by the wall clock.
BENCHMARK(BM_PatchLocalCategoryOf50)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The same save written out with bare system calls.
bool SaveAtomically(const std::string& folder, const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;
  ok = fsync(dir) == 0 && ok;
  close(dir);
  return ok;
}

void BM_BareAtomicSaveOfTheSameBytes(benchmark::State& state) {
  Scratch scratch;
  const std::string path = scratch.File(kLocalFile);
  std::string texts[2];
  {
    // The exact bytes the PATCH benchmark saves, one file per body.
    WriteFile(path, CategoryFile(50, 6));
    Plugin plugin(scratch.Path());
    if (!plugin.Start()) return state.SkipWithError("the plugin did not start");
    const PluginFunctionDescription* function =
        plugin.Function(PLUGIN_METHOD_PATCH, "/zek-settings/v2/local/{category}");
    if (function == nullptr) return state.SkipWithError("no such route");
    for (int i = 0; i < 2; ++i) {
      Call(*function,
           Request(PLUGIN_METHOD_PATCH, "/zek-settings/v2/local/category-0007", kPatchBodies[i]));
      texts[i] = ReadFile(path);
    }
  }
  const std::string folder = std::filesystem::path(path).parent_path().string();
  size_t turn = 0;
  for (auto _ : state) {
    if (!SaveAtomically(folder, path, texts[turn++ & 1])) {
      return state.SkipWithError("the save failed");
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["file_bytes"] = static_cast<double>(texts[0].size());
}
BENCHMARK(BM_BareAtomicSaveOfTheSameBytes)->UseRealTime()->Unit(benchmark::kMicrosecond);

// ---- Start-up ----

const std::string& MegabyteFile() {
  static const std::string text = [] {
    size_t categories = 64;
    std::string candidate = CategoryFile(categories, 24);
    while (candidate.size() < (1u << 20)) {
      categories = categories * (1u << 20) / candidate.size() + 1;
      candidate = CategoryFile(categories, 24);
    }
    return candidate;
  }();
  return text;
}

void BM_StartWithAMegabyteLocalFile(benchmark::State& state) {
  Scratch scratch;
  WriteFile(scratch.File(kLocalFile), MegabyteFile());
  for (auto _ : state) {
    Plugin plugin(scratch.Path());
    if (!plugin.Loaded()) return state.SkipWithError("the plugin did not load");
    const auto begin = std::chrono::steady_clock::now();
    const bool started = plugin.Start();
    const auto end = std::chrono::steady_clock::now();
    if (!started) return state.SkipWithError("the plugin did not start");
    state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * MegabyteFile().size()));
}
BENCHMARK(BM_StartWithAMegabyteLocalFile)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LibyamlEventLoopOverTheSameText(benchmark::State& state) {
  const std::string& text = MegabyteFile();
  for (auto _ : state) {
    yaml_parser_t parser;
    yaml_parser_initialize(&parser);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()),
                                 text.size());
    yaml_event_t event;
    size_t events = 0;
    while (yaml_parser_parse(&parser, &event)) {
      const bool done = event.type == YAML_STREAM_END_EVENT;
      yaml_event_delete(&event);
      ++events;
      if (done) break;
    }
    yaml_parser_delete(&parser);
    benchmark::DoNotOptimize(events);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
// Timed by the wall clock, as the start-up is.
BENCHMARK(BM_LibyamlEventLoopOverTheSameText)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace Varn

BENCHMARK_MAIN();

// Dispatch through a plugin's C entry point (request and response records, release included),
// and route resolution, against std::regex as the peer: the route table's templates give the same
// matches as the expressions a regex-based router compiles from them.
#include <benchmark/benchmark.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "binding/binding_record_builder.h"
#include "plugin/plugin_registration.h"
#include "plugin/route_pattern.h"

namespace Varn {
namespace {

struct RouteShape {
  uint32_t method;
  const char* path;
};

// The settings service's fourteen routes.
constexpr RouteShape kSettingsRoutes[] = {
    {PLUGIN_METHOD_GET, "/zek-settings/v1/account/{category}"},
    {PLUGIN_METHOD_PATCH, "/zek-settings/v1/account/{category}"},
    {PLUGIN_METHOD_PUT, "/zek-settings/v1/account/{category}"},
    {PLUGIN_METHOD_POST, "/zek-settings/v1/account/save"},
    {PLUGIN_METHOD_GET, "/zek-settings/v1/account/didreset"},
    {PLUGIN_METHOD_GET, "/zek-settings/v2/account/{ppType}/{category}"},
    {PLUGIN_METHOD_PATCH, "/zek-settings/v2/account/{ppType}/{category}"},
    {PLUGIN_METHOD_PUT, "/zek-settings/v2/account/{ppType}/{category}"},
    {PLUGIN_METHOD_GET, "/zek-settings/v2/didreset/{ppType}"},
    {PLUGIN_METHOD_GET, "/zek-settings/v2/ready"},
    {PLUGIN_METHOD_GET, "/zek-settings/v1/local/{category}"},
    {PLUGIN_METHOD_PATCH, "/zek-settings/v1/local/{category}"},
    {PLUGIN_METHOD_GET, "/zek-settings/v2/local/{category}"},
    {PLUGIN_METHOD_PATCH, "/zek-settings/v2/local/{category}"},
};

constexpr const char* kAccountPath = "/zek-settings/v2/account/PerksPreferences/audio";

// The category record a PATCH carries.
struct BenchCategory {
  int32_t schemaVersion = 0;
  BindingProperty data;
};

// A 200-byte JSON category record.
std::string CategoryJson() {
  std::string json = R"({"schemaVersion":3,"data":{"volume":0.75,"muted":false,"device":")";
  std::string tail = R"("}})";
  json.append(200 - json.size() - tail.size(), 'x');
  return json + tail;
}

// The fourteen routes; the templated GET has a tiny handler.
class BenchPlugin : public PluginBase {
 public:
  void RegisterApi() override {
    DeclareStructure<BenchCategory>(Registry(), "SettingCategory")
        .Field(ZEK_MEMBER(BenchCategory, schemaVersion), "")
        .Field(ZEK_MEMBER(BenchCategory, data), "");
    for (const RouteShape& route : kSettingsRoutes) {
      if (route.method == PLUGIN_METHOD_PATCH &&
          std::string_view(route.path) == "/zek-settings/v2/account/{ppType}/{category}") {
        Route(route.method, route.path,
              [](std::string type, std::string category, BenchCategory resource) {
                benchmark::DoNotOptimize(resource.schemaVersion);
                benchmark::DoNotOptimize(type.size() + category.size());
              })
            .Path("ppType", "")
            .Path("category", "")
            .Body("settingsResource", "");
      } else if (route.method == PLUGIN_METHOD_GET &&
                 std::string_view(route.path) == "/zek-settings/v2/account/{ppType}/{category}") {
        Route(route.method, route.path,
              [](std::string type, std::string category) {
                return type.size() + category.size() > 0;
              })
            .Path("ppType", "")
            .Path("category", "");
      } else {
        // Every capture is a declared parameter, or the route would be refused.
        RoutePattern pattern(route.path);
        const std::vector<std::string>& names = pattern.ParameterNames();
        if (names.empty()) {
          Route(route.method, route.path, [] { return true; });
        } else if (names.size() == 1) {
          Route(route.method, route.path, [](std::string a) {
            return !a.empty();
          }).Path(names[0], "");
        } else {
          Route(route.method, route.path,
                [](std::string a, std::string b) { return !a.empty() && !b.empty(); })
              .Path(names[0], "")
              .Path(names[1], "");
        }
      }
    }
  }
};

// A plugin registered through the handshake, as a host sees it.
struct LoadedPlugin {
  PluginLoadRecord record{PLUGIN_API_VERSION_MAJOR, 0, 0, nullptr, nullptr, nullptr, nullptr};
  LoadedPlugin() {
    PluginRegistration::Register(std::make_unique<BenchPlugin>(), &record, "bench");
  }
  ~LoadedPlugin() { record.callbacks->stop(record.context); }
  const PluginFunctionDescription& Function() const { return record.description->functions[0]; }
};

void BM_TemplatedGet(benchmark::State& state) {
  LoadedPlugin plugin;
  const PluginFunctionDescription& entry = plugin.Function();
  PluginRequest request{};
  request.method = PLUGIN_METHOD_GET;
  request.path = kAccountPath;
  for (auto _ : state) {
    PluginResponse response;
    entry.entry(entry.context, &response, &request);
    if (response.status != 200) state.SkipWithError("not served");
    response.release(&response);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TemplatedGet);

void BM_PatchJsonBody(benchmark::State& state) {
  LoadedPlugin plugin;
  const PluginFunctionDescription& entry = plugin.Function();
  const std::string body = CategoryJson();
  PluginRequest request{};
  request.method = PLUGIN_METHOD_PATCH;
  request.path = kAccountPath;
  request.contentType = "application/json";
  request.body = reinterpret_cast<const uint8_t*>(body.data());
  request.bodyLength = body.size();
  for (auto _ : state) {
    PluginResponse response;
    entry.entry(entry.context, &response, &request);
    if (response.status != 200) state.SkipWithError("not served");
    response.release(&response);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(body.size()));
}
BENCHMARK(BM_PatchJsonBody);

// Tables of `count` templated routes spread over services, plus the settings routes.
std::vector<std::string> RouteTemplates(size_t count) {
  std::vector<std::string> templates;
  for (const RouteShape& route : kSettingsRoutes) templates.emplace_back(route.path);
  for (size_t i = templates.size(); i < count; ++i) {
    templates.push_back("/zek-service-" + std::to_string(i % 40) + "/v" + std::to_string(i % 3) +
                        "/things" + std::to_string(i) + "/{id}");
  }
  return templates;
}

void BM_Resolve(benchmark::State& state) {
  RouteTable table;
  // Added unchecked: only resolution is measured, no handler runs.
  for (const std::string& t : RouteTemplates(static_cast<size_t>(state.range(0)))) {
    table.Add(PLUGIN_METHOD_GET, t, "", {}, nullptr);
  }
  std::vector<std::string_view> captures;
  for (auto _ : state) {
    const RouteFunction* function = table.Resolve(PLUGIN_METHOD_GET, kAccountPath, "", captures);
    benchmark::DoNotOptimize(function);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Resolve)->Arg(14)->Arg(500);

// The peer: one std::regex_match of the path, and a walk over every route's expression.
void BM_RegexMatchOne(benchmark::State& state) {
  std::regex expression(RoutePattern("/zek-settings/v2/account/{ppType}/{category}").RegexText(),
                        std::regex::ECMAScript | std::regex::optimize);
  std::cmatch match;
  for (auto _ : state) {
    bool matched = std::regex_match(kAccountPath, match, expression);
    benchmark::DoNotOptimize(matched);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegexMatchOne);

void BM_RegexWalk(benchmark::State& state) {
  std::vector<std::regex> expressions;
  for (const std::string& t : RouteTemplates(static_cast<size_t>(state.range(0)))) {
    RoutePattern pattern(t);
    std::string text = pattern.IsLiteral() ? t : pattern.RegexText();
    expressions.emplace_back(text, std::regex::ECMAScript | std::regex::optimize);
  }
  std::cmatch match;
  for (auto _ : state) {
    int matches = 0;
    for (const std::regex& expression : expressions) {
      matches += std::regex_match(kAccountPath, match, expression);
    }
    benchmark::DoNotOptimize(matches);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegexWalk)->Arg(14)->Arg(500);

}  // namespace
}  // namespace Varn

BENCHMARK_MAIN();

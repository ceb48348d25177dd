#include "plugin/plugin_registration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "binding/heap.h"

namespace Varn {
namespace {

// A plugin that records what the frame did to it.
class ProbePlugin : public PluginBase {
 public:
  struct Probe {
    int registered = 0;
    int started = 0;
    int stopped = 0;
    bool destroyed = false;
    bool startResult = true;
  };
  explicit ProbePlugin(Probe& probe) : probe_(probe) {}
  ~ProbePlugin() override { probe_.destroyed = true; }

  void RegisterApi() override {
    ++probe_.registered;
    Route(PLUGIN_METHOD_GET, "/probe/v1/items/{id}", [](std::string id) {
      return id;
    }).Path("id", "Item id");
  }
  bool Start() override {
    ++probe_.started;
    return probe_.startResult;
  }
  void Stop() override {
    ++probe_.stopped;
    PluginBase::Stop();
  }

 private:
  Probe& probe_;
};

PluginLoadRecord CoreRecord(uint32_t major, uint32_t minor, uint32_t patch) {
  PluginLoadRecord record{};
  record.major = major;
  record.minor = minor;
  record.patch = patch;
  return record;
}

TEST(PluginRegistrationTest, AcceptsOnlyCompatibleCores) {
  struct Case {
    uint32_t major, minor, patch;
    bool accepted;
  };
  const Case cases[] = {
      {18, 0, 0, true},  {18, 5, 0, true},  {18, 0, 7, true},  {18, 99, 99, true},
      {17, 0, 0, false}, {17, 9, 9, false}, {19, 0, 0, false}, {0, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + "." +
                 std::to_string(c.patch));
    ProbePlugin::Probe probe;
    PluginLoadRecord record = CoreRecord(c.major, c.minor, c.patch);
    bool accepted =
        PluginRegistration::Register(std::make_unique<ProbePlugin>(probe), &record, "probe");
    EXPECT_EQ(accepted, c.accepted);
    if (!c.accepted) {
      EXPECT_TRUE(probe.destroyed);
      EXPECT_EQ(probe.registered, 0);
      EXPECT_EQ(record.callbacks, nullptr);
      EXPECT_EQ(record.context, nullptr);
      EXPECT_EQ(record.description, nullptr);
      continue;
    }
    EXPECT_FALSE(probe.destroyed);
    EXPECT_EQ(record.major, 18u);
    EXPECT_EQ(record.minor, 0u);
    EXPECT_EQ(record.patch, 0u);
    ASSERT_NE(record.callbacks, nullptr);
    auto* plugin = static_cast<PluginBase*>(record.context);
    EXPECT_EQ(
        plugin->CoreVersion().Text(),
        std::to_string(c.major) + "." + std::to_string(c.minor) + "." + std::to_string(c.patch));
    record.callbacks->stop(record.context);
    EXPECT_TRUE(probe.destroyed);
  }
}

TEST(PluginRegistrationTest, FillsTheRecordAndDescribesTheApi) {
  ProbePlugin::Probe probe;
  PluginLoadRecord record = CoreRecord(18, 2, 1);
  ASSERT_TRUE(
      PluginRegistration::Register(std::make_unique<ProbePlugin>(probe), &record, "zek-settings"));
  auto* plugin = static_cast<PluginBase*>(record.context);
  EXPECT_EQ(probe.registered, 1);
  EXPECT_STREQ(record.shortName, "zek-settings");
  EXPECT_EQ(plugin->NameRecord().fullName, "ozu-be-zek-settings");
  EXPECT_EQ(plugin->NameRecord().type, "backend");
  EXPECT_EQ(plugin->NamespaceIdentifier(), "ZekSettings");
  EXPECT_EQ(plugin->DocumentationTags(),
            (std::vector<std::string>{"Plugins", "Plugin zek-settings"}));

  const ApiDescription* description = record.description;
  ASSERT_NE(description, nullptr);
  ASSERT_EQ(description->functionCount, 1u);
  const PluginFunctionDescription& function = description->functions[0];
  EXPECT_STREQ(function.name, "GetProbeV1ItemsById");
  EXPECT_EQ(function.method, uint32_t{PLUGIN_METHOD_GET});
  EXPECT_STREQ(function.path, "/probe/v1/items/{id}");
  EXPECT_STREQ(function.callName, "");

  // The entry serves the function.
  PluginRequest request{};
  request.method = PLUGIN_METHOD_GET;
  request.path = "/probe/v1/items/42";
  PluginResponse response{};
  function.entry(function.context, &response, &request);
  // Fields of the packed record are copied out: a reference to one may be misaligned.
  uint32_t status = response.status;
  uint32_t kind = response.result.value.kind;
  EXPECT_EQ(status, 200u);
  EXPECT_EQ(kind, uint32_t{PLUGIN_CELL_STRING});
  EXPECT_STREQ(response.result.value.payload.string.text, "42");
  response.release(&response);

  // The help value names the function with its argument.
  BindingProperty help;
  PluginBoundaryResult converted{};
  ASSERT_TRUE(BindingProperty::FromBoundary(converted, help, description->help, "help"));
  const BindingProperty& f = help.Find("functions").At(0);
  EXPECT_EQ(f.Find("name").GetString(), "GetProbeV1ItemsById");
  EXPECT_EQ(f.Find("nameSpace").GetString(), "ZekSettings");
  const BindingProperty& argument = f.Find("arguments").At(0);
  EXPECT_EQ(argument.Find("name").GetString(), "id");
  EXPECT_EQ(argument.Find("description").GetString(), "Item id");
  EXPECT_EQ(argument.Find("type").Find("type").GetString(), "string");
  EXPECT_FALSE(argument.Find("optional").GetBool(true));

  record.callbacks->stop(record.context);
}

// A host whose every operation answers "not supported"; enough for start and stop.
const PluginHostApi& NullHost() {
  static const PluginHostApi api = {
      [](PluginHostApiTable*, PluginResponse*, const PluginRequest*) { return 1; },
      [](PluginHostApiTable*, uint32_t, uint32_t) { return 1; },
      [](PluginHostApiTable*, const PluginEvent*) { return 1; },
      [](PluginHostApiTable*, const char*, uint32_t, PluginEventCallback, void*, uint32_t) {
        return 1;
      },
      [](PluginHostApiTable*, const char*, uint32_t) { return 1; },
      [](PluginHostApiTable*, const char*, PluginScheduledCallback, void*, double, uint32_t) {
        return 1;
      },
      [](PluginHostApiTable*) { return 1; },
      [](PluginHostApiTable*, const char*, uint32_t) { return 1; },
      [](PluginHostApiTable*) { return 1; },
      [](PluginHostApiTable*, int32_t, const char*) { return 1; },
  };
  return api;
}

TEST(PluginRegistrationTest, StartKeepsTheHostAndReturnsThePluginsAnswer) {
  for (bool start_result : {true, false}) {
    SCOPED_TRACE(start_result);
    ProbePlugin::Probe probe;
    probe.startResult = start_result;
    PluginLoadRecord record = CoreRecord(18, 2, 1);
    ASSERT_TRUE(PluginRegistration::Register(std::make_unique<ProbePlugin>(probe), &record,
                                             "zek-settings"));
    auto* plugin = static_cast<PluginBase*>(record.context);
    EXPECT_EQ(plugin->Host(), nullptr);
    PluginResponse response{};
    EXPECT_EQ(plugin->SendRequest(&response, nullptr), PLUGIN_HOST_NOT_SUPPORTED);
    uint32_t status = response.status;
    EXPECT_EQ(status, 400u);

    PluginHostRecord host{&NullHost(), 77};
    EXPECT_EQ(record.callbacks->start(record.context, &host), start_result ? 1 : 0);
    EXPECT_EQ(probe.started, 1);
    EXPECT_EQ(plugin->Host(), &host);
    EXPECT_EQ(plugin->Handle(), 77u);
    EXPECT_EQ(plugin->UserAgent(), "VarnClient/18.2.1 (zek-settings)");

    record.callbacks->stop(record.context);
    EXPECT_EQ(probe.stopped, 1);
    EXPECT_TRUE(probe.destroyed);
  }
}

// A host that takes every listener and callback and writes down what it was asked.
struct HostCalls {
  std::vector<std::string> added;
  std::vector<std::string> removed;
  int scheduled = 0;
};
HostCalls& Calls() {
  static HostCalls calls;
  return calls;
}
const PluginHostApi& RecordingHost() {
  static const PluginHostApi api = {
      [](PluginHostApiTable*, PluginResponse* response, const PluginRequest*) {
        *response = PluginResponse{};
        response->status = 404;
        return 0;
      },
      [](PluginHostApiTable*, uint32_t, uint32_t) { return 1; },
      [](PluginHostApiTable*, const PluginEvent*) { return 0; },
      [](PluginHostApiTable*, const char* name, uint32_t, PluginEventCallback, void*, uint32_t) {
        Calls().added.push_back(name);
        return 0;
      },
      [](PluginHostApiTable*, const char* name, uint32_t) {
        Calls().removed.push_back(name);
        return 0;
      },
      [](PluginHostApiTable*, const char*, PluginScheduledCallback, void*, double, uint32_t) {
        ++Calls().scheduled;
        return 0;
      },
      [](PluginHostApiTable*) { return 0; },
      [](PluginHostApiTable*, const char*, uint32_t) { return 0; },
      [](PluginHostApiTable*) { return 0; },
      [](PluginHostApiTable*, int32_t, const char*) { return 0; },
  };
  return api;
}

// A plugin whose Stop override throws, or returns without the base's clean-up.
class CarelessPlugin : public PluginBase {
 public:
  struct Seen {
    bool timerAtDestruction = true;
    size_t scheduledAtDestruction = 1;
    uint32_t subscriptionsAtDestruction = 1;
  };
  CarelessPlugin(bool throws, Seen& seen) : throws_(throws), seen_(seen) {}
  ~CarelessPlugin() override {
    seen_.timerAtDestruction = HasTimer("t");
    seen_.scheduledAtDestruction = ScheduledCallbackCount();
    seen_.subscriptionsAtDestruction = SubscriptionCount("OnJsonApiEvent_svc_v1_a");
  }
  bool Start() override {
    ListenResource("/svc/v1/a", [](const Client::PluginResourceEvent&) {});
    ListenResource("/svc/v2/*", [](const Client::PluginResourceEvent&) {});
    SetTimer("t", 1.0, [] {});
    ScheduleAt(
        "once", [] {}, Timers::Now() + 1'000'000'000);
    return true;
  }
  void Stop() override {
    if (throws_) throw std::runtime_error("stop failed");
  }

 private:
  bool throws_;
  Seen& seen_;
};

TEST(PluginRegistrationTest, StopCleansUpTheFrameWhateverThePluginsStopDid) {
  for (bool throws : {true, false}) {
    SCOPED_TRACE(throws ? "Stop throws" : "Stop skips the base");
    Calls() = HostCalls{};
    CarelessPlugin::Seen seen;
    PluginLoadRecord record = CoreRecord(18, 0, 0);
    ASSERT_TRUE(PluginRegistration::Register(std::make_unique<CarelessPlugin>(throws, seen),
                                             &record, "careless"));
    PluginHostRecord host{&RecordingHost(), 5};
    ASSERT_EQ(record.callbacks->start(record.context, &host), 1);
    EXPECT_EQ(Calls().scheduled, 2);
    ASSERT_FALSE(Calls().added.empty());
    record.callbacks->stop(record.context);
    std::vector<std::string> added = Calls().added;
    std::vector<std::string> removed = Calls().removed;
    std::sort(added.begin(), added.end());
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, added);
    EXPECT_FALSE(seen.timerAtDestruction);
    EXPECT_EQ(seen.scheduledAtDestruction, 0u);
    EXPECT_EQ(seen.subscriptionsAtDestruction, 0u);
  }
}

TEST(PluginRegistrationTest, MemoryStatisticsMoveWithTheHeap) {
  ProbePlugin::Probe probe;
  PluginLoadRecord record = CoreRecord(18, 0, 0);
  ASSERT_TRUE(PluginRegistration::Register(std::make_unique<ProbePlugin>(probe), &record, "probe"));
  PluginMemoryStats before{};
  record.callbacks->memoryStats(record.context, &before);
  void* block = HeapAllocate(1000);
  PluginMemoryStats during{};
  record.callbacks->memoryStats(record.context, &during);
  HeapFree(block);
  PluginMemoryStats after{};
  record.callbacks->memoryStats(record.context, &after);
  EXPECT_EQ(during.allocationCount, before.allocationCount + 1);
  EXPECT_GE(during.allocatedBytes, before.allocatedBytes + 1000);
  EXPECT_GE(during.peakLiveBytes, 1000u);
  EXPECT_EQ(after.freeCount, during.freeCount + 1);
  EXPECT_GE(after.freedBytes, during.freedBytes + 1000);
  EXPECT_EQ(after.reserved0, 0u);
  EXPECT_EQ(after.reserved1, 0u);
  record.callbacks->stop(record.context);
}

TEST(PluginVersionTest, FormatsVersionText) {
  EXPECT_EQ((PluginApiVersion{18, 2, 1, {}, {}}.Text()), "18.2.1");
  EXPECT_EQ((PluginApiVersion{1, 0, 0, "beta", {}}.Text()), "1.0.0-beta");
  EXPECT_EQ((PluginApiVersion{1, 0, 0, {}, "7"}.Text()), "1.0.0+7");
  EXPECT_EQ((PluginApiVersion{1, 0, 0, "rc.1", "7"}.Text()), "1.0.0-rc.1+7");
}

TEST(PluginNameTest, PrefixesByType) {
  EXPECT_EQ(GetFullNameFromShortNameAndType("zek-settings", "backend"), "ozu-be-zek-settings");
  EXPECT_EQ(GetFullNameFromShortNameAndType("zek-settings", "frontend"), "ozu-fe-zek-settings");
  EXPECT_EQ(GetFullNameFromShortNameAndType("zek-settings", "daemon"), "ozu-xx-zek-settings");
}

}  // namespace
}  // namespace Varn

// The built libzek_settings.so, loaded and driven through the C header and the host runtime.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "host/runtime/host_runtime.h"
#include "zek/plugin_abi.h"

namespace Varn::Host {
namespace {

constexpr const char* kLibrary = ZEK_SETTINGS_LIBRARY;
constexpr const char* kEntry = "load_zek_settings";

CoreVersion Core(uint32_t major, uint32_t minor, uint32_t patch) {
  return {major, minor, patch};
}

TEST(PluginLibraryTest, AcceptsCompatibleCoresAndRefusesOthers) {
  struct Case {
    CoreVersion core;
    bool accepted;
  };
  const Case cases[] = {
      {Core(18, 0, 0), true},  {Core(18, 5, 0), true},  {Core(18, 0, 3), true},
      {Core(17, 0, 0), false}, {Core(17, 9, 9), false}, {Core(19, 0, 0), false},
      {Core(19, 2, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.core.Text());
    HostRuntime runtime;
    testing::internal::CaptureStderr();
    HostRuntime::LoadOutcome load = runtime.LoadLibrary(kLibrary, kEntry, c.core);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(load.ok, c.accepted) << load.error;
    if (c.accepted) {
      EXPECT_EQ(err.find("ALE-EECF0606"), std::string::npos);
      EXPECT_TRUE(runtime.Start(load.handle));
      EXPECT_EQ(runtime.ShortName(load.handle), "zek-settings");
      continue;
    }
    EXPECT_EQ(load.handle, 0u);
    EXPECT_NE(err.find("Assertion failed!"), std::string::npos) << err;
    EXPECT_NE(err.find("Expression: ALE-EECF0606"), std::string::npos) << err;
    EXPECT_NE(err.find("Description: zek-settings which supports plugin API 18.0.0 is not "
                       "compatible with core's plugin API " +
                       c.core.Text()),
              std::string::npos)
        << err;
    EXPECT_FALSE(runtime.Start(load.handle));
  }
}

TEST(PluginLibraryTest, StartsServesItsDescriptionAndStops) {
  HostRuntime runtime;
  HostRuntime::LoadOutcome load = runtime.LoadLibrary(kLibrary, kEntry);
  ASSERT_TRUE(load.ok) << load.error;
  const ApiDescription* description = runtime.Description(load.handle);
  ASSERT_NE(description, nullptr);
  uint32_t help_kind = description->help.kind;
  EXPECT_EQ(help_kind, uint32_t{PLUGIN_CELL_STRUCTURE});
  EXPECT_FALSE(runtime.IsStarted(load.handle));

  ASSERT_TRUE(runtime.Start(load.handle));
  EXPECT_TRUE(runtime.IsStarted(load.handle));
  // Started twice is still one start.
  EXPECT_FALSE(runtime.Start(load.handle));

  runtime.Stop(load.handle);
  EXPECT_FALSE(runtime.IsStarted(load.handle));
  EXPECT_EQ(runtime.Description(load.handle), nullptr);
  EXPECT_FALSE(runtime.MemoryStats(load.handle).has_value());
  // A path nobody serves, once the plugin is gone, is the host's 404.
  CallOutcome outcome = runtime.Call(PLUGIN_METHOD_GET, "/zek-settings/v2/ready");
  EXPECT_EQ(outcome.status, 404u);
  EXPECT_TRUE(outcome.failed);
}

TEST(PluginLibraryTest, MemoryStatisticsFollowTheLibrarysHeap) {
  HostRuntime runtime;
  HostRuntime::LoadOutcome first = runtime.LoadLibrary(kLibrary, kEntry);
  ASSERT_TRUE(first.ok) << first.error;
  std::optional<PluginMemoryStats> before = runtime.MemoryStats(first.handle);
  ASSERT_TRUE(before.has_value());
  EXPECT_GT(before->allocationCount, 0u);
  EXPECT_GT(before->peakLiveBytes, 0u);
  EXPECT_EQ(before->reserved0, 0u);
  EXPECT_EQ(before->reserved1, 0u);

  // A second plugin object of the same library allocates its API description from the same heap,
  // and frees it when it stops.
  HostRuntime::LoadOutcome second = runtime.LoadLibrary(kLibrary, kEntry);
  ASSERT_TRUE(second.ok) << second.error;
  std::optional<PluginMemoryStats> loaded = runtime.MemoryStats(first.handle);
  EXPECT_GT(loaded->allocationCount, before->allocationCount);
  EXPECT_GT(loaded->allocatedBytes, before->allocatedBytes);
  runtime.Stop(second.handle);
  std::optional<PluginMemoryStats> stopped = runtime.MemoryStats(first.handle);
  EXPECT_GT(stopped->freeCount, loaded->freeCount);
  EXPECT_GT(stopped->freedBytes, loaded->freedBytes);
  EXPECT_GE(stopped->peakLiveBytes, loaded->allocatedBytes - loaded->freedBytes);
}

TEST(PluginLibraryTest, ExportsOnlyItsEntry) {
  std::string command = std::string(ZEK_NM) + " -D --defined-only " + kLibrary;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[4096];
  while (fgets(line, sizeof line, pipe) != nullptr) {
    std::istringstream fields(line);
    std::string address, kind, name;
    if (fields >> address >> kind >> name) names.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0) << command;
  EXPECT_EQ(names, std::set<std::string>{kEntry});
}

}  // namespace
}  // namespace Varn::Host

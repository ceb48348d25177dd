#include "runtime/trace_providers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace Varn {
namespace {

// A platform that records every call. Providers listed in `enabled_on_register` are switched on
// by a session during their registration, as the platform does when one is already listening.
struct FakePlatform {
  struct Registration {
    TraceGuid id;
    TraceEnableCallback callback;
    void* context;
  };
  struct Event {
    uint64_t handle;
    uint16_t id;
    uint64_t thread;
    std::string name;
  };
  std::vector<Registration> registrations;
  std::vector<Event> events;
  std::vector<uint64_t> unregistered;
  std::vector<int> enabled_on_register;
  uint32_t register_status = 0;
};

FakePlatform* g_platform = nullptr;

uint32_t FakeRegister(const TraceGuid* id, TraceEnableCallback callback, void* context,
                      uint64_t* handle) {
  g_platform->registrations.push_back({*id, callback, context});
  int index = static_cast<int>(g_platform->registrations.size()) - 1;
  if (g_platform->register_status != 0) return g_platform->register_status;
  *handle = 100 + static_cast<uint64_t>(index);
  for (int enabled : g_platform->enabled_on_register) {
    if (enabled == index) callback(id, 1, context);
  }
  return 0;
}

uint32_t FakeWrite(uint64_t handle, uint16_t event_id, uint32_t count, const TraceEventData* data) {
  EXPECT_EQ(count, 2u);
  uint64_t thread = 0;
  std::memcpy(&thread, data[0].data, sizeof(thread));
  std::string name(static_cast<const char*>(data[1].data), data[1].size - 1);
  g_platform->events.push_back({handle, event_id, thread, name});
  return 0;
}

uint32_t FakeUnregister(uint64_t handle) {
  g_platform->unregistered.push_back(handle);
  return 0;
}

class TraceProvidersTest : public ::testing::Test {
 protected:
  void SetUp() override { g_platform = &platform_; }
  void TearDown() override { g_platform = nullptr; }
  FakePlatform platform_;
  const TraceFunctions functions_{&FakeRegister, &FakeWrite, &FakeUnregister};
};

TEST_F(TraceProvidersTest, RegistersTheFourProvidersInOrder) {
  TraceProviders providers;
  providers.Start(functions_, 1000, 7);
  EXPECT_TRUE(providers.IsOn());
  EXPECT_EQ(providers.CounterFrequency(), 1000);
  const TraceGuid expected[] = {
      {0x2F9EFE86, 0x4AF7, 0x4F37, {0xA4, 0x0F, 0x94, 0xB9, 0x09, 0xA1, 0x57, 0xD6}},
      {0xEA08C559, 0x95A8, 0x4AA2, {0xAF, 0xA6, 0x18, 0x73, 0x8E, 0xEC, 0x6D, 0x37}},
      {0x10F6728C, 0xEF92, 0x4BF1, {0x83, 0x97, 0x49, 0xE6, 0x93, 0xA6, 0xEB, 0x74}},
      {0x46DD7F96, 0x60CB, 0x416B, {0x80, 0x85, 0xDA, 0x5C, 0xD8, 0xF4, 0x91, 0xDD}},
  };
  ASSERT_EQ(platform_.registrations.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(platform_.registrations[i].id, expected[i]);
    EXPECT_EQ(providers.At(i).handle, 100u + i);
  }
  EXPECT_TRUE(platform_.events.empty());  // provider 2 not enabled: no marker

  providers.Stop();
  EXPECT_EQ(platform_.unregistered, (std::vector<uint64_t>{100, 101, 102, 103}));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(providers.At(i).handle, 0u);
  providers.Stop();  // handles are cleared: nothing is unregistered twice
  EXPECT_EQ(platform_.unregistered.size(), 4u);
}

TEST_F(TraceProvidersTest, NamesTheLoadingThreadWhenProviderTwoIsEnabled) {
  platform_.enabled_on_register = {1};
  TraceProviders providers;
  providers.Start(functions_, 1000, 4242);
  ASSERT_EQ(platform_.events.size(), 1u);
  EXPECT_EQ(platform_.events[0].handle, 101u);
  EXPECT_EQ(platform_.events[0].id, TraceProviders::kThreadNameEventId);
  EXPECT_EQ(platform_.events[0].thread, 4242u);
  EXPECT_EQ(platform_.events[0].name, "Main thread");

  EXPECT_TRUE(providers.WriteThreadName(5, nullptr));
  EXPECT_EQ(platform_.events.back().name, "NULL");

  // The platform turns the provider off again.
  const FakePlatform::Registration& second = platform_.registrations[1];
  second.callback(&second.id, 0, second.context);
  EXPECT_FALSE(providers.WriteThreadName(6, "worker"));
  EXPECT_EQ(platform_.events.size(), 2u);
  providers.Stop();
}

TEST_F(TraceProvidersTest, FailedRegistrationsKeepNoHandle) {
  platform_.register_status = 5;
  platform_.enabled_on_register = {1};
  TraceProviders providers;
  providers.Start(functions_, 1000, 1);
  EXPECT_TRUE(platform_.events.empty());
  providers.Stop();
  EXPECT_TRUE(platform_.unregistered.empty());
}

TEST_F(TraceProvidersTest, MissingFunctionsTurnTracingOff) {
  const TraceFunctions partial[] = {
      {},
      {&FakeRegister, &FakeWrite, nullptr},
      {nullptr, &FakeWrite, &FakeUnregister},
      {&FakeRegister, nullptr, &FakeUnregister},
  };
  for (const TraceFunctions& functions : partial) {
    TraceProviders providers;
    providers.Start(functions, 1000, 1);
    EXPECT_FALSE(providers.IsOn());
    EXPECT_FALSE(providers.WriteThreadName(1, "x"));
    providers.Stop();
  }
  EXPECT_TRUE(platform_.registrations.empty());
  EXPECT_TRUE(platform_.events.empty());
  EXPECT_TRUE(platform_.unregistered.empty());
}

TEST(ProcessTraceProvidersTest, LinuxHasNoPlatformTracing) {
  EXPECT_FALSE(ProcessTraceProviders().IsOn());
  EXPECT_GT(ProcessTraceProviders().CounterFrequency(), 0);
  for (int i = 0; i < TraceProviders::kCount; ++i)
    EXPECT_EQ(ProcessTraceProviders().At(i).handle, 0u);
}

}  // namespace
}  // namespace Varn

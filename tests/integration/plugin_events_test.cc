// The built library's frame as a host sees it: the listeners it registers at start, the
// service-proxy events it hears, and the clean-up of stop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/runtime/host_runtime.h"
#include "zek/plugin_abi.h"

namespace Varn::Host {
namespace {

constexpr const char* kLibrary = ZEK_SETTINGS_LIBRARY;
constexpr const char* kEntry = "load_zek_settings";

BindingProperty Push(const std::string& service, const std::string& method) {
  BindingProperty value;
  value.Field("serviceName").SetString(service);
  value.Field("methodName").SetString(method);
  value.Field("payload").SetString("{}");
  return value;
}

std::vector<std::string> LinesWith(HostRuntime& runtime, const std::string& text) {
  std::vector<std::string> found;
  for (const LogLine& line : runtime.LogLines()) {
    if (line.text.find(text) != std::string::npos) found.push_back(line.text);
  }
  return found;
}

TEST(PluginEventsTest, ListensToServiceProxyEventsFromStartUntilStop) {
  HostRuntime runtime(std::make_shared<ManualHostClock>());
  HostRuntime::LoadOutcome load = runtime.LoadLibrary(kLibrary, kEntry);
  ASSERT_TRUE(load.ok) << load.error;
  EXPECT_TRUE(runtime.ListenedNames().empty());
  ASSERT_TRUE(runtime.Start(load.handle));
  for (const char* name :
       {"OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent", "OnServiceProxyAsyncEvent"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(runtime.ListenerCount(name), 1u);
  }

  // The settings service registers no push handlers: every push says so, with its key.
  runtime.PublishEvent("OnServiceProxyAsyncEvent", Push("lol-chat", "message"));
  BindingProperty junk;
  junk.SetString("not a reply");
  runtime.PublishEvent("OnServiceProxyAsyncEvent", junk);
  EXPECT_EQ(LinesWith(runtime, "Could not find registered handler"),
            std::vector<std::string>{"zek-settings: Could not find registered handler for async "
                                     "service proxy event lol-chat.message"});

  runtime.Stop(load.handle);
  EXPECT_TRUE(runtime.ListenedNames().empty());
  runtime.PublishEvent("OnServiceProxyAsyncEvent", Push("lol-chat", "message"));
  EXPECT_EQ(LinesWith(runtime, "Could not find registered handler").size(), 1u);
}

}  // namespace
}  // namespace Varn::Host

#include "host/runtime/host_runtime.h"

#include <gtest/gtest.h>

#include <thread>

#include "plugin/plugin_registration.h"
#include "runtime/logger.h"

namespace Varn::Host {
namespace {

std::thread::id g_handler_thread;

// An in-process plugin with a few routes.
class EchoPlugin : public PluginBase {
 public:
  void RegisterApi() override {
    Route(PLUGIN_METHOD_GET, "/echo/v1/items/{id}", [](std::string id) {
      g_handler_thread = std::this_thread::get_id();
      return "item:" + id;
    }).Path("id", "");
    Route(PLUGIN_METHOD_GET, "/svc/shadowed", [] { return "plugin"; });
    Route(PLUGIN_METHOD_POST, "/echo/v1/log", [] {
      Log(0, 1, 0, "hello %d", 5);
      Log(2, 1, 0, "%s", "trouble");
    });
    // Calls back into the host from inside a request, as client calls do.
    Route(PLUGIN_METHOD_GET, "/echo/v1/relay", [this](RouteContext& context) {
      PluginRequest request{};
      request.method = PLUGIN_METHOD_GET;
      request.path = "/svc/inner/thing";
      request.callerHandle = Handle();
      PluginResponse response{};
      SendRequest(&response, &request);
      std::string answer;
      if (response.result.value.kind == PLUGIN_CELL_STRING) {
        answer = response.result.value.payload.string.text;
      }
      context.SetStatus(response.status);
      if (response.release != nullptr) response.release(&response);
      return answer;
    });
  }
};

extern "C" void LoadEcho(PluginLoadRecord* record) {
  PluginRegistration::Register(std::make_unique<EchoPlugin>(), record, "echo");
}

ServiceHandler Answer(std::string text) {
  return [text](const ServiceRequest& request) {
    ServiceAnswer answer;
    answer.value.SetString(text + ":" + std::string(request.path) + "?" +
                           std::string(request.query) + "#" +
                           std::string(request.arguments.Find("n").GetString()));
    return answer;
  };
}

class HostRuntimeTest : public testing::Test {
 protected:
  void SetUp() override {
    HostRuntime::LoadOutcome load = runtime_.LoadEntry(&LoadEcho);
    ASSERT_TRUE(load.ok) << load.error;
    handle_ = load.handle;
    ASSERT_TRUE(runtime_.Start(handle_));
    runtime_.AddService(PLUGIN_METHOD_NONE, "/svc/", Answer("outer"));
    runtime_.AddService(PLUGIN_METHOD_GET, "/svc/inner/", Answer("inner"));
  }

  HostRuntime runtime_;
  uint32_t handle_ = 0;
};

TEST_F(HostRuntimeTest, RoutesToPluginsThenServicesThenNotFound) {
  struct Case {
    uint32_t method;
    std::string path;
    uint32_t status;
    std::string expected;
  };
  const Case cases[] = {
      {PLUGIN_METHOD_GET, "/echo/v1/items/7", 200, "item:7"},
      {PLUGIN_METHOD_GET, "/svc/shadowed", 200, "plugin"},
      {PLUGIN_METHOD_GET, "/svc/inner/a?x=1", 200, "inner:/svc/inner/a?x=1#"},
      {PLUGIN_METHOD_PUT, "/svc/inner/a", 200, "outer:/svc/inner/a?#"},
      {PLUGIN_METHOD_DELETE, "/svc/", 200, "outer:/svc/?#"},
      {PLUGIN_METHOD_GET, "/svc", 404, "Invalid function"},
      {PLUGIN_METHOD_POST, "/echo/v1/items/7", 404, "Invalid function"},
      {PLUGIN_METHOD_GET, "/echo/v1/items/7/8", 404, "Invalid function"},
      {PLUGIN_METHOD_GET, "/echo/v1/relay", 200, "inner:/svc/inner/thing?#"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    CallOutcome outcome = runtime_.Call(c.method, c.path);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(c.status == 200 ? std::string(outcome.value.GetString()) : outcome.error, c.expected);
  }
}

TEST_F(HostRuntimeTest, ServicesSeeNamedArguments) {
  PluginNamedArgument argument{};
  argument.name = "n";
  argument.value.kind = PLUGIN_CELL_STRING_REF;
  argument.value.payload.string.text = "v";
  argument.value.payload.string.length = 1;
  PluginRequest request{};
  request.method = PLUGIN_METHOD_POST;
  request.path = "/svc/x";
  request.arguments = &argument;
  request.argumentCount = 1;
  EXPECT_EQ(runtime_.Call(request).value.GetString(), "outer:/svc/x?#v");
}

TEST_F(HostRuntimeTest, CallsPluginsOnTheHostThreadOnly) {
  std::thread::id host_thread;
  runtime_.RunOnHostThread([&] { host_thread = std::this_thread::get_id(); });
  ASSERT_NE(host_thread, std::this_thread::get_id());
  g_handler_thread = {};
  ASSERT_EQ(runtime_.Call(PLUGIN_METHOD_GET, "/echo/v1/items/1").status, 200u);
  EXPECT_EQ(g_handler_thread, host_thread);
  // Calls from several threads at once are served one by one on that thread.
  std::vector<std::thread> callers;
  for (int i = 0; i < 4; ++i) {
    callers.emplace_back([&] {
      for (int k = 0; k < 50; ++k) runtime_.Call(PLUGIN_METHOD_GET, "/echo/v1/items/2");
    });
  }
  for (std::thread& caller : callers) caller.join();
  EXPECT_EQ(g_handler_thread, host_thread);
}

TEST_F(HostRuntimeTest, KeepsLogLinesInOrderWithTheirLevel) {
  ASSERT_EQ(runtime_.Call(PLUGIN_METHOD_POST, "/echo/v1/log").status, 200u);
  std::vector<LogLine> lines = runtime_.LogLines();
  ASSERT_GE(lines.size(), 2u);
  const LogLine& hello = lines[lines.size() - 2];
  const LogLine& trouble = lines.back();
  EXPECT_EQ(hello.level, 0);
  EXPECT_EQ(hello.text, "hello 5");
  EXPECT_EQ(trouble.level, 2);
  EXPECT_EQ(trouble.text, "trouble");
}

TEST_F(HostRuntimeTest, ReservedIsNotSupportedAndDirectLogLinesAreKept) {
  const PluginHostApi* api = runtime_.Api();
  EXPECT_EQ(api->Reserved(api, 0, 0), PLUGIN_HOST_NOT_SUPPORTED);
  EXPECT_EQ(api->WriteLog(api, 3, "direct"), PLUGIN_HOST_OK);
  EXPECT_EQ(runtime_.LogLines().back().text, "direct");
}

TEST(HostRuntimeLoadTest, ReportsMissingLibrariesAndEntries) {
  HostRuntime runtime;
  HostRuntime::LoadOutcome missing = runtime.LoadLibrary("/nonexistent/libnone.so", "load_none");
  EXPECT_FALSE(missing.ok);
  EXPECT_FALSE(missing.error.empty());
  EXPECT_FALSE(runtime.LoadEntry(nullptr).ok);
  HostRuntime::LoadOutcome refused = runtime.LoadEntry(&LoadEcho, CoreVersion{17, 0, 0});
  EXPECT_FALSE(refused.ok);
  EXPECT_FALSE(runtime.Start(refused.handle));
}

}  // namespace
}  // namespace Varn::Host

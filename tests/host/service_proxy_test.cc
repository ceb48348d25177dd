// Telemetry and service-proxy messages through the host runtime.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "probe_plugin.h"

namespace Varn::Host {
namespace {

using Reply = Client::AppModule::PluginServiceProxyResponse;

BindingProperty ReplyValue(const std::string& uuid, const std::string& service,
                           const std::string& method, const std::string& payload) {
  BindingProperty value;
  value.Field("uuid").SetString(uuid);
  value.Field("serviceName").SetString(service);
  value.Field("methodName").SetString(method);
  value.Field("payload").SetString(payload);
  value.Field("status").SetString("200");
  value.Field("error").SetString("");
  return value;
}

class ServiceProxyTest : public ProbeFixture {
 protected:
  ServiceProxyTables& Tables() { return plugin_->ServiceProxyMessages(); }
};

TEST_F(ServiceProxyTest, StartListensToTheThreeServiceProxyEvents) {
  for (std::string_view name : ServiceProxy::kEvents) {
    SCOPED_TRACE(name);
    EXPECT_EQ(runtime_->ListenerCount(std::string(name)), 1u);
  }
  runtime_->Stop(handle_);
  EXPECT_TRUE(runtime_->ListenedNames().empty());
}

TEST_F(ServiceProxyTest, RepliesAreKeptByKeyAndTheLaterOneWins) {
  runtime_->PublishEvent("OnServiceProxyUuidEvent", ReplyValue("u-1", "store", "buy", "first"));
  runtime_->PublishEvent("OnServiceProxyUuidEvent", ReplyValue("u-1", "store", "buy", "second"));
  runtime_->PublishEvent("OnServiceProxyMethodEvent", ReplyValue("u-2", "store", "list", "x"));
  EXPECT_EQ(Tables().ReceivedCount(), 2u);
  ASSERT_TRUE(Tables().Received("u-1").has_value());
  EXPECT_EQ(Tables().Received("u-1")->payload, "second");
  ASSERT_TRUE(Tables().Received("store.list").has_value());
  EXPECT_EQ(Tables().Received("store.list")->uuid, "u-2");
}

TEST_F(ServiceProxyTest, APendingRequestIsFulfilledOnceWithALogLine) {
  std::vector<std::string> payloads;
  Tables().AddPendingRequest("store.buy",
                             [&](const Reply& reply) { payloads.push_back(reply.payload); });
  runtime_->PublishEvent("OnServiceProxyUuidEvent", ReplyValue("u-9", "store", "buy", "by uuid"));
  EXPECT_TRUE(payloads.empty());
  runtime_->PublishEvent("OnServiceProxyMethodEvent", ReplyValue("u-9", "store", "buy", "paid"));
  runtime_->PublishEvent("OnServiceProxyMethodEvent", ReplyValue("u-9", "store", "buy", "again"));
  EXPECT_EQ(payloads, std::vector<std::string>{"paid"});
  EXPECT_EQ(LinesWith("Fulfilled service proxy request"),
            std::vector<std::string>{"probe: Fulfilled service proxy request: store.buy"});
  // The unclaimed replies stay until stop clears them.
  EXPECT_EQ(Tables().ReceivedCount(), 2u);
  OnHost([](ProbePlugin& plugin) { plugin.Stop(); });
  EXPECT_EQ(Tables().ReceivedCount(), 0u);
}

TEST_F(ServiceProxyTest, PushesGoToTheirHandlerOrLogThatThereIsNone) {
  std::vector<std::string> pushed;
  Tables().AddPushHandler("chat.message",
                          [&](const Reply& reply) { pushed.push_back(reply.payload); });
  runtime_->PublishEvent("OnServiceProxyAsyncEvent", ReplyValue("", "chat", "message", "hello"));
  runtime_->PublishEvent("OnServiceProxyAsyncEvent", ReplyValue("", "chat", "typing", "..."));
  EXPECT_EQ(pushed, std::vector<std::string>{"hello"});
  EXPECT_EQ(LinesWith("Could not find registered handler"),
            std::vector<std::string>{
                "probe: Could not find registered handler for async service proxy event "
                "chat.typing"});
  EXPECT_EQ(Tables().ReceivedCount(), 0u);
}

TEST_F(ServiceProxyTest, PayloadsThatAreNoReplyAreDroppedSilently) {
  size_t lines = runtime_->LogLines().size();
  BindingProperty text;
  text.SetString("junk");
  BindingProperty numbers;
  numbers.Field("uuid").SetSigned(4);
  runtime_->PublishEvent("OnServiceProxyUuidEvent", text);
  runtime_->PublishEvent("OnServiceProxyAsyncEvent", numbers);
  EXPECT_EQ(Tables().ReceivedCount(), 0u);
  EXPECT_EQ(runtime_->LogLines().size(), lines);
}

class TelemetryTest : public ProbeFixture {};

TEST_F(TelemetryTest, MembersGoAsNamedArgumentsAndTheFutureIsCompleteEitherWay) {
  struct Case {
    const char* label;
    ServiceAnswer answer;
    bool error;
    uint32_t status;
  };
  const Case cases[] = {
      {"accepted", ServiceAnswer{}, false, 0},
      {"sink fails", ServiceAnswer{500, {}, "sink unavailable"}, true, 500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto fresh = std::make_unique<HostRuntime>(clock_);
    HostRuntime::LoadOutcome load = fresh->LoadEntry(&ProbePlugin::Load);
    ASSERT_TRUE(load.ok);
    ASSERT_TRUE(fresh->Start(load.handle));
    ProbePlugin* plugin = ProbePlugin::last;
    std::string path;
    BindingProperty arguments;
    ServiceAnswer answer = c.answer;
    fresh->AddService(PLUGIN_METHOD_POST, "/telemetry/v1/events/", [&](const ServiceRequest& r) {
      path = std::string(r.path);
      arguments = r.arguments;
      return answer;
    });
    BindingProperty payload;
    payload.Field("type").SetString("QEVPreferences");
    payload.Field("count").SetUnsigned(3);
    std::future<CallResult> sent;
    fresh->RunOnHostThread(
        [&] { sent = plugin->SendTelemetryEvent("qev__preferences__event", payload); });
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    CallResult result = sent.get();
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(path, "/telemetry/v1/events/qev__preferences__event");
    EXPECT_EQ(arguments, payload);
  }
}

TEST(TelemetryBeforeStartTest, CompletesWithANotSentFailure) {
  HostRuntime runtime;
  HostRuntime::LoadOutcome load = runtime.LoadEntry(&ProbePlugin::Load);
  ASSERT_TRUE(load.ok);
  ProbePlugin* plugin = ProbePlugin::last;
  std::future<CallResult> sent;
  runtime.RunOnHostThread([&] { sent = plugin->SendTelemetryEvent("x", BindingProperty()); });
  ASSERT_EQ(sent.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  CallResult result = sent.get();
  EXPECT_TRUE(result.error);
  EXPECT_EQ(result.status, 400u);
}

}  // namespace
}  // namespace Varn::Host

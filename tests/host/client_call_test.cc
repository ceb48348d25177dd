// Client calls through the host runtime: not sent, error responses, typed conversion, streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/frame_types.h"
#include "probe_plugin.h"

namespace Varn::Host {
namespace {

class ClientCallTest : public ProbeFixture {
 protected:
  void SetUp() override {
    ProbeFixture::SetUp();
    runtime_->AddService(PLUGIN_METHOD_GET, "/svc/v1/count", [](const ServiceRequest&) {
      ServiceAnswer answer;
      answer.value.SetSigned(42);
      return answer;
    });
    runtime_->AddService(PLUGIN_METHOD_GET, "/svc/v1/word", [](const ServiceRequest&) {
      ServiceAnswer answer;
      answer.value.SetString("forty-two");
      return answer;
    });
    runtime_->AddService(PLUGIN_METHOD_POST, "/svc/v1/echo", [](const ServiceRequest& request) {
      ServiceAnswer answer;
      answer.value = request.arguments;
      return answer;
    });
    runtime_->AddService(PLUGIN_METHOD_GET, "/svc/v1/broken", [](const ServiceRequest&) {
      return ServiceAnswer{503, {}, "down for maintenance"};
    });
    // Error statuses without an error text, some with a value beside them.
    for (uint32_t status : {304u, 418u, 503u}) {
      runtime_->AddService(PLUGIN_METHOD_GET, "/svc/v1/status/" + std::to_string(status),
                           [status](const ServiceRequest&) {
                             ServiceAnswer answer{status, {}, ""};
                             answer.value.SetSigned(42);
                             return answer;
                           });
    }
  }
};

TEST_F(ClientCallTest, ReportsEachFailureWithItsStatusAndMessage) {
  struct Case {
    uint32_t method;
    std::string path;
    std::vector<CallArgument> arguments;
    uint32_t status;
    std::string message;
  };
  std::vector<Case> cases;
  cases.push_back({PLUGIN_METHOD_GET, "/svc/v1/count", {}, 0, ""});
  cases.push_back({PLUGIN_METHOD_GET,
                   "/nobody/serves/this",
                   {},
                   404,
                   "Error response for GET /nobody/serves/this: Invalid function"});
  cases.push_back({PLUGIN_METHOD_GET,
                   "/svc/v1/broken",
                   {},
                   503,
                   "Error response for GET /svc/v1/broken: down for maintenance"});
  cases.push_back({PLUGIN_METHOD_GET,
                   "/svc/v1/status/304",
                   {},
                   304,
                   "Error response for GET /svc/v1/status/304: Not Modified"});
  cases.push_back({PLUGIN_METHOD_GET,
                   "/svc/v1/status/503",
                   {},
                   503,
                   "Error response for GET /svc/v1/status/503: Service Unavailable"});
  // A status outside the table of phrases speaks by its number.
  cases.push_back({PLUGIN_METHOD_GET,
                   "/svc/v1/status/418",
                   {},
                   418,
                   "Error response for GET /svc/v1/status/418: 418"});
  cases.push_back({PLUGIN_METHOD_PUT,
                   "/svc/v1/count",
                   {Arg("fine", 1), CallArgument{"bad", BindingResult::Error("no such record")}},
                   400,
                   "Request not sent: Error converting parameters for PUT /svc/v1/count: no such "
                   "record"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    CallResult result;
    OnHost(
        [&](ProbePlugin& plugin) { result = plugin.CallFunction(c.method, c.path, c.arguments); });
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.error, !c.message.empty());
    EXPECT_EQ(result.message, c.message);
    if (result.error) {
      EXPECT_TRUE(result.value.IsEmpty());
    }
  }
}

TEST_F(ClientCallTest, AStatusOnlyErrorIsNoAnswerForATypedCallOrAListener) {
  TypedCallResult<int32_t> typed;
  std::vector<int64_t> created;
  OnHost([&](ProbePlugin& plugin) {
    typed = plugin.CallFunction<int32_t>(PLUGIN_METHOD_GET, "/svc/v1/status/304");
    plugin.ListenResource("/svc/v1/status/503", [&](const Client::PluginResourceEvent& event) {
      created.push_back(event.data.GetSigned(-1));
    });
  });
  EXPECT_TRUE(typed.error);
  EXPECT_EQ(typed.status, 304u);
  EXPECT_FALSE(typed.data.has_value());
  EXPECT_TRUE(created.empty());
}

// A failed flag without a text, and a success status whose value does not convert.
TEST(ClientCallRecordTest, AFailedFlagAloneIsAnErrorAndAFailedConversionKeepsTheStatus) {
  struct Flagged : PluginBase {
    uint32_t status = 200;
    uint8_t failed = 0;
    int32_t SendRequest(PluginResponse* response, const PluginRequest*) override {
      *response = PluginResponse{};
      response->status = status;
      response->result.failed = failed;
      response->result.value.kind = PLUGIN_CELL_STRING_REF;
      response->result.value.payload.string.text = "word";
      response->result.value.payload.string.length = 4;
      return PLUGIN_HOST_OK;
    }
  } plugin;
  plugin.status = 500;
  plugin.failed = 1;
  CallResult flagged = plugin.CallFunction(PLUGIN_METHOD_GET, "/x");
  EXPECT_TRUE(flagged.error);
  EXPECT_EQ(flagged.status, 500u);
  EXPECT_EQ(flagged.message, "Error response for GET /x: Internal Server Error");

  plugin.status = 200;
  plugin.failed = 0;
  TypedCallResult<int32_t> unconverted = plugin.CallFunction<int32_t>(PLUGIN_METHOD_GET, "/x");
  EXPECT_TRUE(unconverted.error);
  EXPECT_EQ(unconverted.status, 200u);
  EXPECT_EQ(unconverted.message,
            "Error converting response for GET /x: Value word for '<result>' of type int32 is in "
            "an incorrect format");
}

TEST_F(ClientCallTest, NothingIsSentWhenAnArgumentFails) {
  size_t calls = 0;
  runtime_->AddService(PLUGIN_METHOD_NONE, "/counted", [&](const ServiceRequest&) {
    ++calls;
    return ServiceAnswer{};
  });
  OnHost([&](ProbePlugin& plugin) {
    CallResult result = plugin.CallFunction(PLUGIN_METHOD_POST, "/counted",
                                            {CallArgument{"x", BindingResult::Error("bad")}});
    EXPECT_EQ(result.status, 400u);
  });
  EXPECT_EQ(calls, 0u);
}

TEST_F(ClientCallTest, SendsNamedArgumentsAndDecodesTheAnswer) {
  CallResult result;
  OnHost([&](ProbePlugin& plugin) {
    result =
        plugin.CallFunction(PLUGIN_METHOD_POST, "/svc/v1/echo",
                            {Arg("name", std::string("ada")), Arg("age", 36u), Arg("on", true)});
  });
  ASSERT_FALSE(result.error) << result.message;
  EXPECT_EQ(result.value.Find("name").GetString(), "ada");
  EXPECT_EQ(result.value.Find("age").GetUnsigned(), 36u);
  EXPECT_TRUE(result.value.Find("on").GetBool());
}

TEST_F(ClientCallTest, TypedCallsConvertTheAnswerOrSayWhyNot) {
  TypedCallResult<int32_t> number;
  TypedCallResult<int32_t> word;
  TypedCallResult<std::string> missing;
  OnHost([&](ProbePlugin& plugin) {
    number = plugin.CallFunction<int32_t>(PLUGIN_METHOD_GET, "/svc/v1/count");
    word = plugin.CallFunction<int32_t>(PLUGIN_METHOD_GET, "/svc/v1/word");
    missing = plugin.CallFunction<std::string>(PLUGIN_METHOD_GET, "/nothing");
  });
  ASSERT_FALSE(number.error) << number.message;
  EXPECT_EQ(number.data, 42);
  EXPECT_TRUE(word.error);
  EXPECT_FALSE(word.data.has_value());
  EXPECT_EQ(word.message,
            "Error converting response for GET /svc/v1/word: Value forty-two for '<result>' of "
            "type int32 is in an incorrect format");
  EXPECT_TRUE(missing.error);
  EXPECT_EQ(missing.status, 404u);
  EXPECT_FALSE(missing.data.has_value());
}

// Records go both ways through the plugin's type registry.
TEST_F(ClientCallTest, TypedCallsAndArgumentsUseThePluginsRegistryForRecords) {
  runtime_->AddService(PLUGIN_METHOD_POST, "/svc/v1/manager", [](const ServiceRequest& request) {
    ServiceAnswer answer;
    answer.value = request.arguments.Find("resource");
    return answer;
  });
  TypedCallResult<Client::PluginManagerResource> echoed;
  TypedCallResult<Client::PluginManagerResource> unregistered_argument;
  OnHost([&](ProbePlugin& plugin) {
    Client::PluginManagerResource resource;
    resource.state = Client::PluginManagerState::PluginsInitialized;
    echoed = plugin.CallFunction<Client::PluginManagerResource>(
        PLUGIN_METHOD_POST, "/svc/v1/manager", {Arg("resource", resource, &plugin.Registry())});
    unregistered_argument = plugin.CallFunction<Client::PluginManagerResource>(
        PLUGIN_METHOD_POST, "/svc/v1/manager", {Arg("resource", resource)});
  });
  ASSERT_FALSE(echoed.error) << echoed.message;
  ASSERT_TRUE(echoed.data.has_value());
  EXPECT_EQ(echoed.data->state, Client::PluginManagerState::PluginsInitialized);
  EXPECT_EQ(unregistered_argument.status, 400u);
  EXPECT_EQ(unregistered_argument.message,
            "Request not sent: Error converting parameters for POST /svc/v1/manager: Couldn't "
            "convert native value because it's an unregistered structure.");
}

TEST_F(ClientCallTest, BeforeStartNothingIsSent) {
  HostRuntime::LoadOutcome load = runtime_->LoadEntry(&ProbePlugin::Load);
  ASSERT_TRUE(load.ok);
  ProbePlugin* unstarted = ProbePlugin::last;
  CallResult result;
  runtime_->RunOnHostThread(
      [&] { result = unstarted->CallFunction(PLUGIN_METHOD_GET, "/svc/v1/count"); });
  EXPECT_EQ(result.status, 400u);
  EXPECT_TRUE(result.error);
  EXPECT_EQ(result.message, "Request not sent: no host to carry GET /svc/v1/count");
}

ServiceHandler Streamed(StreamedBody body) {
  return [body](const ServiceRequest&) {
    ServiceAnswer answer;
    answer.stream = body;
    return answer;
  };
}

TEST_F(ClientCallTest, StreamedAnswersAreReadWholeWithAYieldAfterEachShortPiece) {
  std::string big(5000, ' ');
  big.front() = '[';
  big.back() = ']';
  big[1] = '7';
  struct Case {
    const char* label;
    StreamedBody body;
    size_t yields;
    std::string message;  // empty: the call succeeds
    BindingProperty value;
  };
  BindingProperty one_two_three;
  for (int64_t i = 1; i <= 3; ++i) one_two_three.Append().SetUnsigned(i);
  BindingProperty seven;
  seven.Append().SetUnsigned(7);
  const Case cases[] = {
      // Three short pieces: a yield before each of the two later reads.
      {"small pieces", {{"[1,", "2,", "3]"}, {}}, 2, "", one_two_three},
      // A full 4096-byte read goes on at once; the short rest ends the body.
      {"larger than one read", {{big}, {}}, 0, "", seven},
      {"empty pieces skipped", {{"[1,", "", "2,", "3]"}, {}}, 2, "", one_two_three},
      {"not JSON", {{"[1,", "2"}, {}}, 1, "Error reading streamed response for GET /stream: ", {}},
      {"read fails",
       {{"[1,", "2,", "3]"}, 1},
       1,
       "Error reading streamed response for GET /stream: Stream read error",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto fresh = std::make_unique<HostRuntime>(clock_);
    HostRuntime::LoadOutcome load = fresh->LoadEntry(&ProbePlugin::Load);
    ASSERT_TRUE(load.ok);
    ASSERT_TRUE(fresh->Start(load.handle));
    ProbePlugin* plugin = ProbePlugin::last;
    fresh->AddService(PLUGIN_METHOD_GET, "/stream", Streamed(c.body));
    CallResult result;
    fresh->RunOnHostThread([&] { result = plugin->CallFunction(PLUGIN_METHOD_GET, "/stream"); });
    EXPECT_EQ(fresh->YieldCount(), c.yields);
    EXPECT_EQ(fresh->OpenWaits(), 0u);
    if (!c.message.empty()) {
      EXPECT_TRUE(result.error);
      // The decoder's own words follow the prefix.
      EXPECT_EQ(result.message.substr(0, c.message.size()), c.message);
      EXPECT_TRUE(result.value.IsEmpty());
      continue;
    }
    ASSERT_FALSE(result.error) << result.message;
    EXPECT_EQ(result.value, c.value);
  }
}

TEST_F(ClientCallTest, DueTimersRunWhileAStreamedReadYields) {
  runtime_->AddService(PLUGIN_METHOD_GET, "/stream", Streamed({{"[1,", "2]"}, {}}));
  bool fired_during_read = false;
  bool reading = false;
  OnHost([&](ProbePlugin& plugin) {
    plugin.ScheduleAt(
        "due now", [&] { fired_during_read = reading; }, 0);
    reading = true;
    (void)plugin.CallFunction(PLUGIN_METHOD_GET, "/stream");
    reading = false;
  });
  EXPECT_TRUE(fired_during_read);
}

// A response record whose callee set no release function is read, not freed.
TEST(ClientCallRecordTest, AResponseWithoutReleaseFunctionIsReadSafely) {
  struct Plain : PluginBase {
    int32_t SendRequest(PluginResponse* response, const PluginRequest*) override {
      *response = PluginResponse{};
      response->status = 200;
      response->result.value.kind = PLUGIN_CELL_STRING_REF;
      response->result.value.payload.string.text = "kept by callee";
      response->result.value.payload.string.length = 14;
      return PLUGIN_HOST_OK;
    }
  } plain;
  CallResult result = plain.CallFunction(PLUGIN_METHOD_GET, "/anything");
  ASSERT_FALSE(result.error) << result.message;
  EXPECT_EQ(result.value.GetString(), "kept by callee");
}

}  // namespace
}  // namespace Varn::Host

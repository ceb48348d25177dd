// Resource events through the host runtime: subscriptions and their host listeners, the initial
// Create, exact and wildcard delivery, publishing, and events that must be dropped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/frame_types.h"
#include "probe_plugin.h"

namespace Varn::Host {
namespace {

using Client::PluginResourceEvent;
using Client::PluginResourceEventType;

BindingProperty EventValue(const std::string& uri, const std::string& type, int64_t data) {
  BindingProperty value;
  value.Field("uri").SetString(uri);
  value.Field("eventType").SetString(type);
  value.Field("data").SetSigned(data);
  return value;
}

struct Heard {
  std::string handler;
  std::string uri;
  PluginResourceEventType type;
  int64_t data;
};

class ResourceEventsTest : public ProbeFixture {
 protected:
  ResourceHandler Record(const std::string& handler) {
    return [this, handler](const PluginResourceEvent& event) {
      heard_.push_back({handler, event.uri, event.eventType, event.data.GetSigned(-1)});
    };
  }
  std::vector<Heard> heard_;
};

TEST_F(ResourceEventsTest, ListeningToAPathDeliversItsCurrentValueAsCreate) {
  runtime_->AddService(PLUGIN_METHOD_GET, "/zek-login/v1/session", [](const ServiceRequest&) {
    ServiceAnswer answer;
    answer.value.SetSigned(11);
    return answer;
  });
  OnHost([&](ProbePlugin& plugin) {
    plugin.ListenResource("/zek-login/v1/session", Record("session"));
    // Nobody serves this one: nothing is delivered, but the subscription stands.
    plugin.ListenResource("/zek-nowhere/v1/thing", Record("nowhere"));
    // A pattern has no current value to read.
    plugin.ListenResource("/zek-login/v1/*", Record("pattern"));
  });
  ASSERT_EQ(heard_.size(), 1u);
  EXPECT_EQ(heard_[0].handler, "session");
  EXPECT_EQ(heard_[0].uri, "/zek-login/v1/session");
  EXPECT_EQ(heard_[0].type, PluginResourceEventType::Create);
  EXPECT_EQ(heard_[0].data, 11);
  EXPECT_EQ(runtime_->ListenerCount("OnJsonApiEvent_zek-nowhere_v1_thing"), 1u);
}

TEST_F(ResourceEventsTest, AServiceChangeReachesTheExactAndTheWildcardHandlerOnceEach) {
  OnHost([&](ProbePlugin& plugin) {
    plugin.ListenResource("/zek-settings/v2/account/PerksPreferences", Record("exact"));
    plugin.ListenResource("/zek-settings/v2/account/*", Record("wildcard"));
    plugin.ListenResource("/zek-settings/v2/account/*/*", Record("deeper"));
  });
  // All three share the event of their first three segments.
  EXPECT_EQ(runtime_->ListenerCount("OnJsonApiEvent_zek-settings_v2_account"), 1u);
  struct Case {
    std::string uri;
    std::vector<std::string> handlers;
  };
  const Case cases[] = {
      {"/zek-settings/v2/account/PerksPreferences", {"exact", "wildcard"}},
      {"zek-settings/v2/account/PerksPreferences", {"exact", "wildcard"}},
      {"/zek-settings/v2/account/EsportsPreferences", {"wildcard"}},
      {"/zek-settings/v2/account/PerksPreferences/hud", {"deeper"}},
      {"/zek-settings/v2/account", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.uri);
    heard_.clear();
    runtime_->PublishEvent("OnJsonApiEvent_zek-settings_v2_account",
                           EventValue(c.uri, "Update", 3));
    std::vector<std::string> handlers;
    for (const Heard& heard : heard_) {
      handlers.push_back(heard.handler);
      EXPECT_EQ(heard.type, PluginResourceEventType::Update);
      EXPECT_EQ(heard.data, 3);
    }
    EXPECT_EQ(handlers, c.handlers);
  }
}

// A pattern whose star lies within the first three segments listens under a name of its own, so
// the host hands an event on the covered path to both listeners.
TEST_F(ResourceEventsTest, AnExactPathAndAPatternCoveringItHearEachEventOnce) {
  OnHost([&](ProbePlugin& plugin) {
    plugin.ListenResource("/zek-login/v1/session", Record("exact"));
    plugin.ListenResource("/zek-login/v1/*", Record("pattern"));
  });
  EXPECT_EQ(runtime_->ListenerCount("OnJsonApiEvent_zek-login_v1_session"), 1u);
  EXPECT_EQ(runtime_->ListenerCount("OnJsonApiEvent_zek-login_v1_*"), 1u);
  runtime_->PublishEvent("OnJsonApiEvent_zek-login_v1_session",
                         EventValue("/zek-login/v1/session", "Update", 4));
  std::vector<std::string> handlers;
  for (const Heard& heard : heard_) handlers.push_back(heard.handler);
  EXPECT_EQ(handlers, (std::vector<std::string>{"exact", "pattern"}));
}

TEST_F(ResourceEventsTest, ASubscriptionTheHostRefusedIsNotCounted) {
  HostRuntime::LoadOutcome load = runtime_->LoadEntry(&ProbePlugin::Load);
  ASSERT_TRUE(load.ok);
  ProbePlugin* unstarted = ProbePlugin::last;
  const std::string name = "OnJsonApiEvent_svc_v1_early";
  runtime_->RunOnHostThread([&] {
    unstarted->ListenResource("/svc/v1/early", Record("early"));
    EXPECT_EQ(unstarted->SubscriptionCount(name), 0u);
  });
  ASSERT_TRUE(runtime_->Start(load.handle));
  runtime_->RunOnHostThread([&] { unstarted->ListenResource("/svc/v1/early", Record("early")); });
  EXPECT_EQ(runtime_->ListenerCount(name), 1u);
  runtime_->PublishEvent(name, EventValue("/svc/v1/early", "Update", 2));
  ASSERT_EQ(heard_.size(), 1u);
  EXPECT_EQ(heard_[0].data, 2);
  // One subscription counted, so one unsubscribe removes the listener.
  runtime_->RunOnHostThread([&] { unstarted->Unsubscribe("/svc/v1/early"); });
  EXPECT_EQ(runtime_->ListenerCount(name), 0u);
}

// A star within the first three segments lands in the event name itself; the host matches such
// a listened name against the names events are published under.
TEST_F(ResourceEventsTest, APatternWithinTheFirstSegmentsHearsEveryEventItMatches) {
  OnHost(
      [&](ProbePlugin& plugin) { plugin.ListenResource("/zek-game-settings/v1/*", Record("p")); });
  EXPECT_EQ(runtime_->ListenerCount("OnJsonApiEvent_zek-game-settings_v1_*"), 1u);
  runtime_->PublishEvent("OnJsonApiEvent_zek-game-settings_v1_game-settings",
                         EventValue("/zek-game-settings/v1/game-settings", "Update", 1));
  runtime_->PublishEvent("OnJsonApiEvent_zek-game-settings_v1_input-settings",
                         EventValue("/zek-game-settings/v1/input-settings", "Update", 2));
  runtime_->PublishEvent("OnJsonApiEvent_zek-login_v1_session",
                         EventValue("/zek-login/v1/session", "Update", 3));
  ASSERT_EQ(heard_.size(), 2u);
  EXPECT_EQ(heard_[0].uri, "/zek-game-settings/v1/game-settings");
  EXPECT_EQ(heard_[1].uri, "/zek-game-settings/v1/input-settings");
}

TEST_F(ResourceEventsTest, PathsSharingAnEventNameShareOneHostListenerUntilTheLastUnsubscribe) {
  const std::string shared = "OnJsonApiEvent_zek-game-settings_v1_game-settings";
  const std::string other = "OnJsonApiEvent_zek-game-settings_v1_input-settings";
  OnHost([&](ProbePlugin& plugin) {
    plugin.Subscribe("/zek-game-settings/v1/game-settings");
    plugin.Subscribe("/zek-game-settings/v1/game-settings/video");
    plugin.Subscribe("/zek-game-settings/v1/input-settings");
  });
  EXPECT_EQ(runtime_->ListenerCount(shared), 1u);
  EXPECT_EQ(runtime_->ListenerCount(other), 1u);
  OnHost([&](ProbePlugin& plugin) { EXPECT_EQ(plugin.SubscriptionCount(shared), 2u); });

  OnHost([&](ProbePlugin& plugin) { plugin.Unsubscribe("/zek-game-settings/v1/game-settings"); });
  EXPECT_EQ(runtime_->ListenerCount(shared), 1u);
  OnHost([&](ProbePlugin& plugin) {
    plugin.Unsubscribe("/zek-game-settings/v1/game-settings/video");
    // One more than there were subscriptions changes nothing.
    plugin.Unsubscribe("/zek-game-settings/v1/game-settings");
  });
  EXPECT_EQ(runtime_->ListenerCount(shared), 0u);
  EXPECT_EQ(runtime_->ListenerCount(other), 1u);
}

TEST_F(ResourceEventsTest, UndecodableOrUnwantedEventsAreDroppedSilently) {
  OnHost([&](ProbePlugin& plugin) { plugin.ListenResource("/svc/v1/thing", Record("thing")); });
  const std::string name = "OnJsonApiEvent_svc_v1_thing";
  size_t lines = runtime_->LogLines().size();
  BindingProperty text;
  text.SetString("not an event");
  BindingProperty bad_type = EventValue("/svc/v1/thing", "Upsert", 1);
  runtime_->PublishEvent(name, text);
  runtime_->PublishEvent(name, bad_type);
  runtime_->PublishEvent(name, BindingProperty());
  runtime_->PublishEvent("OnJsonApiEvent_svc_v1_other", EventValue("/svc/v1/other", "Update", 1));
  EXPECT_TRUE(heard_.empty());
  EXPECT_EQ(runtime_->LogLines().size(), lines);
  // The listener still works after all that.
  runtime_->PublishEvent(name, EventValue("/svc/v1/thing", "Delete", 4));
  ASSERT_EQ(heard_.size(), 1u);
  EXPECT_EQ(heard_[0].type, PluginResourceEventType::Delete);
}

TEST_F(ResourceEventsTest, TypedHandlersGetConvertedDataOrNothing) {
  std::vector<int32_t> numbers;
  OnHost([&](ProbePlugin& plugin) {
    plugin.ListenResource<int32_t>(
        "/svc/v1/number",
        [&](const Client::TypedResourceEvent<int32_t>& event) { numbers.push_back(event.data); });
  });
  const std::string name = "OnJsonApiEvent_svc_v1_number";
  runtime_->PublishEvent(name, EventValue("/svc/v1/number", "Update", 8));
  BindingProperty words = EventValue("/svc/v1/number", "Update", 0);
  words.Field("data").SetString("eight");
  runtime_->PublishEvent(name, words);
  runtime_->PublishEvent(name, EventValue("/svc/v1/number", "Update", int64_t{1} << 40));
  EXPECT_EQ(numbers, std::vector<int32_t>{8});
}

TEST_F(ResourceEventsTest, TypedHandlersConvertRegisteredRecords) {
  std::vector<Client::PluginManagerState> states;
  OnHost([&](ProbePlugin& plugin) {
    plugin.ListenResource<Client::PluginManagerResource>(
        "/plugin-manager/v1/state",
        [&](const Client::TypedResourceEvent<Client::PluginManagerResource>& event) {
          states.push_back(event.data.state);
        });
  });
  BindingProperty ready = EventValue("/plugin-manager/v1/state", "Update", 0);
  ready.Field("data").Reset();
  ready.Field("data").Field("state").SetString("PluginsInitialized");
  BindingProperty bad = ready;
  bad.Field("data").Field("state").SetString("Sleeping");
  runtime_->PublishEvent("OnJsonApiEvent_plugin-manager_v1_state", ready);
  runtime_->PublishEvent("OnJsonApiEvent_plugin-manager_v1_state", bad);
  EXPECT_EQ(states, std::vector<Client::PluginManagerState>{
                        Client::PluginManagerState::PluginsInitialized});
}

TEST_F(ResourceEventsTest, PublishingGoesOutUnderTheDerivedNameAndAgainUnderTheGeneralOne) {
  RecordEvents();
  OnHost([&](ProbePlugin& plugin) {
    BindingProperty value;
    value.Field("schemaVersion").SetSigned(2);
    plugin.PublishResourceEvent(PluginResourceEventType::Update, "/zek-settings/v2/local/hud",
                                value);
    plugin.PublishResourceEvent(PluginResourceEventType::Create, "/", 5);
  });
  ASSERT_EQ(events_.size(), 3u);
  EXPECT_EQ(events_[0].name, "OnJsonApiEvent_zek-settings_v2_local");
  EXPECT_EQ(events_[1].name, "OnJsonApiEvent");
  EXPECT_EQ(events_[0].payload, events_[1].payload);
  EXPECT_EQ(events_[0].payload.Find("uri").GetString(), "/zek-settings/v2/local/hud");
  EXPECT_EQ(events_[0].payload.Find("eventType").GetString(), "Update");
  EXPECT_EQ(events_[0].payload.Find("data").Find("schemaVersion").GetSigned(), 2);
  // A path whose name is the general one goes out once.
  EXPECT_EQ(events_[2].name, "OnJsonApiEvent");
  EXPECT_EQ(events_[2].payload.Find("data").GetSigned(), 5);
}

TEST_F(ResourceEventsTest, AHandlerMayPublishAndResubscribeWhileItIsCalled) {
  RecordEvents();
  int calls = 0;
  OnHost([&](ProbePlugin& plugin) {
    plugin.ListenResource("/svc/v1/echo", [&](const PluginResourceEvent& event) {
      ++calls;
      // Replaces this very handler and drops the last subscription while it runs.
      plugin.ListenResource("/svc/v1/echo", Record("replacement"));
      plugin.Unsubscribe("/svc/v1/echo");
      plugin.Unsubscribe("/svc/v1/echo");
      plugin.PublishResourceEvent(PluginResourceEventType::Update, "/svc/v1/answer", event.data);
    });
  });
  runtime_->PublishEvent("OnJsonApiEvent_svc_v1_echo", EventValue("/svc/v1/echo", "Update", 9));
  EXPECT_EQ(calls, 1);
  // Observers see an event after its listeners: the two the handler published come first.
  ASSERT_EQ(events_.size(), 3u);
  EXPECT_EQ(events_[0].name, "OnJsonApiEvent_svc_v1_answer");
  EXPECT_EQ(events_[0].payload.Find("data").GetSigned(), 9);
  EXPECT_EQ(events_[2].name, "OnJsonApiEvent_svc_v1_echo");
  EXPECT_EQ(runtime_->ListenerCount("OnJsonApiEvent_svc_v1_echo"), 0u);
}

TEST_F(ResourceEventsTest, StopRemovesEveryListenerAndLaterEventsReachNobody) {
  OnHost([&](ProbePlugin& plugin) {
    plugin.ListenResource("/svc/v1/a", Record("a"));
    plugin.ListenResource("/svc/v2/*", Record("b"));
  });
  EXPECT_FALSE(runtime_->ListenedNames().empty());
  runtime_->Stop(handle_);
  EXPECT_TRUE(runtime_->ListenedNames().empty());
  runtime_->PublishEvent("OnJsonApiEvent_svc_v1_a", EventValue("/svc/v1/a", "Update", 1));
  EXPECT_TRUE(heard_.empty());
}

}  // namespace
}  // namespace Varn::Host

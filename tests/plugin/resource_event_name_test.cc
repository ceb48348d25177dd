#include "plugin/resource_event_name.h"

#include <gtest/gtest.h>

#include <string>

#include "plugin/plugin_resource_event.h"

namespace Varn {
namespace {

TEST(ResourceEventNameTest, KeepsThreeSegmentsOrFiveBelowPlatformConfig) {
  struct Case {
    std::string path;
    std::string name;
  };
  const Case cases[] = {
      {"/zek-login/v1/session", "OnJsonApiEvent_zek-login_v1_session"},
      {"/zek-platform-config/v1/namespaces/QevSettings",
       "OnJsonApiEvent_zek-platform-config_v1_namespaces_QevSettings"},
      {"/zek-platform-config/v1/namespaces/QevSettings/deeper/still",
       "OnJsonApiEvent_zek-platform-config_v1_namespaces_QevSettings_deeper"},
      {"/zek-game-settings/v1/game-settings", "OnJsonApiEvent_zek-game-settings_v1_game-settings"},
      {"/zek-game-settings/v1/input-settings",
       "OnJsonApiEvent_zek-game-settings_v1_input-settings"},
      {"/zek-settings/v2/account/PerksPreferences/hud", "OnJsonApiEvent_zek-settings_v2_account"},
      {"//zek-login//v1/session/", "OnJsonApiEvent_zek-login_v1_session"},
      {"zek-login/v1", "OnJsonApiEvent_zek-login_v1"},
      // Only the first segment opens the longer form.
      {"/a/zek-platform-config/b/c/d", "OnJsonApiEvent_a_zek-platform-config_b"},
      {"/", "OnJsonApiEvent"},
      {"", "OnJsonApiEvent"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ResourceEventName(c.path), c.name);
  }
}

TEST(ResourceEventNameTest, WildcardStarStaysWithinOneSegmentAndNeverBacktracks) {
  struct Case {
    std::string pattern;
    std::string text;
    bool matches;
  };
  const Case cases[] = {
      {"/svc/v1/items/*", "/svc/v1/items/one", true},
      {"/svc/v1/items/*", "/svc/v1/items/one/two", false},
      {"/svc/v1/items/*", "/svc/v1/items/", false},
      {"/svc/v1/items/*", "/svc/v1/items", false},
      {"/svc/*/items", "/svc/v1/items", true},
      {"/svc/*/items", "/svc/v1/v2/items", false},
      // A star meeting "/" matches nothing and matching goes on.
      {"/svc/*/items", "/svc//items", true},
      {"/svc/*", "/svc/x", true},
      // Greedy with no backtracking: the star eats ".json" too.
      {"/files/*.json", "/files/a.json", false},
      {"/a/*/*", "/a/b/c", true},
      {"/A/*", "/a/b", false},
      {"*", "", false},
      {"", "", true},
      {"/exact", "/exact", true},
      {"/exact", "/exactly", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern + " ~ " + c.text);
    EXPECT_EQ(MatchesWildcard(c.pattern, c.text), c.matches);
  }
}

TEST(ResourceEventNameTest, EventValuesConvertOrReportTheFirstFault) {
  using Client::PluginResourceEventType;
  struct Case {
    const char* label;
    BindingProperty value;
    PluginResourceEventType type;
    std::string error;
  };
  auto event = [](auto set_type) {
    BindingProperty value;
    value.Field("uri").SetString("/svc/v1/a");
    set_type(value.Field("eventType"));
    value.Field("data").SetSigned(5);
    return value;
  };
  BindingProperty text;
  text.SetString("Update");
  const Case cases[] = {
      {"name", event([](BindingProperty& t) { t.SetString("Delete"); }),
       PluginResourceEventType::Delete, ""},
      {"number text", event([](BindingProperty& t) { t.SetString("1"); }),
       PluginResourceEventType::Update, ""},
      {"signed", event([](BindingProperty& t) { t.SetSigned(2); }), PluginResourceEventType::Delete,
       ""},
      {"enum", event([](BindingProperty& t) {
         t.SetEnum({1, 0});
       }),
       PluginResourceEventType::Update, ""},
      {"unknown number", event([](BindingProperty& t) { t.SetUnsigned(7); }),
       PluginResourceEventType::Create,
       "7 is not a valid PluginResourceEventType enumeration value for 'eventType'."},
      {"unknown name", event([](BindingProperty& t) { t.SetString("Upsert"); }),
       PluginResourceEventType::Create,
       "Upsert is not a valid PluginResourceEventType enumeration value for 'eventType'."},
      {"wrong kind", event([](BindingProperty& t) { t.SetBool(true); }),
       PluginResourceEventType::Create,
       "Couldn't assign value to 'eventType' of enum type because the input is of an invalid "
       "type bool."},
      {"not a structure", text, PluginResourceEventType::Create,
       "Couldn't assign value to '<result>' of type PluginResourceEvent because the input not a "
       "structure."},
      {"empty", BindingProperty(), PluginResourceEventType::Create,
       "A value for '<result>' is required."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Client::PluginResourceEvent converted;
    BindingResult result;
    ResourceEventFromValue(result, c.value, "<result>", converted);
    if (c.error.empty()) {
      ASSERT_TRUE(result.IsOk()) << result.ErrorMessage();
      EXPECT_EQ(converted.uri, "/svc/v1/a");
      EXPECT_EQ(converted.eventType, c.type);
      EXPECT_EQ(converted.data.GetSigned(), 5);
    } else {
      EXPECT_FALSE(result.IsOk());
      EXPECT_EQ(result.ErrorMessage(), c.error);
    }
  }
}

TEST(ResourceEventNameTest, EventValueRoundTripsWithTheTypeByName) {
  BindingProperty data;
  data.Field("k").SetString("v");
  BindingProperty value =
      ResourceEventToValue("/svc/v1/a", Client::PluginResourceEventType::Update, data);
  EXPECT_EQ(value.Find("eventType").GetString(), "Update");
  Client::PluginResourceEvent back;
  BindingResult result;
  ResourceEventFromValue(result, value, "event", back);
  ASSERT_TRUE(result.IsOk());
  EXPECT_EQ(back.uri, "/svc/v1/a");
  EXPECT_EQ(back.eventType, Client::PluginResourceEventType::Update);
  EXPECT_EQ(back.data, data);
}

}  // namespace
}  // namespace Varn

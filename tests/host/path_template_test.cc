// The host's own matcher of function path templates and its event naming, checked against the
// examples the boundary header and the plugins' paths give.
#include "host/runtime/path_template.h"

#include <gtest/gtest.h>

#include "host/runtime/event_name.h"

namespace Varn::Host {
namespace {

TEST(PathTemplateTest, MatchesSegmentsRestsAndLiterals) {
  struct Case {
    const char* text;
    const char* path;
    bool matches;
  };
  const Case cases[] = {
      {"/zek-settings/v2/ready", "/zek-settings/v2/ready", true},
      {"/zek-settings/v2/ready", "/zek-settings/v2/ready/", false},
      {"/zek-settings/v2/ready", "/zek-settings/v2/read", false},
      {"/zek-settings/v1/account/{category}", "/zek-settings/v1/account/audio", true},
      {"/zek-settings/v1/account/{category}", "/zek-settings/v1/account/", true},
      {"/zek-settings/v1/account/{category}", "/zek-settings/v1/account/a/b", false},
      {"/zek-settings/v2/account/{ppType}/{category}", "/zek-settings/v2/account/Q/audio", true},
      {"/zek-settings/v2/account/{ppType}/{category}", "/zek-settings/v2/account/Q", false},
      {"/files/{+rest}", "/files/a/b/c", true},
      {"/files/{+rest}", "/files/", true},
      {"/files/{+rest}/end", "/files/a/b/end", true},
      {"/files/{+rest}/end", "/files/a/b/ends", false},
      {"/doc{#anchor}", "/doc#part/two", true},
      {"/doc{#anchor}", "/doc/part", false},
      {"/a/{x}.json", "/a/b.json", true},
      {"/a/{x}.json", "/a/b.yaml", false},
      {"/lines/{+rest}", "/lines/a\nb", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " ~ " + c.path);
    EXPECT_EQ(PathTemplate(c.text).Matches(c.path), c.matches);
  }
  EXPECT_EQ(PathTemplate("/v2/{ppType}/{+rest}{#frag}").ParameterNames(),
            (std::vector<std::string>{"ppType", "rest", "frag"}));
}

TEST(PathTemplateTest, SplitsQueriesAndDecodesTheirValues) {
  EXPECT_EQ(SplitPathAndQuery("/events?prefix=/a&x=1").first, "/events");
  EXPECT_EQ(SplitPathAndQuery("/events?prefix=/a&x=1").second, "prefix=/a&x=1");
  EXPECT_EQ(SplitPathAndQuery("/events").second, "");
  EXPECT_EQ(QueryParameter("prefix=%2Fzek-settings%2F&x=1", "prefix"), "/zek-settings/");
  EXPECT_EQ(QueryParameter("a=1+2&b", "a"), "1 2");
  EXPECT_EQ(QueryParameter("a=1&b", "b", "none"), "");
  EXPECT_EQ(QueryParameter("a=1", "c", "none"), "none");
  EXPECT_EQ(QueryParameter("a=%zz%4", "a"), "%zz%4");
}

TEST(EventNameTest, NamesResourcesAsPluginsListenToThem) {
  struct Case {
    const char* path;
    const char* name;
  };
  const Case cases[] = {
      {"/zek-login/v1/session", "OnJsonApiEvent_zek-login_v1_session"},
      {"/zek-settings/v2/account/QEVPreferences/audio", "OnJsonApiEvent_zek-settings_v2_account"},
      {"/zek-platform-config/v1/namespaces/QevSettings",
       "OnJsonApiEvent_zek-platform-config_v1_namespaces_QevSettings"},
      {"//zek-login//v1/session/", "OnJsonApiEvent_zek-login_v1_session"},
      {"/", "OnJsonApiEvent"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ResourceEventName(c.path), c.name);
  }
  EXPECT_TRUE(
      EventNameMatches("OnJsonApiEvent_zek-login_*", "OnJsonApiEvent_zek-login_v1_session"));
  // Greedy and never given back: the "*" takes the rest, "_v1_session" included.
  EXPECT_FALSE(
      EventNameMatches("OnJsonApiEvent_zek-*_v1_session", "OnJsonApiEvent_zek-login_v1_session"));
  EXPECT_FALSE(EventNameMatches("a/*", "a/"));
  EXPECT_TRUE(EventNameMatches("a/*/c", "a/b/c"));
  EXPECT_FALSE(EventNameMatches("a/*", "a/b/c"));
}

}  // namespace
}  // namespace Varn::Host

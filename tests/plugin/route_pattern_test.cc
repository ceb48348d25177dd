#include "plugin/route_pattern.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace Varn {
namespace {

struct RegexCase {
  const char* path_template;
  std::vector<const char*> paths;
};

// Each path is matched by the pattern and by the expression it spells; matches and captures must
// agree, including where a greedy capture has to give characters back.
TEST(RoutePatternTest, AgreesWithTheRegularExpression) {
  const std::vector<RegexCase> cases = {
      {"/zek-settings/v1/account/{category}",
       {"/zek-settings/v1/account/x", "/zek-settings/v1/account/", "/zek-settings/v1/account",
        "/zek-settings/v1/account/a/b", "/zek-settings/v1/accountx/a",
        "/zek-settings/v1/account/a/", "/zek-settings/v1/account/a?b=c",
        "/zek-settings/v1/account/a\nb"}},
      {"/zek-settings/v2/account/{ppType}/{category}",
       {"/zek-settings/v2/account/PerksPreferences/audio", "/zek-settings/v2/account//",
        "/zek-settings/v2/account/a", "/zek-settings/v2/account/a/b/c",
        "/zek-settings/v2/account/a/b/"}},
      {"/files/{+rest}",
       {"/files/", "/files/a", "/files/a/b/c", "/files", "/files/a\nb", "/files/a\rb", "/filesx"}},
      {"/files/{+rest}/meta",
       {"/files/a/meta", "/files/a/b/meta", "/files/meta/meta", "/files//meta", "/files/meta",
        "/files/a/meta/x/meta", "/files/a/meta/"}},
      {"/doc/{page}{#anchor}",
       {"/doc/intro#top", "/doc/#", "/doc/a#b#c", "/doc/intro", "/doc/a/b#c", "/doc/a#b/c"}},
      {"/x/{a}{b}", {"/x/abc", "/x/", "/x/a/b"}},
      {"/x/{a}-{b}.{c}", {"/x/1-2.3", "/x/a-b-c.d.e", "/x/-.", "/x/a.b-c", "/x/1-2"}},
      {"/x/{+a}/{+b}", {"/x/1/2/3", "/x//", "/x/a", "/x/a/b/c/d"}},
      {"/v1.0/a+b/(x)/[y]/^z$/p|q/s*t?u\\/{id}",
       {"/v1.0/a+b/(x)/[y]/^z$/p|q/s*t?u\\/7", "/v1x0/a+b/(x)/[y]/^z$/p|q/s*t?u\\/7",
        "/v1.0/aab/(x)/[y]/^z$/p|q/s*t?u\\/7"}},
      {"{all}", {"", "abc", "/", "a/b"}},
      {"{+all}", {"", "abc", "a/b", "a\n"}},
      {"/a/{}/b", {"/a/x/b", "/a//b", "/a/x/c"}},
      {"/a/{x}/b{y}", {"/a/1/b2", "/a/1/b", "/a/1/c2", "/a/1/b/2"}},
  };
  for (const RegexCase& c : cases) {
    RoutePattern pattern(c.path_template);
    ASSERT_FALSE(pattern.IsLiteral());
    std::regex expression(pattern.RegexText(), std::regex::ECMAScript | std::regex::optimize);
    for (const char* path : c.paths) {
      SCOPED_TRACE(std::string(c.path_template) + " on " + path);
      std::cmatch expected;
      bool expected_match = std::regex_match(path, expected, expression);
      std::vector<std::string_view> captures;
      ASSERT_EQ(pattern.Match(path, captures), expected_match);
      if (!expected_match) continue;
      ASSERT_EQ(captures.size() + 1, expected.size());
      for (size_t i = 0; i < captures.size(); ++i) {
        EXPECT_EQ(std::string(captures[i]), expected[i + 1].str()) << "capture " << i;
      }
    }
  }
}

TEST(RoutePatternTest, SpellsTheExpressionAndNames) {
  struct Case {
    const char* path_template;
    const char* regex;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {"/zek-settings/v2/account/{ppType}/{category}",
       "/zek-settings/v2/account/([^/]*)/([^/]*)",
       {"ppType", "category"}},
      {"/files/{+path}", "/files/(.*)", {"path"}},
      {"/doc/{#anchor}", "/doc/#(.*)", {"anchor"}},
      {"/a.b/{x+y}", "/a\\.b/([^/]*)", {"x+y"}},
      {"/{+}", "/(.*)", {""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path_template);
    RoutePattern pattern(c.path_template);
    EXPECT_EQ(pattern.RegexText(), c.regex);
    EXPECT_EQ(pattern.ParameterNames(), c.names);
  }
}

TEST(RoutePatternTest, LiteralTemplatesCompareAsText) {
  RoutePattern pattern("/zek-settings/v2/ready");
  EXPECT_TRUE(pattern.IsLiteral());
  std::vector<std::string_view> captures;
  EXPECT_TRUE(pattern.Match("/zek-settings/v2/ready", captures));
  EXPECT_TRUE(captures.empty());
  EXPECT_FALSE(pattern.Match("/zek-settings/v2/ready/", captures));
  EXPECT_FALSE(pattern.Match("/zek-settings/v2/Ready", captures));
  // Characters that would be special in an expression are plain text here.
  RoutePattern dotted("/a.b");
  EXPECT_FALSE(dotted.Match("/axb", captures));
  EXPECT_TRUE(dotted.Match("/a.b", captures));
}

}  // namespace
}  // namespace Varn

#include "plugin/query_string.h"

#include <gtest/gtest.h>

namespace Varn {
namespace {

TEST(QueryStringTest, UrlDecodes) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {"a+b", "a b"},
      {"%41%62%2f%2F", "Ab//"},
      {"%e2%82%ac", "\xe2\x82\xac"},
      {"100%", "100"},
      {"%4", "4"},
      {"a%", "a"},
      {"%zz1", "%zz1"},
      {"%4g", "%4g"},
      {"%%41", "%%41"},
      {"%00x", std::string("\0x", 2)},
      {"plain", "plain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(UrlDecode(c.input), c.expected);
  }
}

TEST(QueryStringTest, SplitsPairs) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char* query;
    Pairs expected;
  };
  const Case cases[] = {
      {"", {}},
      {"a=1&b=2", {{"a", "1"}, {"b", "2"}}},
      {"flag", {{"flag", ""}}},
      {"a=1=2", {{"a", "1=2"}}},
      {"a=1&b=2&a=3", {{"a", "3"}, {"b", "2"}}},
      {"&&a=1&", {{"a", "1"}}},
      {"na%6De=v+w", {{"name", "v w"}}},
      {"=v", {{"", "v"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    EXPECT_EQ(SplitQuery(c.query), c.expected);
  }
}

TEST(QueryStringTest, SplitsPathAtTheFirstQuestionMark) {
  auto [path, query] = SplitPathAndQuery("/a/b?x=1?y");
  EXPECT_EQ(path, "/a/b");
  EXPECT_EQ(query, "x=1?y");
  auto [bare, none] = SplitPathAndQuery("/a");
  EXPECT_EQ(bare, "/a");
  EXPECT_EQ(none, "");
}

}  // namespace
}  // namespace Varn

#include "plugin/function_name.h"

#include <gtest/gtest.h>

namespace Varn {
namespace {

TEST(FunctionNameTest, DerivesNamesFromMethodAndPath) {
  struct Case {
    uint32_t method;
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {2, "/zek-settings/v2/local/{category}", "GetZekSettingsV2LocalByCategory"},
      {5, "/zek-settings/v2/account/{ppType}/{category}",
       "PatchZekSettingsV2AccountByPpTypeByCategory"},
      {1, "/a_b.c!d", "DeleteABCD"},
      {7, "/files/{+rest}", "PutFilesByRest"},
      {6, "/x/{#frag}", "PostXBy#frag"},
      {3, "/", "Head"},
      {4, "//a--b", "OptionsAB"},
      {8, "/run", "CallRun"},
      {0, "/any", "Any"},
      {99, "/odd", "Odd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(FunctionName(c.method, c.path), c.expected);
  }
}

TEST(FunctionNameTest, CapitalizesShortNames) {
  EXPECT_EQ(CapitalizedIdentifier("zek-settings"), "ZekSettings");
  EXPECT_EQ(CapitalizedIdentifier("a.b_c"), "ABC");
  EXPECT_EQ(CapitalizedIdentifier(""), "");
}

TEST(FunctionNameTest, MethodNamesRoundTrip) {
  for (uint32_t code = 1; code <= 8; ++code) {
    SCOPED_TRACE(code);
    EXPECT_EQ(MethodCode(MethodName(code)), code);
  }
  EXPECT_EQ(MethodName(0), "");
  EXPECT_EQ(MethodName(9), "");
  EXPECT_EQ(MethodCode("get"), 0u);
}

}  // namespace
}  // namespace Varn

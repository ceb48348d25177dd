#include "settings/owner_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace Varn::Client::Settings {
namespace {

TEST(OwnerRecordTest, ToUnsignedConvertsByKind) {
  struct Case {
    const char* name;
    BindingProperty value;
    uint64_t expected;
  };
  auto make = [](auto set) {
    BindingProperty value;
    set(value);
    return value;
  };
  const uint64_t kDefault = 77;
  const Case cases[] = {
      {"empty", BindingProperty(), kDefault},
      {"false", make([](BindingProperty& v) { v.SetBool(false); }), 0},
      {"true", make([](BindingProperty& v) { v.SetBool(true); }), 1},
      {"signed", make([](BindingProperty& v) { v.SetSigned(42); }), 42},
      {"negative keeps its bits", make([](BindingProperty& v) { v.SetSigned(-1); }), UINT64_MAX},
      {"unsigned", make([](BindingProperty& v) { v.SetUnsigned(UINT64_MAX - 1); }), UINT64_MAX - 1},
      {"float truncates", make([](BindingProperty& v) { v.SetFloat(42.9); }), 42},
      {"float above the signed range",
       make([](BindingProperty& v) { v.SetFloat(18446744073709549568.0); }), 18446744073709549568u},
      {"float beyond the range saturates", make([](BindingProperty& v) { v.SetFloat(1e30); }),
       UINT64_MAX},
      {"negative float", make([](BindingProperty& v) { v.SetFloat(-5.5); }), 0},
      {"NaN", make([](BindingProperty& v) { v.SetFloat(std::nan("")); }), 0},
      {"decimal text", make([](BindingProperty& v) { v.SetString("42"); }), 42},
      {"hexadecimal text", make([](BindingProperty& v) { v.SetString("0x2A"); }), 42},
      {"octal text", make([](BindingProperty& v) { v.SetString("052"); }), 42},
      {"leading digits", make([](BindingProperty& v) { v.SetString("12abc"); }), 12},
      {"not a number", make([](BindingProperty& v) { v.SetString("abc"); }), 0},
      {"empty text", make([](BindingProperty& v) { v.SetString(""); }), 0},
      {"enum sign-extends", make([](BindingProperty& v) {
         v.SetEnum({-2, 5});
       }),
       UINT64_MAX - 1},
      {"enum", make([](BindingProperty& v) {
         v.SetEnum({3, 5});
       }),
       3},
      {"blob", make([](BindingProperty& v) { v.SetBlob(std::vector<uint8_t>{1}); }), kDefault},
      {"collection", make([](BindingProperty& v) { v.MakeCollection(); }), kDefault},
      {"structure", make([](BindingProperty& v) { v.Field("accountId").SetUnsigned(1); }),
       kDefault},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToUnsigned(c.value, kDefault), c.expected);
  }
}

TEST(OwnerRecordTest, RecordHoldsUnsignedIdsAndABool) {
  const BindingProperty record = OwnerRecord(42, 7, true);
  EXPECT_EQ(record.Size(), 3u);
  EXPECT_EQ(record.Find("accountId").GetUnsigned(), 42u);
  EXPECT_EQ(record.Find("timestamp").GetUnsigned(), 7u);
  EXPECT_TRUE(record.Find("modified").GetBool());
}

}  // namespace
}  // namespace Varn::Client::Settings

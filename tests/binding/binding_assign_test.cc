#include "binding/binding_assign.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include "binding/binding_convert.h"
#include "binding/binding_record_builder.h"
#include "binding/binding_registry.h"

namespace Varn {
namespace {

enum class SessionState : int32_t { InProgress = 0, Succeeded = 1, LoggingOut = 2, Error = 3 };

BindingProperty Empty() { return BindingProperty(); }
BindingProperty Bool(bool v) {
  BindingProperty p;
  p.SetBool(v);
  return p;
}
BindingProperty Signed(int64_t v) {
  BindingProperty p;
  p.SetSigned(v);
  return p;
}
BindingProperty Unsigned(uint64_t v) {
  BindingProperty p;
  p.SetUnsigned(v);
  return p;
}
BindingProperty Float(double v) {
  BindingProperty p;
  p.SetFloat(v);
  return p;
}
BindingProperty Text(std::string_view v) {
  BindingProperty p;
  p.SetString(v);
  return p;
}
BindingProperty Blob(std::vector<uint8_t> v) {
  BindingProperty p;
  p.SetBlob(std::move(v));
  return p;
}
BindingProperty Enum(int32_t value, uint32_t type_hash) {
  BindingProperty p;
  p.SetEnum(BindingEnumValue{value, type_hash});
  return p;
}
BindingProperty Collection() {
  BindingProperty p;
  p.Append().SetSigned(1);
  return p;
}
BindingProperty Structure() {
  BindingProperty p;
  p.Field("a").SetSigned(1);
  return p;
}

// Storage for one native value of every kind the scalar rules fill.
struct Native {
  bool b = false;
  int8_t i8 = 0;
  uint8_t u8 = 0;
  int16_t i16 = 0;
  uint16_t u16 = 0;
  int32_t i32 = 0;
  uint32_t u32 = 0;
  int64_t i64 = 0;
  uint64_t u64 = 0;
  float f = 0;
  double d = 0;
  std::string s;
  std::vector<uint8_t> blob;
  SessionState state = SessionState::InProgress;
};

using Value = std::variant<bool, int64_t, uint64_t, double, std::string, std::vector<uint8_t>>;

void* Address(Native& n, NativeKind kind) {
  switch (kind) {
    case NativeKind::Bool:
      return &n.b;
    case NativeKind::Int8:
      return &n.i8;
    case NativeKind::Uint8:
      return &n.u8;
    case NativeKind::Int16:
      return &n.i16;
    case NativeKind::Uint16:
      return &n.u16;
    case NativeKind::Int32:
      return &n.i32;
    case NativeKind::Uint32:
      return &n.u32;
    case NativeKind::Int64:
      return &n.i64;
    case NativeKind::Uint64:
      return &n.u64;
    case NativeKind::Float:
      return &n.f;
    case NativeKind::Double:
      return &n.d;
    case NativeKind::String:
      return &n.s;
    case NativeKind::Blob:
      return &n.blob;
    case NativeKind::Enum:
      return &n.state;
    default:
      return nullptr;
  }
}

Value Read(const Native& n, NativeKind kind) {
  switch (kind) {
    case NativeKind::Bool:
      return n.b;
    case NativeKind::Int8:
      return int64_t{n.i8};
    case NativeKind::Uint8:
      return uint64_t{n.u8};
    case NativeKind::Int16:
      return int64_t{n.i16};
    case NativeKind::Uint16:
      return uint64_t{n.u16};
    case NativeKind::Int32:
      return int64_t{n.i32};
    case NativeKind::Uint32:
      return uint64_t{n.u32};
    case NativeKind::Int64:
      return n.i64;
    case NativeKind::Uint64:
      return n.u64;
    case NativeKind::Float:
      return double{n.f};
    case NativeKind::Double:
      return n.d;
    case NativeKind::String:
      return n.s;
    case NativeKind::Blob:
      return n.blob;
    case NativeKind::Enum:
      return int64_t{static_cast<int32_t>(n.state)};
    default:
      return false;
  }
}

struct ScalarCase {
  NativeKind kind;
  BindingProperty input;
  Value expected;     // when `error` is empty
  std::string error;  // the exact message, or empty for success
};

class ScalarRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    states_ = DeclareEnum<SessionState>(registry_, "LoginSessionStates")
                  .Value("IN_PROGRESS", SessionState::InProgress)
                  .Value("SUCCEEDED", SessionState::Succeeded)
                  .Value("LOGGING_OUT", SessionState::LoggingOut)
                  .Value("ERROR", SessionState::Error)
                  .Finish();
    ASSERT_NE(states_, nullptr);
  }

  BindingRegistry registry_;
  const BindingTypeInfo* states_ = nullptr;
};

TEST_F(ScalarRulesTest, KindByNativeKindByValue) {
  const uint32_t hash = states_->hashCode;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  using K = NativeKind;
  const std::string bool_options = "Options are \"true\", \"false\", \"1\", \"0\".";
  const ScalarCase cases[] = {
      // bool
      {K::Bool, Bool(true), true, ""},
      {K::Bool, Text("true"), true, ""},
      {K::Bool, Text("1"), true, ""},
      {K::Bool, Text("false"), false, ""},
      {K::Bool, Text("0"), false, ""},
      {K::Bool, Text("TRUE"), false,
       "Value TRUE for 'f' of type bool is in an incorrect format. " + bool_options},
      {K::Bool, Text(""), false,
       "Value  for 'f' of type bool is in an incorrect format. " + bool_options},
      {K::Bool, Unsigned(1), false,
       "Couldn't assign value to 'f' of type bool because the input is of an invalid type "
       "unsigned."},
      {K::Bool, Empty(), false, "A value for 'f' is required."},
      // signed integers
      {K::Int8, Signed(-128), int64_t{-128}, ""},
      {K::Int8, Signed(127), int64_t{127}, ""},
      {K::Int8, Signed(128), int64_t{0}, "Value 128 for 'f' of type int8 is out of range"},
      {K::Int8, Signed(-129), int64_t{0}, "Value -129 for 'f' of type int8 is out of range"},
      {K::Int8, Unsigned(200), int64_t{0}, "Value 200 for 'f' of type int8 is out of range"},
      {K::Int8, Float(-1.9), int64_t{-1}, ""},
      {K::Int8, Float(127.5), int64_t{0}, "Value 127.5 for 'f' of type int8 is out of range"},
      {K::Int8, Float(nan), int64_t{0}, "Value nan for 'f' of type int8 is out of range"},
      {K::Int8, Enum(5, hash), int64_t{5}, ""},
      {K::Int8, Text("0x10"), int64_t{16}, ""},
      {K::Int8, Text("010"), int64_t{8}, ""},
      {K::Int8, Text(""), int64_t{0}, ""},
      {K::Int8, Text("-0x80"), int64_t{-128}, ""},
      {K::Int8, Text("12abc"), int64_t{0},
       "Value 12abc for 'f' of type int8 is in an incorrect format"},
      {K::Int8, Text("12 "), int64_t{0},
       "Value 12  for 'f' of type int8 is in an incorrect format"},
      {K::Int8, Text("300"), int64_t{0}, "Value 300 for 'f' of type int8 is out of range"},
      {K::Int8, Bool(true), int64_t{0},
       "Couldn't assign value to 'f' of type int8 because the input is of an invalid type bool."},
      {K::Int8, Collection(), int64_t{0},
       "Couldn't assign value to 'f' of type int8 because the input is of an invalid type "
       "collection."},
      {K::Int16, Signed(-32769), int64_t{0}, "Value -32769 for 'f' of type int16 is out of range"},
      {K::Int32, Text("2147483647"), int64_t{2147483647}, ""},
      {K::Int32, Unsigned(2147483648u), int64_t{0},
       "Value 2147483648 for 'f' of type int32 is out of range"},
      {K::Int32, Structure(), int64_t{0},
       "Couldn't assign value to 'f' of type int32 because the input is of an invalid type "
       "structure."},
      {K::Int64, Signed(std::numeric_limits<int64_t>::min()), std::numeric_limits<int64_t>::min(),
       ""},
      {K::Int64, Unsigned(9223372036854775808u), int64_t{0},
       "Value 9223372036854775808 for 'f' of type int64 is out of range"},
      {K::Int64, Text("9223372036854775808"), int64_t{0},
       "Value 9223372036854775808 for 'f' of type int64 is out of range"},
      // 2^63 is the double nearest the int64 maximum but lies outside the range.
      {K::Int64, Float(9223372036854775808.0), int64_t{0},
       "Value 9.22337e+18 for 'f' of type int64 is out of range"},
      {K::Int64, Blob({1}), int64_t{0},
       "Couldn't assign value to 'f' of type int64 because the input is of an invalid type "
       "blob."},
      // unsigned integers
      {K::Uint8, Signed(255), uint64_t{255}, ""},
      {K::Uint8, Signed(-1), uint64_t{0}, "Value -1 for 'f' of type uint8 is out of range"},
      {K::Uint8, Text("256"), uint64_t{0}, "Value 256 for 'f' of type uint8 is out of range"},
      {K::Uint8, Text("0xff"), uint64_t{255}, ""},
      {K::Uint16, Float(65535.0), uint64_t{65535}, ""},
      {K::Uint16, Float(-0.5), uint64_t{0}, "Value -0.5 for 'f' of type uint16 is out of range"},
      {K::Uint32, Enum(-1, hash), uint64_t{0}, "Value -1 for 'f' of type uint32 is out of range"},
      {K::Uint32, Text("4294967296"), uint64_t{0},
       "Value 4294967296 for 'f' of type uint32 is out of range"},
      {K::Uint64, Text("18446744073709551615"), std::numeric_limits<uint64_t>::max(), ""},
      {K::Uint64, Text("18446744073709551616"), uint64_t{0},
       "Value 18446744073709551616 for 'f' of type uint64 is out of range"},
      {K::Uint64, Text("-1"), uint64_t{0}, "Value -1 for 'f' of type uint64 is out of range"},
      // strtoull skips leading blanks and then negates "-1" into the top of the range.
      {K::Uint64, Text(" -1"), uint64_t{0}, "Value  -1 for 'f' of type uint64 is out of range"},
      {K::Uint64, Text("x1"), uint64_t{0},
       "Value x1 for 'f' of type uint64 is in an incorrect format"},
      {K::Uint64, Signed(-1), uint64_t{0}, "Value -1 for 'f' of type uint64 is out of range"},
      {K::Uint64, Float(18446744073709551616.0), uint64_t{0},
       "Value 1.84467e+19 for 'f' of type uint64 is out of range"},
      {K::Uint64, Empty(), uint64_t{0}, "A value for 'f' is required."},
      // floating point
      {K::Float, Signed(5), 5.0, ""},
      {K::Float, Float(1.5), 1.5, ""},
      {K::Float, Float(1e39), 0.0, "Value 1e+39 for 'f' of type float is out of range"},
      {K::Float, Text("-1e39"), 0.0, "Value -1e39 for 'f' of type float is out of range"},
      {K::Float, Text("abc"), 0.0, "Value abc for 'f' of type float is in an incorrect format"},
      {K::Float, Float(nan), nan, ""},
      {K::Double, Text("2.5"), 2.5, ""},
      {K::Double, Text(""), 0.0, ""},
      {K::Double, Unsigned(7), 7.0, ""},
      {K::Double, Enum(3, hash), 3.0, ""},
      {K::Double, Text("inf"), 0.0, "Value inf for 'f' of type double is out of range"},
      {K::Double, Text("1e999"), 0.0, "Value 1e999 for 'f' of type double is out of range"},
      {K::Double, Bool(false), 0.0,
       "Couldn't assign value to 'f' of type double because the input is of an invalid type "
       "bool."},
      // strings
      {K::String, Text("abc"), std::string("abc"), ""},
      {K::String, Enum(1, hash), std::string("SUCCEEDED"), ""},
      {K::String, Enum(7, hash), std::string(), "7 is not a valid enumeration value for 'f'."},
      {K::String, Signed(1), std::string(),
       "Couldn't assign value to 'f' because the input is not a string."},
      {K::String, Empty(), std::string(), "A value for 'f' is required."},
      // blobs
      {K::Blob, Blob({1, 2}), std::vector<uint8_t>{1, 2}, ""},
      {K::Blob, Text("AQI="), std::vector<uint8_t>{1, 2}, ""},
      {K::Blob, Text("aGk="), std::vector<uint8_t>{'h', 'i'}, ""},
      {K::Blob, Text("AQ I="), std::vector<uint8_t>{},
       "Couldn't assign string value to 'f' of type blob because the input has invalid base64 "
       "characters."},
      {K::Blob, Signed(1), std::vector<uint8_t>{},
       "Couldn't assign value to 'f' of type blob because the input is not a blob."},
      // enumerations
      {K::Enum, Text("SUCCEEDED"), int64_t{1}, ""},
      {K::Enum, Text("1"), int64_t{1}, ""},
      {K::Enum, Text("0x2"), int64_t{2}, ""},
      {K::Enum, Text("7"), int64_t{0},
       "7 is not a valid LoginSessionStates enumeration value for 'f'."},
      {K::Enum, Text("succeeded"), int64_t{0},
       "Value succeeded for 'f' of type LoginSessionStates is in an incorrect format"},
      {K::Enum, Text("4294967296"), int64_t{0},
       "Value 4294967296 for 'f' of type LoginSessionStates is out of range"},
      {K::Enum, Signed(3), int64_t{3}, ""},
      {K::Enum, Signed(-1), int64_t{0},
       "-1 is not a valid LoginSessionStates enumeration value for 'f'."},
      {K::Enum, Unsigned(2), int64_t{2}, ""},
      {K::Enum, Unsigned(4294967297u), int64_t{0},
       "4294967297 is not a valid LoginSessionStates enumeration value for 'f'."},
      {K::Enum, Enum(2, 0x1234), int64_t{2}, ""},
      {K::Enum, Float(1.0), int64_t{0},
       "Couldn't assign value to 'f' of enum type because the input is of an invalid type "
       "float."},
      {K::Enum, Empty(), int64_t{0}, "A value for 'f' is required."},
  };
  for (const ScalarCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << NativeKindName(c.kind) << " from "
                                      << BindingProperty::TypeName(c.input.GetType()) << " "
                                      << c.input.GetString() << c.input.GetInteger());
    BindingFieldInfo field;
    field.kind = c.kind;
    field.typeInfo = states_;
    Native native;
    // A failed conversion must leave the native value as it was.
    native.state = SessionState::LoggingOut;
    native.s = "kept";
    BindingResult result;
    AssignNative(result, c.input, "f", field, &registry_, Address(native, c.kind));
    EXPECT_EQ(result.ErrorMessage(), c.error);
    EXPECT_EQ(result.IsOk(), c.error.empty());
    if (!c.error.empty()) {
      Native untouched;
      untouched.state = SessionState::LoggingOut;
      untouched.s = "kept";
      EXPECT_EQ(Read(native, c.kind), Read(untouched, c.kind));
      continue;
    }
    Value actual = Read(native, c.kind);
    if (const double* d = std::get_if<double>(&c.expected); d && std::isnan(*d)) {
      ASSERT_TRUE(std::holds_alternative<double>(actual));
      EXPECT_TRUE(std::isnan(std::get<double>(actual)));
    } else {
      EXPECT_EQ(actual, c.expected);
    }
  }
}

// Every rule keeps the first error and gives zero values after it.
TEST_F(ScalarRulesTest, RulesDoNothingOnceFailed) {
  const std::string first = "first";
  BindingResult result = BindingResult::Error(first);
  EXPECT_FALSE(AssignBool(result, Bool(true), "f"));
  EXPECT_EQ(AssignSigned(result, Signed(5), "f", 0, 10, "int8"), 0);
  EXPECT_EQ(AssignUnsigned(result, Text("x"), "f", 10, "uint8"), 0u);
  EXPECT_EQ(AssignDouble(result, Float(2.0), "f", 0, 10, "double"), 0.0);
  EXPECT_EQ(AssignString(result, Text("abc"), "f", &registry_), "");
  EXPECT_TRUE(AssignBlob(result, Blob({1}), "f").empty());
  EXPECT_EQ(AssignEnum(result, Signed(1), "f", *states_), 0);
  EXPECT_EQ(result.ErrorMessage(), first);
}

}  // namespace
}  // namespace Varn

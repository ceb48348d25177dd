#include "binding/binding_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "binding/binding_record_builder.h"
#include "binding/binding_registry.h"

namespace Varn {
namespace {

enum class State : int32_t { InProgress = 0, Succeeded = 1, LoggingOut = 2, Error = 3 };
enum class Narrow : int8_t { Low = -2, High = 100 };
enum class Wide : int64_t { Minus = -1, Plus = 7 };
enum class Byte : uint8_t { Zero = 0, Top = 200 };

struct Session {
  State state = State::InProgress;
  uint64_t profileId = 0;
  uint64_t accountId = 0;
  BindingProperty authToken;
};

struct Inner {
  int32_t count = 0;
  std::string label;
};

struct Outer {
  Inner inner;
  std::vector<int32_t> numbers;
  std::map<std::string, Inner> byName;
  std::vector<State> states;
  std::vector<uint8_t> bytes;
  float ratio = 0;
  bool flag = false;
  Narrow narrow = Narrow::Low;
  Wide wide = Wide::Plus;
  int16_t quiet = 0;  // omitted from output when 0
  Byte byte = Byte::Zero;
};

// Stores a uint32_t as its decimal text, to show a converter replaces the built-in rules.
class DecimalTextConverter final : public BindingConverter {
 public:
  void ToBinding(BindingResult&, const void* native, BindingProperty& out) const override {
    out.SetString(std::to_string(*static_cast<const uint32_t*>(native)));
  }
  void FromBinding(BindingResult& result, const BindingProperty& in, std::string_view field_name,
                   void* native) const override {
    if (in.GetType() != BindingPropertyType::String) {
      result.SetError(std::string("no text for ") + std::string(field_name));
      return;
    }
    *static_cast<uint32_t*>(native) =
        static_cast<uint32_t>(std::stoul(std::string(in.GetString())));
  }
};

struct Converted {
  uint32_t code = 0;
};

const DecimalTextConverter kDecimalText;

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeclareEnum<State>(registry_, "LoginSessionStates")
        .Value("IN_PROGRESS", State::InProgress)
        .Value("SUCCEEDED", State::Succeeded)
        .Value("LOGGING_OUT", State::LoggingOut)
        .Value("ERROR", State::Error);
    DeclareEnum<Narrow>(registry_, "Narrow").Value("LOW", Narrow::Low).Value("HIGH", Narrow::High);
    DeclareEnum<Wide>(registry_, "Wide").Value("MINUS", Wide::Minus).Value("PLUS", Wide::Plus);
    DeclareEnum<Byte>(registry_, "Byte").Value("ZERO", Byte::Zero).Value("TOP", Byte::Top);
    session_ = DeclareStructure<Session>(registry_, "LoginSession")
                   .Field(ZEK_MEMBER(Session, state), "")
                   .Field(ZEK_MEMBER(Session, profileId), "", kBindingFieldRequired)
                   .Field(ZEK_MEMBER(Session, accountId), "")
                   .Field(ZEK_MEMBER(Session, authToken), "")
                   .Finish();
    inner_ = DeclareStructure<Inner>(registry_, "Inner")
                 .Field(ZEK_MEMBER(Inner, count), "")
                 .Field(ZEK_MEMBER(Inner, label), "")
                 .Finish();
    outer_ = DeclareStructure<Outer>(registry_, "Outer")
                 .Field(ZEK_MEMBER(Outer, inner), "")
                 .Field(ZEK_MEMBER(Outer, numbers), "")
                 .Field(ZEK_MEMBER(Outer, byName), "")
                 .Field(ZEK_MEMBER(Outer, states), "")
                 .Field(ZEK_MEMBER(Outer, bytes), "")
                 .Field(ZEK_MEMBER(Outer, ratio), "")
                 .Field(ZEK_MEMBER(Outer, flag), "")
                 .Field(ZEK_MEMBER(Outer, narrow), "")
                 .Field(ZEK_MEMBER(Outer, wide), "")
                 .Field(ZEK_MEMBER(Outer, quiet), "", kBindingFieldOmitIfDefault)
                 .Field(ZEK_MEMBER(Outer, byte), "")
                 .Finish();
    converted_ = DeclareStructure<Converted>(registry_, "Converted")
                     .Field(ZEK_MEMBER(Converted, code), "", 0, &kDecimalText)
                     .Finish();
    ASSERT_NE(session_, nullptr);
    ASSERT_NE(inner_, nullptr);
    ASSERT_NE(outer_, nullptr);
    ASSERT_NE(converted_, nullptr);
  }

  static BindingProperty SessionInput() {
    BindingProperty input;
    input.Field("state").SetString("SUCCEEDED");
    input.Field("profileId").SetUnsigned(11);
    input.Field("accountId").SetString("0x20");
    input.Field("authToken").Field("token").SetString("abc");
    return input;
  }

  BindingRegistry registry_;
  const BindingTypeInfo* session_ = nullptr;
  const BindingTypeInfo* inner_ = nullptr;
  const BindingTypeInfo* outer_ = nullptr;
  const BindingTypeInfo* converted_ = nullptr;
};

TEST_F(ConvertTest, SessionRoundTrip) {
  Session session;
  BindingResult result;
  FromBinding(result, SessionInput(), "session", session_, &session);
  ASSERT_TRUE(result.IsOk()) << result.ErrorMessage();
  EXPECT_EQ(session.state, State::Succeeded);
  EXPECT_EQ(session.profileId, 11u);
  EXPECT_EQ(session.accountId, 32u);
  EXPECT_EQ(session.authToken.Find("token").GetString(), "abc");

  BindingResult out = ToBinding(&session, session_);
  ASSERT_TRUE(out.IsOk()) << out.ErrorMessage();
  EXPECT_EQ(out.value.Size(), 4u);
  EXPECT_EQ(out.value.Find("state").GetEnum(),
            (BindingEnumValue{1, session_->fields[0].typeInfo->hashCode}));
  EXPECT_EQ(registry_.EnumValueName(out.value.Find("state").GetEnum()), std::string("SUCCEEDED"));
  EXPECT_EQ(out.value.Find("profileId").GetUnsigned(), 11u);
  EXPECT_EQ(out.value.Find("accountId").GetUnsigned(), 32u);
  EXPECT_EQ(out.value.Find("authToken"), session.authToken);

  Session again;
  BindingResult back;
  FromBinding(back, out.value, "session", session_, &again);
  ASSERT_TRUE(back.IsOk()) << back.ErrorMessage();
  EXPECT_EQ(again.state, session.state);
  EXPECT_EQ(again.accountId, session.accountId);
  EXPECT_EQ(again.authToken, session.authToken);
}

struct RecordCase {
  const char* what;
  std::function<void(BindingProperty&)> edit;  // applied to a valid input
  std::string error;                           // exact message, or empty for success
};

TEST_F(ConvertTest, SessionInputErrors) {
  const RecordCase cases[] = {
      {"valid input", [](BindingProperty&) {}, ""},
      {"whole input empty", [](BindingProperty& in) { in.Reset(); },
       "A value for 'session' is required."},
      {"input not a structure", [](BindingProperty& in) { in.SetSigned(1); },
       "Couldn't assign value to 'session' of type LoginSession because the input not a "
       "structure."},
      {"required field missing",
       [](BindingProperty& in) {
         BindingProperty copy;
         copy.Field("state").SetSigned(1);
         in = copy;
       },
       "Couldn't assign value to 'session' of type LoginSession because the input structure "
       "doesn't have required field 'profileId'."},
      {"required field present but empty",
       [](BindingProperty& in) { in.Field("profileId").Reset(); },
       "Couldn't assign value to 'session' of type LoginSession because the input structure "
       "doesn't have required field 'profileId'."},
      {"enum by number", [](BindingProperty& in) { in.Field("state").SetSigned(3); }, ""},
      {"enum by number in text", [](BindingProperty& in) { in.Field("state").SetString("2"); }, ""},
      {"enum number unknown", [](BindingProperty& in) { in.Field("state").SetString("7"); },
       "7 is not a valid LoginSessionStates enumeration value for 'state'."},
      {"enum name unknown", [](BindingProperty& in) { in.Field("state").SetString("DONE"); },
       "Value DONE for 'state' of type LoginSessionStates is in an incorrect format"},
      {"first bad field wins",
       [](BindingProperty& in) {
         in.Field("state").SetBool(true);
         in.Field("accountId").SetSigned(-1);
       },
       "Couldn't assign value to 'state' of enum type because the input is of an invalid type "
       "bool."},
      {"later bad field", [](BindingProperty& in) { in.Field("accountId").SetSigned(-1); },
       "Value -1 for 'accountId' of type uint64 is out of range"},
      {"unknown members are ignored", [](BindingProperty& in) { in.Field("extra").SetBool(true); },
       ""},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.what);
    BindingProperty input = SessionInput();
    c.edit(input);
    Session session;
    BindingResult result;
    FromBinding(result, input, "session", session_, &session);
    EXPECT_EQ(result.ErrorMessage(), c.error);
    EXPECT_EQ(result.IsOk(), c.error.empty());
  }
}

TEST_F(ConvertTest, MissingOptionalFieldKeepsNativeValue) {
  Session session;
  session.state = State::Error;
  session.accountId = 99;
  BindingProperty input;
  input.Field("profileId").SetUnsigned(5);
  BindingResult result;
  FromBinding(result, input, "session", session_, &session);
  ASSERT_TRUE(result.IsOk()) << result.ErrorMessage();
  EXPECT_EQ(session.state, State::Error);
  EXPECT_EQ(session.accountId, 99u);
  EXPECT_EQ(session.profileId, 5u);
}

TEST_F(ConvertTest, OuterRoundTrip) {
  Outer outer;
  outer.inner = {3, "three"};
  outer.numbers = {1, -2, 3};
  outer.byName["a"] = {1, "one"};
  outer.byName["b"] = {2, "two"};
  outer.states = {State::Error, State::InProgress};
  outer.bytes = {0, 255};
  outer.ratio = 0.25f;
  outer.flag = true;
  outer.narrow = Narrow::Low;
  outer.wide = Wide::Minus;
  outer.quiet = 4;
  outer.byte = Byte::Top;

  BindingResult out = ToBinding(&outer, outer_);
  ASSERT_TRUE(out.IsOk()) << out.ErrorMessage();
  const BindingProperty& v = out.value;
  EXPECT_EQ(v.Find("inner").Find("label").GetString(), "three");
  ASSERT_EQ(v.Find("numbers").Size(), 3u);
  EXPECT_EQ(v.Find("numbers").At(1).GetSigned(), -2);
  EXPECT_EQ(v.Find("byName").Find("b").Find("count").GetSigned(), 2);
  EXPECT_EQ(v.Find("states").At(0).GetEnum().value, 3);
  EXPECT_EQ(v.Find("narrow").GetEnum().value, -2);  // one byte, sign-extended
  EXPECT_EQ(v.Find("wide").GetEnum().value, -1);
  EXPECT_EQ(v.Find("quiet").GetSigned(), 4);
  EXPECT_EQ(v.Find("byte").GetEnum().value, 200);  // unsigned storage is not sign-extended

  Outer back;
  BindingResult result;
  FromBinding(result, v, "outer", outer_, &back);
  ASSERT_TRUE(result.IsOk()) << result.ErrorMessage();
  EXPECT_EQ(back.inner.count, 3);
  EXPECT_EQ(back.numbers, outer.numbers);
  ASSERT_EQ(back.byName.size(), 2u);
  EXPECT_EQ(back.byName["a"].label, "one");
  EXPECT_EQ(back.states, outer.states);
  EXPECT_EQ(back.bytes, outer.bytes);
  EXPECT_EQ(back.ratio, 0.25f);
  EXPECT_TRUE(back.flag);
  EXPECT_EQ(back.narrow, Narrow::Low);
  EXPECT_EQ(back.wide, Wide::Minus);  // sign-extended into all 8 bytes
  EXPECT_EQ(back.quiet, 4);
  EXPECT_EQ(back.byte, Byte::Top);
}

TEST_F(ConvertTest, OmitIfDefaultLeavesOutDefaultMember) {
  Outer outer;
  BindingResult out = ToBinding(&outer, outer_);
  ASSERT_TRUE(out.IsOk()) << out.ErrorMessage();
  EXPECT_EQ(out.value.TryFind("quiet"), nullptr);
  // Fields without the flag are written even when default.
  ASSERT_NE(out.value.TryFind("flag"), nullptr);
  EXPECT_FALSE(out.value.Find("flag").GetBool(true));
  EXPECT_EQ(out.value.Find("numbers").GetType(), BindingPropertyType::Collection);
}

TEST_F(ConvertTest, OuterInputErrors) {
  const RecordCase cases[] = {
      {"vector from a string", [](BindingProperty& in) { in.Field("numbers").SetString("1,2"); },
       "Couldn't assign value to 'numbers' of type vector because the input not a collection."},
      {"vector element out of range",
       [](BindingProperty& in) {
         in.Field("numbers").At(0).SetSigned(1);
         in.Field("numbers").At(1).SetString("4294967296");
       },
       "Value 4294967296 for 'numbers' of type int32 is out of range"},
      {"map from a collection",
       [](BindingProperty& in) { in.Field("byName").Append().SetSigned(1); },
       "Couldn't assign value to 'byName' of type map because the input not a structure."},
      {"map element not a structure",
       [](BindingProperty& in) { in.Field("byName").Field("x").SetSigned(1); },
       "Couldn't assign value to 'byName' of type Inner because the input not a structure."},
      {"map element empty", [](BindingProperty& in) { in.Field("byName").Field("x"); },
       "A value for 'byName' is required."},
      {"nested record not a structure",
       [](BindingProperty& in) { in.Field("inner").SetString("x"); },
       "Couldn't assign value to 'inner' of type Inner because the input not a structure."},
      {"nested record field",
       [](BindingProperty& in) { in.Field("inner").Field("count").SetFloat(1e10); },
       "Value 1e+10 for 'count' of type int32 is out of range"},
      {"enum vector element",
       [](BindingProperty& in) { in.Field("states").At(0).SetString("NOPE"); },
       "Value NOPE for 'states' of type LoginSessionStates is in an incorrect format"},
      {"blob from bad base64", [](BindingProperty& in) { in.Field("bytes").SetString("a b"); },
       "Couldn't assign string value to 'bytes' of type blob because the input has invalid base64 "
       "characters."},
      {"float out of range", [](BindingProperty& in) { in.Field("ratio").SetFloat(1e300); },
       "Value 1e+300 for 'ratio' of type float is out of range"},
      {"narrow enum unknown", [](BindingProperty& in) { in.Field("narrow").SetSigned(5); },
       "5 is not a valid Narrow enumeration value for 'narrow'."},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.what);
    BindingProperty input;
    input.MakeStructure();
    c.edit(input);
    Outer outer;
    BindingResult result;
    FromBinding(result, input, "outer", outer_, &outer);
    EXPECT_EQ(result.ErrorMessage(), c.error);
  }
}

TEST_F(ConvertTest, ContainerInputsMerge) {
  Outer outer;
  outer.numbers = {9, 9, 9, 9};
  outer.byName["kept"] = {1, "kept"};
  BindingProperty input;
  input.Field("numbers").At(2).SetSigned(5);  // elements 0 and 1 stay Empty
  input.Field("byName").Field("new").Field("count").SetSigned(2);
  BindingResult result;
  FromBinding(result, input, "outer", outer_, &outer);
  ASSERT_TRUE(result.IsOk()) << result.ErrorMessage();
  // The vector is replaced: Empty elements give default values.
  EXPECT_EQ(outer.numbers, (std::vector<int32_t>{0, 0, 5}));
  // The map keeps entries the input does not mention.
  ASSERT_EQ(outer.byName.size(), 2u);
  EXPECT_EQ(outer.byName["kept"].label, "kept");
  EXPECT_EQ(outer.byName["new"].count, 2);
}

TEST_F(ConvertTest, ConverterReplacesBuiltInRules) {
  Converted record{42};
  BindingResult out = ToBinding(&record, converted_);
  ASSERT_TRUE(out.IsOk()) << out.ErrorMessage();
  EXPECT_EQ(out.value.Find("code").GetString(), "42");

  BindingProperty input;
  input.Field("code").SetString("17");
  BindingResult result;
  FromBinding(result, input, "converted", converted_, &record);
  ASSERT_TRUE(result.IsOk()) << result.ErrorMessage();
  EXPECT_EQ(record.code, 17u);

  input.Field("code").SetUnsigned(3);
  FromBinding(result, input, "converted", converted_, &record);
  EXPECT_EQ(result.ErrorMessage(), "no text for code");
}

struct Unregistered {
  int32_t x = 0;
};
struct HoldsUnregistered {
  Unregistered inner;
};

TEST_F(ConvertTest, UnregisteredTypes) {
  Session session;
  BindingResult out = ToBinding(&session, nullptr);
  EXPECT_EQ(out.ErrorMessage(),
            "Couldn't convert native value because it's an unregistered structure.");

  BindingResult in;
  FromBinding(in, SessionInput(), "session", nullptr, &session);
  EXPECT_EQ(in.ErrorMessage(),
            "Couldn't assign value to 'session' because the input is an unregistered structure or "
            "not a structure at all.");

  // A member whose record type was never declared fails in both directions.
  const BindingTypeInfo* holder = DeclareStructure<HoldsUnregistered>(registry_, "Holder")
                                      .Field(ZEK_MEMBER(HoldsUnregistered, inner), "")
                                      .Finish();
  ASSERT_NE(holder, nullptr);
  HoldsUnregistered h;
  BindingResult h_out = ToBinding(&h, holder);
  EXPECT_EQ(h_out.ErrorMessage(),
            "Couldn't convert native value because it's an unregistered structure.");
  EXPECT_EQ(h_out.value.Size(), 1u);  // only the "error" member
  BindingProperty h_in;
  h_in.Field("inner").Field("x").SetSigned(1);
  BindingResult h_result;
  FromBinding(h_result, h_in, "holder", holder, &h);
  EXPECT_EQ(h_result.ErrorMessage(),
            "Couldn't assign value to 'inner' because the input is an unregistered structure or "
            "not a structure at all.");
}

// Values outside any record, as handler arguments and answers are converted.
TEST_F(ConvertTest, LoneNativeValues) {
  BindingProperty list;
  list.At(0).SetString("ERROR");
  list.At(1).SetSigned(1);
  std::vector<State> states;
  BindingResult result;
  AssignNativeValue(result, list, "states", registry_, states);
  ASSERT_TRUE(result.IsOk()) << result.ErrorMessage();
  EXPECT_EQ(states, (std::vector<State>{State::Error, State::Succeeded}));

  std::map<std::string, uint16_t> counts;
  BindingProperty members;
  members.Field("a").SetString("7");
  members.Field("b").SetSigned(70000);
  AssignNativeValue(result, members, "counts", registry_, counts);
  EXPECT_EQ(result.ErrorMessage(), "Value 70000 for 'counts' of type uint16 is out of range");

  Session session;
  BindingResult session_result;
  AssignNativeValue(session_result, SessionInput(), "session", registry_, session);
  ASSERT_TRUE(session_result.IsOk()) << session_result.ErrorMessage();
  EXPECT_EQ(session.accountId, 32u);

  std::vector<Inner> inners = {{1, "one"}, {2, "two"}};
  BindingProperty out;
  BindingResult out_result;
  NativeValueToBinding(out_result, inners, registry_, out);
  ASSERT_TRUE(out_result.IsOk()) << out_result.ErrorMessage();
  ASSERT_EQ(out.Size(), 2u);
  EXPECT_EQ(out.At(1).Find("label").GetString(), "two");

  // A record type nobody registered has no rules to convert by.
  Unregistered unregistered;
  BindingResult none;
  NativeValueToBinding(none, unregistered, registry_, out);
  EXPECT_EQ(none.ErrorMessage(),
            "Couldn't convert native value because it's an unregistered structure.");
}

TEST_F(ConvertTest, FailedResultConvertsNothing) {
  Session session;
  session.profileId = 3;
  BindingResult result = BindingResult::Error("earlier");
  FromBinding(result, SessionInput(), "session", session_, &session);
  EXPECT_EQ(result.ErrorMessage(), "earlier");
  EXPECT_EQ(session.profileId, 3u);
}

}  // namespace
}  // namespace Varn

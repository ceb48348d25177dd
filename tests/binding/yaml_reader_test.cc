#include "binding/yaml_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "tests/binding/temp_folder.h"
#include "tests/binding/yaml_test_values.h"

namespace Varn {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace yaml_test;

struct ValueCase {
  std::string text;
  BindingProperty expected;
};

// The value that member "a" of "a: <scalar>" reads as.
TEST(YamlReaderTest, TypesScalars) {
  const std::vector<ValueCase> cases = {
      {"1", Unsigned(1)},
      {"\"1\"", Str("1")},
      {"'1'", Str("1")},
      {"-1", Signed(-1)},
      {"-7", Signed(-7)},
      {"+5", Unsigned(5)},
      {"017", Unsigned(17)},
      {"-0", Unsigned(0)},
      {"1.0", Unsigned(1)},
      {"1.", Unsigned(1)},
      {"1.25", Float(1.25)},
      {".5", Float(0.5)},
      {"-2.5", Float(-2.5)},
      {"1e3", Unsigned(1000)},
      {"-1e3", Signed(-1000)},
      {"0x1F", Unsigned(31)},
      {"0X1f", Unsigned(31)},
      {"-0x10", Signed(-16)},
      {"0x1p3", Unsigned(8)},
      {"0x", Str("0x")},
      {"12abc", Str("12abc")},
      {"1_000", Str("1_000")},
      {"inf", Str("inf")},
      {"-Infinity", Str("-Infinity")},
      {".inf", Str(".inf")},
      // Integer texts that fit 64 bits are read exactly, not through a double.
      {"9007199254740993", Unsigned(9007199254740993ull)},
      {"18446744073709551615", Unsigned(18446744073709551615ull)},
      {"9223372036854775807", Unsigned(9223372036854775807ull)},
      {"-9223372036854775808", Signed(INT64_MIN)},
      {"0xFFFFFFFFFFFFFFFF", Unsigned(UINT64_MAX)},
      // Beyond 64 bits the number rule applies; what no integer holds stays a float.
      {"1e19", Unsigned(10000000000000000000ull)},
      {"18446744073709551616", Float(18446744073709551616.0)},
      {"-9223372036854775809", Signed(INT64_MIN)},
      {"-9223372036854777857", Float(-9223372036854777856.0)},
      {"-1e19", Float(-1e19)},
      {"yes", Bool(true)},
      {"Y", Bool(true)},
      {"ON", Bool(true)},
      {"True", Bool(true)},
      {"no", Bool(false)},
      {"n", Bool(false)},
      {"Off", Bool(false)},
      {"FALSE", Bool(false)},
      {"tRUE", Str("tRUE")},
      {"\"yes\"", Str("yes")},
      {"~", Empty()},
      {"", Empty()},
      {"null", Empty()},
      {"NULL", Empty()},
      {"nULL", Str("nULL")},
      {"'~'", Str("~")},
      {"\"\"", Str("")},
      {"hello world", Str("hello world")},
      {"|\n  12\n", Str("12\n")},
      {">-\n  12\n", Unsigned(12)},
      {"!!str 1", Str("1")},
      {"!!str", Str("")},
      {"!!int 42", Unsigned(42)},
      {"!!int -42", Signed(-42)},
      {"!!int 0x10", Unsigned(16)},
      {"!!int 010", Unsigned(8)},
      {"!!int \"7\"", Unsigned(7)},
      {"!!int 18446744073709551615", Unsigned(UINT64_MAX)},
      {"!!float 1", Float(1.0)},
      {"!!float -2.5e2", Float(-250.0)},
      {"!!bool yes", Bool(true)},
      {"!!bool off", Bool(false)},
      {"!!bool maybe", Empty()},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE("a: " + c.text);
    BindingResult result = ParseYaml("a: " + c.text);
    ASSERT_TRUE(result.IsOk()) << result.ErrorMessage();
    EXPECT_EQ(result.value.Size(), 1u);
    EXPECT_EQ(Show(result.value.Find("a")), Show(c.expected));
    EXPECT_TRUE(result.value.Find("a") == c.expected);
  }
}

TEST(YamlReaderTest, PlainNanIsAFloat) {
  for (const char* text : {"nan", "NaN", "-nan"}) {
    SCOPED_TRACE(text);
    BindingResult result = ParseYaml(text);
    ASSERT_TRUE(result.IsOk());
    ASSERT_EQ(result.value.GetType(), BindingPropertyType::Float);
    EXPECT_TRUE(std::isnan(result.value.GetFloat()));
  }
}

// Whole documents: structure, repeated keys, anchors and aliases, document boundaries.
TEST(YamlReaderTest, BuildsTrees) {
  const std::vector<ValueCase> cases = {
      {"", Empty()},
      {"# only a comment\n", Empty()},
      {"---\n...\n", Empty()},
      {"~", Empty()},
      {"hello", Str("hello")},
      {"\xef\xbb\xbf"
       "a: 1",
       Map({{"a", Unsigned(1)}})},
      {"42", Unsigned(42)},
      {"- a\n- 2\n-\n", Seq({Str("a"), Unsigned(2), Empty()})},
      {"[1, [2, 3]]", Seq({Unsigned(1), Seq({Unsigned(2), Unsigned(3)})})},
      {"[]", Seq({})},
      {"a: {}\nb: []\n", Map({{"a", Map({})}, {"b", Seq({})}})},
      {"b: 1\na: 2\nB: 3\n", Map({{"a", Unsigned(2)}, {"b", Unsigned(1)}, {"B", Unsigned(3)}})},
      {"1: one\nnull: x\ntrue: z\n",
       Map({{"1", Str("one")}, {"null", Str("x")}, {"true", Str("z")}})},
      {"'': 1\nb: 2\n", Map({{"", Unsigned(1)}, {"b", Unsigned(2)}})},
      {"a:\n  b:\n    - {c: d}\n", Map({{"a", Map({{"b", Seq({Map({{"c", Str("d")}})})}})}})},
      // An empty first document may be followed by one with content.
      {"---\n---\na: 1\n", Map({{"a", Unsigned(1)}})},
      {"--- ~\n--- 5\n", Unsigned(5)},
      // Repeated keys: scalars overwrite, mappings merge, sequences append.
      {"a: 1\na: 2\n", Map({{"a", Unsigned(2)}})},
      {"a: {x: 1, y: 1}\na: {y: 2, z: 2}\n",
       Map({{"a", Map({{"x", Unsigned(1)}, {"y", Unsigned(2)}, {"z", Unsigned(2)}})}})},
      {"a: [1]\na: [2, 3]\n", Map({{"a", Seq({Unsigned(1), Unsigned(2), Unsigned(3)})}})},
      {"a: {x: 1}\na: 5\nb: 6\n", Map({{"a", Unsigned(5)}, {"b", Unsigned(6)}})},
      {"a: {x: 1}\na: [2]\n", Map({{"a", Seq({Unsigned(2)})}})},
      {"a: 5\na: {x: 1}\n", Map({{"a", Map({{"x", Unsigned(1)}})}})},
      {"a: {x: 1}\na:\n", Map({{"a", Empty()}})},
      // Anchors and aliases copy the anchored node.
      {"a: &x {b: 1}\nc: *x\n",
       Map({{"a", Map({{"b", Unsigned(1)}})}, {"c", Map({{"b", Unsigned(1)}})}})},
      {"a: &x [1, s]\nc: [*x, *x]\n",
       Map({{"a", Seq({Unsigned(1), Str("s")})},
            {"c", Seq({Seq({Unsigned(1), Str("s")}), Seq({Unsigned(1), Str("s")})})}})},
      {"a: &x 5\nb: *x\n", Map({{"a", Unsigned(5)}, {"b", Unsigned(5)}})},
      {"- &x {a: 1}\n- *x\n", Seq({Map({{"a", Unsigned(1)}}), Map({{"a", Unsigned(1)}})})},
      {"&k a: 1\nb: *k\n", Map({{"a", Unsigned(1)}, {"b", Str("a")}})},
      {"&k 12: 1\nb: *k\n", Map({{"12", Unsigned(1)}, {"b", Str("12")}})},
      // An alias in key position stands for a text key.
      {"a: &k name\n*k : 2\n", Map({{"a", Str("name")}, {"name", Unsigned(2)}})},
      {"&k a: 1\n*k : 2\n", Map({{"a", Unsigned(2)}})},
      // A repeated key whose value is an alias of a node inside its own earlier value, or of
      // that earlier value itself.
      {"a: {b: &x {c: 1}}\na: *x\n", Map({{"a", Map({{"c", Unsigned(1)}})}})},
      {"a: &x {b: 1}\na: {c: *x}\n",
       Map({{"a", Map({{"b", Unsigned(1)}, {"c", Map({{"b", Unsigned(1)}, {"c", Empty()}})}})}})},
      {"a: &x {b: 1}\na: *x\n", Map({{"a", Map({{"b", Unsigned(1)}})}})},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.text);
    BindingResult result = ParseYaml(c.text);
    ASSERT_TRUE(result.IsOk()) << result.ErrorMessage();
    EXPECT_EQ(Show(result.value), Show(c.expected));
    EXPECT_TRUE(result.value == c.expected);
  }
}

struct ErrorCase {
  std::string text;
  std::string message;
};

TEST(YamlReaderTest, ReportsErrors) {
  const std::vector<ErrorCase> cases = {
      {"a: 1\n---\nb: 2\n", "Multi-document YAML is not supported."},
      {"--- 1\n--- 2\n", "Multi-document YAML is not supported."},
      {"!!int 1: a\n",
       "Invalid mapping key. Only string scalar keys are allowed. At line: 1 col: 1"},
      {"a: 1\n!!bool b: 2\n",
       "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
      {"a: &v [1]\n*v : 2\n",
       "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
      {"{[a]: 1}", "Unexpected start of sequence. At line: 1 col: 2"},
      {"{{a: 1}: 2}", "Unexpected start of mapping. At line: 1 col: 2"},
      {"a: 1\n? [b]\n: 2\n", "Unexpected start of sequence. At line: 2 col: 3"},
      {"a: &x 1\nb: &x 2\n", "Duplicate occurrence of anchor \"x\". At line: 2 col: 4"},
      {"&x a: 1\nb: &x 2\n", "Duplicate occurrence of anchor \"x\". At line: 2 col: 4"},
      {"a: *x\n", "Undefined alias encountered: \"x\". At line: 1 col: 4"},
      {"a: &x\n  b: *x\n", "Cannot deserialize cyclic aliases. Alias \"x\". At line: 2 col: 6"},
      {"&x [1, [*x]]", "Cannot deserialize cyclic aliases. Alias \"x\". At line: 1 col: 9"},
      {"a: !!int 99999999999999999999",
       "Value 99999999999999999999 for 'yaml' of type uint64_t is out of range"},
      {"a: !!int -99999999999999999999",
       "Value -99999999999999999999 for 'yaml' of type int64_t is out of range"},
      {"a: !!int 12abc", "Value 12abc for 'yaml' of type uint64_t is in an incorrect format"},
      {"a: !!int \"-\"", "Value - for 'yaml' of type int64_t is in an incorrect format"},
      {"a: !!float x", "Value x for 'yaml' of type double is in an incorrect format"},
      {"a: !!float 1e999", "Value 1e999 for 'yaml' of type double is out of range"},
      {"a: !!null ~", "Unsupported YAML tag 'tag:yaml.org,2002:null'."},
      {"a: !custom x", "Unsupported YAML tag '!custom'."},
      {"a: !!seq [1]\nb: !!map {}\nc: !x x", "Unsupported YAML tag '!x'."},
      {"a: [1", "YAML parser error: did not find expected ',' or ']'. At line: 1 col: 0"},
      {"a: b: c",
       "YAML parser error: mapping values are not allowed in this context. At line: 0 "
       "col: 4"},
      {"a: \"\\q\"", "YAML parser error: found unknown escape character. At line: 0 col: 4"},
      // libyaml's decoder reports only a byte offset; the position is worked out from it.
      {"a: \xff", "YAML parser error: invalid leading UTF-8 octet. At line: 0 col: 3"},
      {"a: 1\r\nb: \"x\xed\xa0\x80\"\n",
       "YAML parser error: invalid Unicode character. At line: 1 col: 5"},
      {"k: \xc3\xa9\xe2\x82\xac\nv: \xc3",
       "YAML parser error: incomplete UTF-8 octet sequence. At line: 1 col: 3"},
      {"\xc3\xa9\xc3\xa9: [\xf4\x90\x80\x80]",
       "YAML parser error: invalid Unicode character. At line: 0 col: 5"},
      {"a:\r  - \xc0\xaf",
       "YAML parser error: invalid length of a UTF-8 sequence. At line: 1 col: 4"},
      {"a: \"x\x01\"", "YAML parser error: control characters are not allowed. At line: 0 col: 5"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.text);
    BindingResult result = ParseYaml(c.text);
    EXPECT_FALSE(result.IsOk());
    EXPECT_EQ(result.ErrorMessage(), c.message);
    // A failed result carries nothing but the message.
    EXPECT_EQ(result.value.Size(), 1u);
  }
}

TEST(YamlReaderTest, LimitsNesting) {
  const std::string kTooDeep = "Maximum nesting depth of 1000 exceeded. At line: 1 col: 1001";
  struct Case {
    std::string text;
    std::string message;  // empty: must parse
  };
  const std::vector<Case> cases = {
      {std::string(1000, '[') + std::string(1000, ']'), ""},
      {std::string(1001, '[') + std::string(1001, ']'), kTooDeep},
      {std::string(1000000, '['), kTooDeep},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 3) + " x" + std::to_string(c.text.size()));
    BindingResult result = ParseYaml(c.text);
    EXPECT_EQ(result.ErrorMessage(), c.message);
  }

  // A block mapping one level per line, 1001 levels deep.
  std::string block;
  for (int level = 0; level < 1001; ++level) block += std::string(level, ' ') + "k:\n";
  block += std::string(1001, ' ') + "v\n";
  EXPECT_EQ(ParseYaml(block).ErrorMessage(),
            "Maximum nesting depth of 1000 exceeded. At line: 1001 col: 1001");
}

// An alias must not build, by copying, a tree deeper than the reader would accept as text.
TEST(YamlReaderTest, LimitsNestingThroughAliases) {
  std::string deep = "a: &d " + std::string(600, '[') + std::string(600, ']') + "\n";
  std::string ok = deep + "b: " + std::string(399, '[') + "*d" + std::string(399, ']') + "\n";
  BindingResult fits = ParseYaml(ok);
  EXPECT_TRUE(fits.IsOk()) << fits.ErrorMessage();
  std::string over = deep + "b: " + std::string(400, '[') + "*d" + std::string(400, ']') + "\n";
  EXPECT_EQ(ParseYaml(over).ErrorMessage(),
            "Maximum nesting depth of 1000 exceeded. At line: 2 col: 404");
}

// Nested aliases multiply: nine levels of ten aliases each would copy 10^9 nodes.
TEST(YamlReaderTest, LimitsNodesCopiedByAliases) {
  std::string text = "l0: &l0 [x, x, x, x, x, x, x, x, x, x]\n";
  for (int level = 1; level < 9; ++level) {
    std::string prev = "*l" + std::to_string(level - 1);
    text += "l" + std::to_string(level) + ": &l" + std::to_string(level) + " [";
    for (int i = 0; i < 10; ++i) text += (i ? ", " : "") + prev;
    text += "]\n";
  }
  BindingResult result = ParseYaml(text);
  EXPECT_FALSE(result.IsOk());
  EXPECT_THAT(result.ErrorMessage(), StartsWith("Aliases copy more than 1000000 nodes. Alias \"l"));
}

// This process's resident memory in bytes, as /proc reports it ("VmRSS:", or "VmHWM:" for the
// peak since the last ResetPeakMemory); 0 when it cannot be read.
size_t ResidentBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with(field)) return std::stoull(line.substr(field.size())) * 1024;
  }
  return 0;
}

bool ResetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return clear.good();
}

// Anchors deep down in a small text must not each keep a copy of the way down to them: the
// memory a parse takes stays within a small multiple of its text, plus what aliases copy.
TEST(YamlReaderTest, ManyAnchorsDeepDownStaySmall) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's quarantine keeps freed memory resident";
#endif
  constexpr int kDepth = 990;
  constexpr int kAnchors = 10000;
  std::string text(kDepth, '[');
  for (int i = 0; i < kAnchors; ++i) text += "&a" + std::to_string(i) + " 0,";
  text += "*a0" + std::string(kDepth, ']');
  ASSERT_LT(text.size(), 100000u);
  if (!ResetPeakMemory() || ResidentBytes("VmRSS:") == 0) GTEST_SKIP() << "no peak to read";
  const size_t before = ResidentBytes("VmRSS:");
  BindingResult result = ParseYaml(text);
  const size_t peak = ResidentBytes("VmHWM:");
  ASSERT_TRUE(result.IsOk()) << result.ErrorMessage();
  const BindingProperty* inner = &result.value;
  for (int level = 1; level < kDepth; ++level) inner = &inner->At(0);
  EXPECT_EQ(inner->Size(), static_cast<size_t>(kAnchors + 1));
  EXPECT_LT(peak - std::min(peak, before), 64 * text.size()) << "peak grew by " << peak - before;
}

TEST(YamlReaderTest, LoadsFiles) {
  yaml_test::TempFolder folder;
  std::string good = folder.File("good.yaml");
  TempFolder::Write(good, "a: 1\r\nb:\r\n    - \"x\"\r\n");
  std::string empty = folder.File("empty.yaml");
  TempFolder::Write(empty, "");
  std::string broken = folder.File("broken.yaml");
  TempFolder::Write(broken, "a: [1");

  BindingResult loaded = LoadYamlFile(good);
  ASSERT_TRUE(loaded.IsOk()) << loaded.ErrorMessage();
  EXPECT_TRUE(loaded.value == Map({{"a", Unsigned(1)}, {"b", Seq({Str("x")})}}));

  BindingResult nothing = LoadYamlFile(empty);
  EXPECT_TRUE(nothing.IsOk());
  EXPECT_TRUE(nothing.value.IsEmpty());

  EXPECT_THAT(LoadYamlFile(broken).ErrorMessage(), StartsWith("YAML parser error: "));

  std::string missing = folder.File("missing.yaml");
  EXPECT_EQ(LoadYamlFile(missing).ErrorMessage(), "Couldn't open file: " + missing);
  EXPECT_THAT(LoadYamlFile(folder.path()).ErrorMessage(),
              StartsWith("Couldn't read file: " + folder.path()));
}

}  // namespace
}  // namespace Varn

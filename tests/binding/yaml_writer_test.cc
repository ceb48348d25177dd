#include "binding/yaml_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "binding/file_system.h"
#include "binding/yaml_reader.h"
#include "tests/binding/temp_folder.h"
#include "tests/binding/yaml_test_values.h"

namespace Varn {
namespace {

using ::testing::StartsWith;
using namespace yaml_test;

constexpr uint32_t kColorHash = 0xC0104u;

class ColorNames : public BindingEnumNames {
 public:
  const char* EnumValueName(BindingEnumValue value) const override {
    if (value.typeHash != kColorHash) return nullptr;
    return value.value == 1 ? "Green" : nullptr;
  }
};

BindingProperty Enum(int32_t value, uint32_t hash = kColorHash) {
  BindingProperty v;
  v.SetEnum({value, hash});
  return v;
}

BindingProperty Blob(std::vector<uint8_t> bytes) {
  BindingProperty v;
  v.SetBlob(std::move(bytes));
  return v;
}

struct WriteCase {
  std::string name;
  BindingProperty value;
  std::string expected;
  std::string line_break = "\n";
  bool explicit_start = false;
  bool with_names = false;
};

TEST(YamlWriterTest, WritesExactBytes) {
  // "%f" prints every digit of the largest doubles.
  char huge[400];
  std::snprintf(huge, sizeof huge, "%f", 1e300);
  const std::string kHuge = huge;
  const std::vector<WriteCase> cases = {
      {"empty", Empty(), ""},
      {"keys sorted, CR LF, floats %f, strings quoted",
       Map({{"b", Str("x")}, {"a", Seq({Bool(true), Float(2.5)})}}),
       "a:\r\n- true\r\n- 2.500000\r\nb: \"x\"\r\n", "\r\n"},
      {"CR", Map({{"a", Unsigned(1)}, {"b", Signed(-2)}}), "a: 1\rb: -2\r", "\r"},
      {"other break texts keep LF", Map({{"a", Unsigned(1)}}), "a: 1\n", "--"},
      {"explicit start", Map({{"a", Unsigned(1)}}), "---\na: 1\n", "\n", true},
      {"nested mappings indent by 4", Map({{"a", Map({{"b", Map({{"c", Unsigned(1)}})}})}}),
       "a:\n    b:\n        c: 1\n"},
      {"sequence of mappings", Seq({Map({{"a", Unsigned(1)}, {"b", Unsigned(2)}}), Seq({})}),
       "-   a: 1\n    b: 2\n- []\n"},
      {"empty containers and members",
       Map({{"a", Seq({})}, {"b", Map({})}, {"c", Empty()}, {"d", Str("")}}),
       "a: []\nb: {}\nc: null\nd: \"\"\n"},
      {"integers", Seq({Signed(INT64_MIN), Unsigned(UINT64_MAX), Signed(0)}),
       "- -9223372036854775808\n- 18446744073709551615\n- 0\n"},
      {"floats in fixed notation",
       Seq({Float(2.0), Float(-0.5), Float(1e-7), Float(1e20), Float(-0.0)}),
       "- 2.000000\n- -0.500000\n- 0.0000001\n- 100000000000000000000.000000\n- -0.000000\n"},
      {"floats six decimals would change take the shortest fixed text that reads back",
       Seq({Float(0.123456789), Float(0.1 + 0.2), Float(-1e-7), Float(1.0000001),
            Float(123456.7890123), Float(5e-324)}),
       "- 0.123456789\n- 0.30000000000000004\n- -0.0000001\n- 1.0000001\n- 123456.7890123\n- 0." +
           std::string(323, '0') + "5\n"},
      {"the largest floats whole", Seq({Float(1e300)}), "- " + kHuge + "\n"},
      {"strings that look like other kinds stay strings",
       Map({{"a", Str("1")}, {"b", Str("yes")}, {"c", Str("~")}, {"d", Str("line\nnext")}}),
       "a: \"1\"\nb: \"yes\"\nc: \"~\"\nd: \"line\\nnext\"\n"},
      {"keys are plain where possible",
       Map({{"", Unsigned(1)}, {"1", Unsigned(2)}, {"a b", Unsigned(3)}, {"x: y", Unsigned(4)}}),
       "'': 1\n1: 2\na b: 3\n'x: y': 4\n"},
      {"blob as base64", Map({{"a", Blob({'h', 'i', '!'})}, {"b", Blob({})}}),
       "a: \"aGkh\"\nb: \"\"\n"},
      {"enum without names", Seq({Enum(1), Enum(-3)}), "- 1\n- -3\n"},
      {"enum with names", Seq({Enum(1), Enum(2), Enum(1, 7)}), "- \"Green\"\n- 2\n- 1\n", "\n",
       false, true},
      {"bool and root scalar", Bool(false), "false\n"},
  };
  ColorNames names;
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WriteYaml(c.value, c.with_names ? &names : nullptr, c.line_break, c.explicit_start),
              c.expected);
  }
}

// Every double that "%f" keeps is written as "%f" writes it; every other one in the shortest
// fixed-notation text that reads back as that double.
TEST(YamlWriterTest, FloatsReadBackAsTheSameDouble) {
  std::mt19937_64 random(12);
  std::vector<double> values;
  for (int i = 0; i < 4000; ++i) {
    // Every magnitude, and texts of up to six decimals, which "%f" keeps.
    values.push_back(std::bit_cast<double>(random()));
    values.push_back(static_cast<double>(static_cast<int64_t>(random() % 2000000000)) / 1e6);
    values.push_back(std::ldexp(static_cast<double>(random() % 1000000), -(int)(random() % 60)));
    // Around 2^33, where doubles become sparser than six decimals, and around powers of ten.
    const double around[] = {8589934592.0, 10.0, 1e-6, 1.0, 1e9};
    const double base = around[random() % std::size(around)];
    values.push_back(std::nextafter(base, 0.0) -
                     static_cast<double>(random() % 64) * std::ldexp(1.0, std::ilogb(base) - 52));
    values.push_back(base +
                     static_cast<double>(random() % 64) * std::ldexp(1.0, std::ilogb(base) - 52));
    values.push_back(base + static_cast<double>(random() % 2000000) * 1e-7 - 0.1);
  }
  for (double value : values) {
    if (!std::isfinite(value)) continue;
    char percent_f[400];
    std::snprintf(percent_f, sizeof percent_f, "%f", value);
    const std::string text = WriteYaml(Float(value));
    ASSERT_FALSE(text.empty());
    const std::string written = text.substr(0, text.size() - 1);  // the line break
    SCOPED_TRACE(written);
    if (std::strtod(percent_f, nullptr) == value) {
      EXPECT_EQ(written, percent_f);
      continue;
    }
    EXPECT_EQ(written.find_first_of("eE"), std::string::npos);
    EXPECT_EQ(std::strtod(written.c_str(), nullptr), value);
    // No text with fewer decimals reads back.
    const size_t decimals = written.size() - written.find('.') - 1;
    char shorter[400];
    std::snprintf(shorter, sizeof shorter, "%.*f", static_cast<int>(decimals) - 1, value);
    EXPECT_NE(std::strtod(shorter, nullptr), value);
    const BindingResult back = ParseYaml(text);
    ASSERT_TRUE(back.IsOk()) << back.ErrorMessage();
    EXPECT_EQ(back.value.GetFloat(0.5), value);
  }
}

// A string the readers would refuse (ill-formed UTF-8, a surrogate, a code point past U+10FFFF)
// writes no text at all, rather than an escape that no reader accepts or a cut document.
TEST(YamlWriterTest, TextThatIsNotUtf8GivesNoText) {
  const std::string bad[] = {
      "\xff\xfe",         "\xc3",     "\xed\xa0\x80", "\xed\xbf\xbf", "\xf4\x90\x80\x80",
      "\xf7\xbf\xbf\xbf", "\xc0\x80", "ok\xe2\x82"};
  for (const std::string& text : bad) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_EQ(WriteYaml(Map({{"a", Str("ok")}, {"b", Str(text)}})), "");
    EXPECT_EQ(WriteYaml(Map({{text, Str("ok")}})), "");
    EXPECT_EQ(WriteYaml(Seq({Map({{"k", Seq({Str(text)})}})})), "");
  }
  // The largest code point and the ones around the surrogates are fine.
  const std::string good = "\xf4\x8f\xbf\xbf \xed\x9f\xbf \xee\x80\x80";
  const BindingResult back = ParseYaml(WriteYaml(Map({{good, Str(good)}})));
  ASSERT_TRUE(back.IsOk()) << back.ErrorMessage();
  EXPECT_EQ(back.value.Find(good).GetString(), good);
}

// What each kind reads back as after a write.
TEST(YamlWriterTest, RoundTripsEveryKind) {
  const std::vector<std::pair<BindingProperty, BindingProperty>> cases = {
      {Bool(true), Bool(true)},
      {Signed(-5), Signed(-5)},
      {Signed(5), Unsigned(5)},
      {Signed(INT64_MIN), Signed(INT64_MIN)},
      {Unsigned(UINT64_MAX), Unsigned(UINT64_MAX)},
      {Unsigned(9007199254740993ull), Unsigned(9007199254740993ull)},
      {Float(2.0), Unsigned(2)},
      {Float(1.25), Float(1.25)},
      {Float(-1e300), Float(-1e300)},
      {Float(1e300), Float(1e300)},
      {Str("text"), Str("text")},
      {Str("123"), Str("123")},
      {Str("null"), Str("null")},
      {Str(""), Str("")},
      {Str("quote \" back \\ tab \t é ✓"), Str("quote \" back \\ tab \t é ✓")},
      {Str(std::string("nul\0byte", 8)), Str(std::string("nul\0byte", 8))},
      {Blob({0, 1, 2, 250}), Str("AAEC+g==")},
      {Enum(1), Str("Green")},
      {Enum(4), Unsigned(4)},
      {Seq({Empty(), Unsigned(1)}), Seq({Empty(), Unsigned(1)})},
      {Map({{"", Str("empty key")}, {"k: v", Seq({})}, {"m", Map({})}, {"é", Empty()}}),
       Map({{"", Str("empty key")}, {"k: v", Seq({})}, {"m", Map({})}, {"é", Empty()}})},
      {Map({{"deep", Seq({Map({{"a", Seq({Seq({Str("x")})})}})})}}),
       Map({{"deep", Seq({Map({{"a", Seq({Seq({Str("x")})})}})})}})},
  };
  ColorNames names;
  for (const auto& [value, expected] : cases) {
    std::string text = WriteYaml(Map({{"v", value}}), &names, "\r\n");
    SCOPED_TRACE(text);
    BindingResult back = ParseYaml(text);
    ASSERT_TRUE(back.IsOk()) << back.ErrorMessage();
    EXPECT_EQ(Show(back.value.Find("v")), Show(expected));
    EXPECT_TRUE(back.value.Find("v") == expected);
  }
}

class SaveYamlFileTest : public ::testing::Test {
 protected:
  void TearDown() override { InjectFileWriteFault(FileWriteStep::kNone); }
  TempFolder folder_;
};

TEST_F(SaveYamlFileTest, WritesTheTextAndReplacesTheOldFile) {
  std::string path = folder_.File("prefs.yaml");
  TempFolder::Write(path, "old: contents that are longer than the new ones\n");
  BindingProperty value = Map({{"cat", Map({{"schemaVersion", Signed(1)}})}});
  ASSERT_TRUE(SaveYamlFile(path, value, nullptr, "\r\n").IsOk());
  EXPECT_EQ(TempFolder::Read(path), "cat:\r\n    schemaVersion: 1\r\n");
  EXPECT_EQ(folder_.EntryCount(), 1u);
}

TEST_F(SaveYamlFileTest, EmptyValueWritesNothing) {
  std::string path = folder_.File("prefs.yaml");
  FileStatus status = SaveYamlFile(path, BindingProperty());
  EXPECT_FALSE(status.IsOk());
  EXPECT_EQ(status.Message(), "Failed to serialize BindingProperty.");
  EXPECT_FALSE(IsExistingFile(path));
  EXPECT_EQ(folder_.EntryCount(), 0u);
}

TEST_F(SaveYamlFileTest, MissingFolderCannotBeOpened) {
  std::string path = folder_.File("no/such/prefs.yaml");
  FileStatus status = SaveYamlFile(path, Map({{"a", Unsigned(1)}}));
  EXPECT_EQ(status.Message(), "Couldn't open file: " + path);
}

// A save that fails at any step leaves the old file as it was and no temporary file behind.
TEST_F(SaveYamlFileTest, FailureHalfWayKeepsTheOldFile) {
  struct Case {
    FileWriteStep step;
    std::string message_start;
  };
  std::string path = folder_.File("prefs.yaml");
  const std::vector<Case> cases = {
      {FileWriteStep::kOpen, "Couldn't open file: " + path},
      {FileWriteStep::kWrite, "Couldn't write file: " + path + " (No space left on device)"},
      {FileWriteStep::kSync, "Couldn't sync file: " + path},
      {FileWriteStep::kClose, "Couldn't close file: " + path},
      {FileWriteStep::kRename, "Couldn't replace file: " + path},
  };
  const std::string kOld = "old: 1\n";
  BindingProperty value = Map({{"new", Str(std::string(100000, 'x'))}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message_start);
    TempFolder::Write(path, kOld);
    InjectFileWriteFault(c.step);
    FileStatus status = SaveYamlFile(path, value);
    InjectFileWriteFault(FileWriteStep::kNone);
    EXPECT_FALSE(status.IsOk());
    EXPECT_THAT(status.Message(), StartsWith(c.message_start));
    EXPECT_EQ(TempFolder::Read(path), kOld);
    EXPECT_EQ(folder_.EntryCount(), 1u);
  }
}

// When only the folder sync fails, the new file is in place and readers see it: the save
// succeeded, and the doubt about its durability comes back as a warning for the log.
TEST_F(SaveYamlFileTest, FolderSyncFailureIsASuccessWithAWarning) {
  std::string path = folder_.File("prefs.yaml");
  TempFolder::Write(path, "old: 1\n");
  InjectFileWriteFault(FileWriteStep::kFolderSync);
  FileStatus status = SaveYamlFile(path, Map({{"a", Unsigned(1)}}));
  EXPECT_TRUE(status.IsOk());
  EXPECT_EQ(status.Message(), "");
  EXPECT_EQ(status.Warning(),
            "Couldn't sync the folder of file: " + path + " (Input/output error)");
  EXPECT_EQ(TempFolder::Read(path), "a: 1\n");
  EXPECT_EQ(folder_.EntryCount(), 1u);

  InjectFileWriteFault(FileWriteStep::kNone);
  FileStatus clean = SaveYamlFile(path, Map({{"a", Unsigned(2)}}));
  EXPECT_TRUE(clean.IsOk());
  EXPECT_EQ(clean.Warning(), "");
}

// A tree holding a string the file could not keep is refused before the old file is touched.
TEST_F(SaveYamlFileTest, TextThatIsNotUtf8KeepsTheOldFile) {
  std::string path = folder_.File("prefs.yaml");
  TempFolder::Write(path, "old: 1\n");
  FileStatus status = SaveYamlFile(path, Map({{"cat", Map({{"data", Str("\xed\xb0\x80")}})}}));
  EXPECT_FALSE(status.IsOk());
  EXPECT_EQ(status.Message(), "Failed to serialize BindingProperty.");
  EXPECT_EQ(TempFolder::Read(path), "old: 1\n");
  EXPECT_EQ(folder_.EntryCount(), 1u);
}

}  // namespace
}  // namespace Varn

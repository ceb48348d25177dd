#include "binding/yaml_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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
       "- 2.000000\n- -0.500000\n- 0.000000\n- 100000000000000000000.000000\n- -0.000000\n"},
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

// libyaml refuses to write text that is not UTF-8; the whole output is dropped rather than cut.
TEST(YamlWriterTest, InvalidUtf8GivesNoText) {
  EXPECT_EQ(WriteYaml(Map({{"a", Str("ok")}, {"b", Str("\xff\xfe")}})), "");
  EXPECT_EQ(WriteYaml(Map({{"\xc3", Str("ok")}})), "");
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

// When only the folder sync fails, the new file is complete but the failure is still reported.
TEST_F(SaveYamlFileTest, FolderSyncFailureIsReported) {
  std::string path = folder_.File("prefs.yaml");
  TempFolder::Write(path, "old: 1\n");
  InjectFileWriteFault(FileWriteStep::kFolderSync);
  FileStatus status = SaveYamlFile(path, Map({{"a", Unsigned(1)}}));
  EXPECT_THAT(status.Message(), StartsWith("Couldn't sync the folder of file: " + path));
  EXPECT_EQ(TempFolder::Read(path), "a: 1\n");
  EXPECT_EQ(folder_.EntryCount(), 1u);
}

}  // namespace
}  // namespace Varn

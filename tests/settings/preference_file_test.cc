// The frame-free rules of a preference file: merge, schema-version rule, category reads and the
// load outcomes.
#include "settings/preference_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "binding/json_reader.h"
#include "binding/yaml_writer.h"

namespace Varn::Client::Settings {
namespace {

BindingProperty FromJson(std::string_view text) {
  BindingResult parsed = ParseJson(text);
  EXPECT_TRUE(parsed.IsOk()) << text << ": " << parsed.ErrorMessage();
  return parsed.value;
}

// Values compare as their YAML text, which reads well in a failure and does not tell a Signed
// number from an Unsigned one (JSON gives Unsigned for non-negative numbers).
std::string Text(const BindingProperty& value) { return WriteYaml(value); }

TEST(PreferenceFileTest, MergesStructuresMemberByMemberAndReplacesEverythingElseWhole) {
  struct Case {
    const char* name;
    const char* destination;
    const char* source;
    const char* expected;
  };
  const Case cases[] = {
      {"new member", R"({"b":1})", R"({"a":2})", R"({"a":2,"b":1})"},
      {"nested merge keeps siblings", R"({"a":{"x":1,"y":2}})", R"({"a":{"y":3}})",
       R"({"a":{"x":1,"y":3}})"},
      {"empty structure creates an empty member", R"({"b":1})", R"({"a":{}})",
       R"({"a":null,"b":1})"},
      {"a collection replaces whole", R"({"a":[2,3],"b":1})", R"({"a":[1]})", R"({"a":[1],"b":1})"},
      {"a scalar replaces a structure", R"({"a":{"x":1}})", R"({"a":5})", R"({"a":5})"},
      {"a structure replaces a scalar", R"({"a":5})", R"({"a":{"x":1}})", R"({"a":{"x":1}})"},
      {"a scalar destination becomes a structure", "7", R"({"a":1})", R"({"a":1})"},
      {"empty names are skipped", R"({"b":1})", R"({"":2,"c":3})", R"({"b":1,"c":3})"},
      {"null replaces", R"({"a":1})", R"({"a":null})", R"({"a":null})"},
      {"a collection source merges nothing", R"({"a":1})", "[1,2]", R"({"a":1})"},
      {"a scalar source merges nothing", R"({"a":1})", "3", R"({"a":1})"},
      {"an empty source merges nothing", R"({"a":1})", "null", R"({"a":1})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BindingProperty destination = FromJson(c.destination);
    MergeSettingsData(destination, FromJson(c.source));
    EXPECT_EQ(Text(destination), Text(FromJson(c.expected)));
  }
}

TEST(PreferenceFileTest, PatchRefusesOlderDropsOnNewerAndMergesOnEqualVersions) {
  struct Case {
    const char* name;
    const char* root;
    int32_t version;
    const char* data;
    bool applied;
    const char* expected;
  };
  const char* stored = R"({"c":{"schemaVersion":2,"data":{"a":1}},"o":{"data":1}})";
  const Case cases[] = {
      {"older", stored, 1, R"({"b":2})", false, stored},
      {"newer", stored, 3, R"({"b":2})", true,
       R"({"c":{"schemaVersion":3,"data":{"b":2}},"o":{"data":1}})"},
      {"equal", stored, 2, R"({"b":2})", true,
       R"({"c":{"schemaVersion":2,"data":{"a":1,"b":2}},"o":{"data":1}})"},
      {"new category", stored, -5, R"({"b":2})", true,
       R"({"c":{"schemaVersion":2,"data":{"a":1}},"n":{"schemaVersion":-5,"data":{"b":2}},)"
       R"("o":{"data":1}})"},
      // A stored version that is not an integer reads as 0.
      {"text version", R"({"c":{"schemaVersion":"9","data":{"a":1}}})", 0, R"({"b":2})", true,
       R"({"c":{"schemaVersion":0,"data":{"a":1,"b":2}}})"},
      {"stored unsigned above int32", R"({"c":{"schemaVersion":4294967296,"data":{}}})", 2147483647,
       "{}", false, R"({"c":{"schemaVersion":4294967296,"data":{}}})"},
      {"root not a mapping", "[1]", 1, R"({"b":2})", true,
       R"({"c":{"schemaVersion":1,"data":{"b":2}}})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BindingProperty root = FromJson(c.root);
    const std::string category = std::string(c.name) == "new category" ? "n" : "c";
    EXPECT_EQ(ApplyCategoryPatch(root, category, c.version, FromJson(c.data)), c.applied);
    EXPECT_EQ(Text(root), Text(FromJson(c.expected)));
    if (c.applied) {
      EXPECT_EQ(root.Find(category).Find("schemaVersion").GetType(), BindingPropertyType::Signed);
    }
  }
}

TEST(PreferenceFileTest, ReadsTheStoredRecordOrTheDefault) {
  const BindingProperty root = FromJson(R"({"a":{"data":1},"e":null,"s":3})");
  EXPECT_EQ(GetSettingCategory(root, "a"), FromJson(R"({"data":1})"));
  EXPECT_EQ(GetSettingCategory(root, "s"), FromJson("3"));
  for (const char* missing : {"e", "x", ""}) {
    SCOPED_TRACE(missing);
    EXPECT_EQ(GetSettingCategory(root, missing), DefaultCategoryRecord());
  }
  EXPECT_EQ(GetSettingCategory(FromJson("[1]"), "a"), DefaultCategoryRecord());
  EXPECT_EQ(DefaultCategoryRecord().Find("schemaVersion").GetType(), BindingPropertyType::Signed);
  EXPECT_TRUE(DefaultCategoryRecord().Find("data").IsEmpty());
}

TEST(PreferenceFileTest, AnnouncesOnlyStructuresWithData) {
  EXPECT_TRUE(IsAnnouncedCategory(FromJson(R"({"data":null})")));
  EXPECT_TRUE(IsAnnouncedCategory(FromJson(R"({"data":1,"schemaVersion":2})")));
  EXPECT_FALSE(IsAnnouncedCategory(FromJson(R"({"schemaVersion":2})")));
  EXPECT_FALSE(IsAnnouncedCategory(FromJson("[1]")));
  EXPECT_FALSE(IsAnnouncedCategory(FromJson(R"("data")")));
}

TEST(PreferenceFileTest, LoadTellsMissingFromBrokenFromLoaded) {
  const std::filesystem::path folder =
      std::filesystem::path(testing::TempDir()) / "zek_preference_file_test";
  std::filesystem::create_directories(folder / "folder.yaml");
  auto write = [&](const char* name, const char* text) {
    std::ofstream(folder / name, std::ios::binary) << text;
    return (folder / name).string();
  };
  EXPECT_EQ(LoadPreferenceFile((folder / "none.yaml").string()).state,
            PreferenceFileLoad::State::kMissing);
  EXPECT_EQ(LoadPreferenceFile((folder / "folder.yaml").string()).state,
            PreferenceFileLoad::State::kMissing);
  PreferenceFileLoad empty = LoadPreferenceFile(write("empty.yaml", ""));
  EXPECT_EQ(empty.state, PreferenceFileLoad::State::kLoaded);
  EXPECT_TRUE(empty.root.IsEmpty());
  PreferenceFileLoad broken = LoadPreferenceFile(write("broken.yaml", "a: [1\n"));
  EXPECT_EQ(broken.state, PreferenceFileLoad::State::kFailed);
  EXPECT_FALSE(broken.error.empty());
  PreferenceFileLoad good = LoadPreferenceFile(write("good.yaml", "a:\r\n    data: 1\r\n"));
  EXPECT_EQ(good.state, PreferenceFileLoad::State::kLoaded);
  EXPECT_EQ(good.root, FromJson(R"({"a":{"data":1}})"));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace Varn::Client::Settings

// Preference files on disk as the plugin reads and writes them through its routes: the
// schema-version rule, the exact bytes saved, and broken files that must survive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/integration/settings_fixture.h"

namespace Varn::Host::settings_test {
namespace {

constexpr uint32_t kGet = PLUGIN_METHOD_GET;
constexpr uint32_t kPatch = PLUGIN_METHOD_PATCH;
constexpr char kLocalFile[] = "Config/QEVLocalPreferences.yaml";

class SettingsFilesTest : public SettingsFixture {
 protected:
  std::string LocalFile() const { return InstallPath(kLocalFile); }
  CallOutcome PatchLocal(std::string_view category, std::string_view body) {
    return Request(kPatch, "/zek-settings/v2/local/" + std::string(category), body);
  }
  std::string GetLocal(std::string_view category) {
    return Json(Request(kGet, "/zek-settings/v2/local/" + std::string(category)).value);
  }
};

TEST_F(SettingsFilesTest, SchemaVersionDecidesBetweenRefusingDroppingAndMerging) {
  // One category per case, all stored at version 2 with members a and b.
  const std::string category =
      "    data:\r\n        a: 1\r\n        b: 2\r\n    schemaVersion: 2\r\n";
  const std::string stored = "equal:\r\n" + category + "list:\r\n" + category + "newer:\r\n" +
                             category + "older:\r\n" + category;
  WriteFile(LocalFile(), stored);
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());

  CallOutcome older = PatchLocal("older", R"({"schemaVersion":1,"data":{"c":3}})");
  EXPECT_EQ(older.error, "The schema version is older than the current one");
  EXPECT_EQ(ReadFile(LocalFile()), stored);

  struct Case {
    std::string category;
    std::string body;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"newer", R"({"schemaVersion":3,"data":{"c":3}})", R"({"data":{"c":3},"schemaVersion":3})"},
      {"equal", R"({"schemaVersion":2,"data":{"b":5,"c":3}})",
       R"({"data":{"a":1,"b":5,"c":3},"schemaVersion":2})"},
      // A collection merges nothing, yet the file is still saved and both events sent.
      {"list", R"({"schemaVersion":2,"data":[7]})", R"({"data":{"a":1,"b":2},"schemaVersion":2})"},
      {"older", R"({"schemaVersion":-1,"data":{}})", R"({"data":{"a":1,"b":2},"schemaVersion":2})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.category);
    ClearRecords();
    PatchLocal(c.category, c.body);
    EXPECT_EQ(GetLocal(c.category), c.expected);
    const size_t events = c.category == "older" ? 0 : 2;
    EXPECT_EQ(EventLines().size(), events);
  }
  EXPECT_EQ(ReadFile(LocalFile()),
            "equal:\r\n    data:\r\n        a: 1\r\n        b: 5\r\n        c: 3\r\n"
            "    schemaVersion: 2\r\n" +
                ("list:\r\n" + category) +
                "newer:\r\n    data:\r\n        c: 3\r\n    schemaVersion: 3\r\n" +
                ("older:\r\n" + category));
}

TEST_F(SettingsFilesTest, SavesTheWholeFileWithCrLfAndNoDocumentStart) {
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  ASSERT_FALSE(PatchLocal("video", R"({"schemaVersion":1,"data":{"name":"Zek","on":true,)"
                                   R"("list":[1,"two"],"nested":{"deep":{}}}})")
                   .failed);
  ASSERT_FALSE(PatchLocal("audio", R"({"schemaVersion":7,"data":{"volume":-3}})").failed);
  EXPECT_EQ(ReadFile(LocalFile()),
            "audio:\r\n"
            "    data:\r\n"
            "        volume: -3\r\n"
            "    schemaVersion: 7\r\n"
            "video:\r\n"
            "    data:\r\n"
            "        list:\r\n"
            "        - 1\r\n"
            "        - \"two\"\r\n"
            "        name: \"Zek\"\r\n"
            "        nested:\r\n"
            "            deep: null\r\n"
            "        on: true\r\n"
            "    schemaVersion: 1\r\n");
}

TEST_F(SettingsFilesTest, ARootThatIsNotAMappingReadsAsDefaultsAndIsReplacedByTheFirstWrite) {
  WriteFile(LocalFile(), "- 1\n- 2\n");
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  EXPECT_TRUE(EventLines().empty());
  EXPECT_EQ(TelemetryNames(), std::vector<std::string>{"load_qev_preferences_succeeded_local"});
  EXPECT_EQ(GetLocal("video"), R"({"data":null,"schemaVersion":0})");
  ASSERT_FALSE(PatchLocal("video", R"({"schemaVersion":1,"data":{"a":1}})").failed);
  EXPECT_EQ(ReadFile(LocalFile()),
            "video:\r\n    data:\r\n        a: 1\r\n    schemaVersion: 1\r\n");
}

TEST_F(SettingsFilesTest, ABrokenFileSurvivesStartAndReadsAndIsKeptBeforeTheFirstSave) {
  const std::string broken = "video:\n  data: [1, 2\n  schemaVersion: 1\n";
  WriteFile(LocalFile(), broken);
  WriteFile(LocalFile() + ".corrupt", "an older copy");
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  EXPECT_EQ(TelemetryNames(), std::vector<std::string>{"load_qev_preferences_failed__local"});
  EXPECT_EQ(LinesWith("Failed to load \"\" \"local\" settings file: \"" + LocalFile() +
                      "\".  Attempting to continue.")
                .size(),
            1u);
  EXPECT_TRUE(EventLines().empty());
  EXPECT_EQ(ReadFile(LocalFile()), broken);
  EXPECT_EQ(GetLocal("video"), R"({"data":null,"schemaVersion":0})");
  EXPECT_EQ(ReadFile(LocalFile()), broken);

  ASSERT_FALSE(PatchLocal("audio", R"({"schemaVersion":1,"data":{"v":1}})").failed);
  EXPECT_EQ(ReadFile(LocalFile() + ".corrupt"), broken);
  EXPECT_EQ(LinesWith("Kept the unreadable preferences file \"" + LocalFile() + "\" as \"" +
                      LocalFile() + ".corrupt\" before replacing it.")
                .size(),
            1u);
  EXPECT_EQ(ReadFile(LocalFile()),
            "audio:\r\n    data:\r\n        v: 1\r\n    schemaVersion: 1\r\n");

  // Only the first save keeps a copy: later ones would keep the plugin's own file.
  ASSERT_FALSE(PatchLocal("audio", R"({"schemaVersion":1,"data":{"v":2}})").failed);
  EXPECT_EQ(ReadFile(LocalFile() + ".corrupt"), broken);
  EXPECT_EQ(LinesWith("Kept the unreadable").size(), 1u);
}

TEST_F(SettingsFilesTest, ABrokenFileThatCannotBeKeptIsNotReplaced) {
  const std::string broken = "video: [\n";
  WriteFile(LocalFile(), broken);
  // A folder where the copy should go: the copy fails, so the save must not go ahead.
  std::filesystem::create_directories(LocalFile() + ".corrupt");
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  CallOutcome patched = PatchLocal("audio", R"({"schemaVersion":1,"data":{"v":1}})");
  EXPECT_EQ(patched.status, 500u);
  EXPECT_EQ(patched.error, "Failed to save qev preferences. local");
  EXPECT_EQ(ReadFile(LocalFile()), broken);
  EXPECT_EQ(LinesWith("Could not keep the unreadable preferences file").size(), 1u);
}

}  // namespace
}  // namespace Varn::Host::settings_test

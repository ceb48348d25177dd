// Every settings route through the C entry and the host runtime: its answers byte for byte, and
// the events its writes publish.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/integration/settings_fixture.h"

namespace Varn::Host::settings_test {
namespace {

constexpr uint32_t kGet = PLUGIN_METHOD_GET;
constexpr uint32_t kPatch = PLUGIN_METHOD_PATCH;
constexpr uint32_t kPost = PLUGIN_METHOD_POST;
constexpr uint32_t kPut = PLUGIN_METHOD_PUT;

struct RouteCase {
  uint32_t method;
  std::string path;
  std::string body;    // JSON, or empty
  uint32_t status;     // expected status
  std::string answer;  // the answer as JSON when it succeeds, else the error text
};

class SettingsRoutesTest : public SettingsFixture {
 protected:
  void ExpectAnswers(const std::vector<RouteCase>& cases) {
    for (const RouteCase& c : cases) {
      SCOPED_TRACE(c.path + " " + c.body);
      CallOutcome outcome = Request(c.method, c.path, c.body);
      EXPECT_EQ(outcome.status, c.status);
      EXPECT_EQ(outcome.failed ? outcome.error : Json(outcome.value), c.answer);
    }
  }
};

constexpr char kDefault[] = R"({"data":null,"schemaVersion":0})";

// The cases run in order on one plugin: later reads see earlier writes.
TEST_F(SettingsRoutesTest, AnswersEveryRouteAndItsErrors) {
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  const std::string unsupported = "PP type Bogus is not supported by settings backend.";
  ExpectAnswers({
      // 1, 6: account reads before any account file was loaded answer the default record.
      {kGet, "/zek-settings/v1/account/video", "", 200, kDefault},
      {kGet, "/zek-settings/v2/account/QEVPreferences/video", "", 200, kDefault},
      {kGet, "/zek-settings/v2/account/PerksPreferences/video", "", 200, kDefault},
      {kGet, "/zek-settings/v2/account/Bogus/video", "", 500, unsupported},
      // A literal path wins over the template; "save" under GET is a category name.
      {kGet, "/zek-settings/v1/account/didreset", "", 200, "false"},
      {kGet, "/zek-settings/v1/account/save", "", 200, kDefault},
      // 4
      {kPost, "/zek-settings/v1/account/save", "", 200, "null"},
      // Writes before the account phase has loaded the file would save it with only what they
      // hold: refused, and nothing is kept.
      {kPatch, "/zek-settings/v1/account/video", R"({"schemaVersion":2,"data":{"fov":90}})", 503,
       "zek-settings: The QEVPreferences preferences file is not loaded yet (it loads after "
       "login); nothing was saved."},
      {kPut, "/zek-settings/v2/account/EsportsPreferences/hud", R"({"schemaVersion":1,"data":{}})",
       503,
       "zek-settings: The EsportsPreferences preferences file is not loaded yet (it loads after "
       "login); nothing was saved."},
      {kGet, "/zek-settings/v1/account/video", "", 200, kDefault},
      {kGet, "/zek-settings/v2/ready", "", 200, "false"},
  });
  EXPECT_FALSE(Exists(InstallPath("Config/QEVAccountPreferences.yaml")));
  LogInAndLoadAccounts();
  ExpectAnswers({
      // 2, 7
      {kPatch, "/zek-settings/v1/account/video", R"({"schemaVersion":2,"data":{"fov":90}})", 200,
       "null"},
      {kGet, "/zek-settings/v1/account/video", "", 200, R"({"data":{"fov":90},"schemaVersion":2})"},
      {kGet, "/zek-settings/v2/account/QEVPreferences/video", "", 200,
       R"({"data":{"fov":90},"schemaVersion":2})"},
      {kPatch, "/zek-settings/v2/account/QEVPreferences/video",
       R"({"schemaVersion":1,"data":{"fov":60}})", 500,
       "The schema version is older than the current one"},
      {kPatch, "/zek-settings/v2/account/EsportsPreferences/hud",
       R"({"schemaVersion":1,"data":{"scale":1.5}})", 200, "null"},
      {kGet, "/zek-settings/v2/account/EsportsPreferences/hud", "", 200,
       R"({"data":{"scale":1.5},"schemaVersion":1})"},
      {kPatch, "/zek-settings/v2/account/Bogus/video", R"({"schemaVersion":1,"data":{}})", 500,
       unsupported},
      // 3, 8: a replace drops what the category held.
      {kPut, "/zek-settings/v1/account/video", R"({"schemaVersion":1,"data":{"vsync":true}})", 200,
       "null"},
      {kGet, "/zek-settings/v1/account/video", "", 200,
       R"({"data":{"vsync":true},"schemaVersion":1})"},
      {kPut, "/zek-settings/v2/account/EsportsPreferences/hud",
       R"({"schemaVersion":4,"data":{"s":[1]}})", 200, "null"},
      {kGet, "/zek-settings/v2/account/EsportsPreferences/hud", "", 200,
       R"({"data":{"s":[1]},"schemaVersion":4})"},
      {kPut, "/zek-settings/v2/account/Bogus/video", R"({"schemaVersion":1,"data":{}})", 500,
       unsupported},
      {kPut, "/zek-settings/v1/account/input-settings", R"({"schemaVersion":1,"data":{}})", 500,
       "zek-settings: Cannot replace GamePreferences"},
      {kPut, "/zek-settings/v2/account/GamePreferences/game-settings",
       R"({"schemaVersion":1,"data":{}})", 500, "zek-settings: Cannot replace GamePreferences"},
      // GamePreferences through the game-settings service, which knows nothing here.
      {kGet, "/zek-settings/v1/account/game-settings", "", 200,
       R"({"data":null,"schemaVersion":1})"},
      {kGet, "/zek-settings/v2/account/GamePreferences/input-settings", "", 200,
       R"({"data":null,"schemaVersion":1})"},
      {kPatch, "/zek-settings/v1/account/input-settings", R"({"schemaVersion":1,"data":{}})", 200,
       "null"},
      // 5, 9, 10
      {kGet, "/zek-settings/v2/didreset/QEVPreferences", "", 200, "false"},
      {kGet, "/zek-settings/v2/didreset/GamePreferences", "", 200, "false"},
      {kGet, "/zek-settings/v2/didreset/Bogus", "", 200, "false"},
      {kGet, "/zek-settings/v2/ready", "", 200, "true"},  // every account file is loaded
      // 11 to 14
      {kGet, "/zek-settings/v1/local/window", "", 200, kDefault},
      {kPatch, "/zek-settings/v1/local/window", R"({"schemaVersion":3,"data":{"w":800}})", 200,
       "null"},
      {kGet, "/zek-settings/v2/local/window", "", 200, R"({"data":{"w":800},"schemaVersion":3})"},
      {kPatch, "/zek-settings/v2/local/window", R"({"schemaVersion":3,"data":{"h":600}})", 200,
       "null"},
      {kGet, "/zek-settings/v1/local/window", "", 200,
       R"({"data":{"h":600,"w":800},"schemaVersion":3})"},
      {kPatch, "/zek-settings/v2/local/window", R"({"schemaVersion":2,"data":{}})", 500,
       "The schema version is older than the current one"},
      // The frame refuses bodies that do not bind before the handler runs.
      {kPatch, "/zek-settings/v2/local/window", R"({"schemaVersion":"x","data":{}})", 400,
       "Value x for 'schemaVersion' of type int32 is in an incorrect format"},
      {kPatch, "/zek-settings/v2/local/window", "", 400,
       "A value for 'settingsResource' is required."},
  });
  // The refused reads and writes saved nothing for an unknown type.
  EXPECT_FALSE(Exists(InstallPath("Config/Bogus.yaml")));
}

TEST_F(SettingsRoutesTest, WritesPublishV1ThenV2AndMarkTheOwnerRecordOncePerChange) {
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  LogInAndLoadAccounts();
  ClearRecords();
  const std::string hud = R"({"data":{"scale":2},"schemaVersion":1})";
  ASSERT_FALSE(
      Request(kPatch, "/zek-settings/v2/local/window", R"({"schemaVersion":1,"data":{"w":1}})")
          .failed);
  EXPECT_EQ(EventLines(),
            (std::vector<std::string>{
                R"(Update /zek-settings/v1/local/window {"data":{"w":1},"schemaVersion":1})",
                R"(Update /zek-settings/v2/local/window {"data":{"w":1},"schemaVersion":1})",
            }));
  // A local write has no owner record.
  EXPECT_TRUE(Calls(kInstallSettingsPath).empty());

  ClearRecords();
  ASSERT_FALSE(Request(kPatch, "/zek-settings/v2/account/PerksPreferences/hud",
                       R"({"schemaVersion":1,"data":{"scale":2}})")
                   .failed);
  // The v1 path of an account category names no preference type, whatever the type.
  EXPECT_EQ(EventLines(), (std::vector<std::string>{
                              "Update /zek-settings/v1/account/hud " + hud,
                              "Update /zek-settings/v2/account/PerksPreferences/hud " + hud,
                          }));
  std::vector<RecordedCall> owner = Calls(kInstallSettingsPath);
  ASSERT_EQ(owner.size(), 1u);
  EXPECT_EQ(owner[0].method, uint32_t{PLUGIN_METHOD_POST});
  EXPECT_EQ(owner[0].path, "/data-store/v1/install-settings/perks-settings");
  EXPECT_EQ(Json(owner[0].arguments),
            R"({"value":{"accountId":42,"modified":true,"timestamp":0}})");

  // The same write again: the events again, but the owner record is already marked.
  ClearRecords();
  ASSERT_FALSE(Request(kPatch, "/zek-settings/v2/account/PerksPreferences/hud",
                       R"({"schemaVersion":1,"data":{"scale":2}})")
                   .failed);
  EXPECT_EQ(EventLines().size(), 2u);
  EXPECT_TRUE(Calls(kInstallSettingsPath).empty());
  EXPECT_TRUE(TelemetryNames().empty());
}

TEST_F(SettingsRoutesTest, RefusedWritesPublishNothingAndLeaveTheFileAlone) {
  const std::string stored = "video:\r\n    data:\r\n        fov: 90\r\n    schemaVersion: 2\r\n";
  WriteFile(InstallPath("Config/QEVLocalPreferences.yaml"), stored);
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  ClearRecords();
  CallOutcome older =
      Request(kPatch, "/zek-settings/v1/local/video", R"({"schemaVersion":1,"data":{"fov":1}})");
  EXPECT_EQ(older.status, 500u);
  CallOutcome unbound = Request(kPatch, "/zek-settings/v1/local/video", R"([1])");
  EXPECT_EQ(unbound.status, 400u);
  CallOutcome unknown =
      Request(kPatch, "/zek-settings/v2/account/Bogus/video", R"({"schemaVersion":1,"data":{}})");
  EXPECT_EQ(unknown.status, 500u);
  EXPECT_TRUE(EventLines().empty());
  EXPECT_TRUE(Calls(kInstallSettingsPath).empty());
  EXPECT_EQ(ReadFile(InstallPath("Config/QEVLocalPreferences.yaml")), stored);
}

// Before the account phase has read an account file, memory holds none of it: a write then
// would save the file with only the written category. It is refused until the file is loaded,
// and then merges into everything the file held.
TEST_F(SettingsRoutesTest, AccountWritesWaitForTheAccountFileToBeLoaded) {
  const std::string file = InstallPath("Config/QEVAccountPreferences.yaml");
  const std::string stored = "audio:\r\n    data:\r\n        volume: 3\r\n    schemaVersion: 1\r\n";
  WriteFile(file, stored);
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  ClearRecords();
  for (uint32_t method : {kPatch, kPut}) {
    CallOutcome early = Request(method, "/zek-settings/v2/account/QEVPreferences/video",
                                R"({"schemaVersion":1,"data":{"fov":90}})");
    EXPECT_EQ(early.status, 503u);
  }
  EXPECT_EQ(ReadFile(file), stored);
  EXPECT_TRUE(EventLines().empty());
  EXPECT_TRUE(Calls(kInstallSettingsPath).empty());

  LogInAndLoadAccounts();
  ASSERT_FALSE(Request(kPatch, "/zek-settings/v2/account/QEVPreferences/video",
                       R"({"schemaVersion":1,"data":{"fov":90}})")
                   .failed);
  EXPECT_EQ(Json(Request(kGet, "/zek-settings/v2/account/QEVPreferences/audio").value),
            R"({"data":{"volume":3},"schemaVersion":1})");
  EXPECT_NE(ReadFile(file).find("volume: 3"), std::string::npos);
  EXPECT_NE(ReadFile(file).find("fov: 90"), std::string::npos);

  // Once another player's phase has run, writes go ahead; a login without one (here a third
  // player's) leaves the previous player's files in memory, so writes wait again.
  LogInAndLoadAccounts(43);
  EXPECT_FALSE(Request(kPatch, "/zek-settings/v2/account/QEVPreferences/video",
                       R"({"schemaVersion":1,"data":{"fov":60}})")
                   .failed);
  LogIn(44);
  const std::string before = ReadFile(file);
  EXPECT_EQ(Request(kPatch, "/zek-settings/v2/account/QEVPreferences/video",
                    R"({"schemaVersion":1,"data":{"fov":30}})")
                .status,
            503u);
  EXPECT_EQ(ReadFile(file), before);
}

TEST_F(SettingsRoutesTest, FailedSaveAnswers500KeepsTheChangeInMemoryAndReportsIt) {
  // A folder where the file should be: the atomic replace cannot rename over it.
  const std::string folder = InstallPath("Config/QEVLocalPreferences.yaml");
  std::filesystem::create_directories(folder);
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  LogInAndLoadAccounts();
  ClearRecords();
  CallOutcome failed =
      Request(kPatch, "/zek-settings/v1/local/video", R"({"schemaVersion":1,"data":{"fov":1}})");
  EXPECT_EQ(failed.status, 500u);
  EXPECT_EQ(failed.error, "Failed to save qev preferences. local");
  EXPECT_EQ(TelemetryNames(), std::vector<std::string>{"save_qev_preferences_failed_local"});
  EXPECT_EQ(LinesWith("Failed to save qev preferences file: \"" + folder + "\" - ").size(), 1u);
  EXPECT_TRUE(EventLines().empty());
  CallOutcome read = Request(kGet, "/zek-settings/v1/local/video");
  EXPECT_EQ(Json(read.value), R"({"data":{"fov":1},"schemaVersion":1})");

  // The account kind names itself in the answer.
  const std::string account_folder = InstallPath("Config/PerksPreferences.yaml");
  std::filesystem::create_directories(account_folder);
  failed = Request(kPatch, "/zek-settings/v2/account/PerksPreferences/hud",
                   R"({"schemaVersion":1,"data":{}})");
  EXPECT_EQ(failed.error, "Failed to save qev preferences. account");
  EXPECT_TRUE(Calls(kInstallSettingsPath).empty());
}

}  // namespace
}  // namespace Varn::Host::settings_test

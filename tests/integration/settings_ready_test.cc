// Readiness: every account type's file loaded once, whether it existed, loaded or failed, makes
// the plugin ready, announced exactly once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/integration/settings_fixture.h"

namespace Varn::Host::settings_test {
namespace {

class SettingsReadyTest : public SettingsFixture {
 protected:
  void LogIn() {
    BindingProperty session;
    session.Field("state").SetString("SUCCEEDED");
    session.Field("profileId").SetUnsigned(9);
    session.Field("accountId").SetUnsigned(42);
    PublishResource("OnJsonApiEvent_zek-login_v1_session", "/zek-login/v1/session", "Update",
                    session);
  }
  // The player-preferences service says it is disabled: every type is loaded from disk.
  void LoadFromDisk() {
    BindingProperty off;
    off.SetBool(false);
    PublishResource("OnJsonApiEvent_zek-player-preferences_v1_player-preferences-ready",
                    "/zek-player-preferences/v1/player-preferences-ready", "Update", off);
  }
  std::string Ready() { return Json(Request(PLUGIN_METHOD_GET, "/zek-settings/v2/ready").value); }
};

TEST_F(SettingsReadyTest, AllThreeLoadsMakeItReadyOnceAndABrokenFileStillCounts) {
  WriteFile(InstallPath("Config/QEVAccountPreferences.yaml"), "video: [\n");
  WriteFile(InstallPath("Config/EsportsPreferences.yaml"), "hud:\r\n    data: 1\r\n");
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  LogIn();
  EXPECT_EQ(Ready(), "false");
  ClearRecords();
  LoadFromDisk();
  // Key order of the registry: Esports, Perks (no file), QEV (broken); the account category's
  // v1 path names no type.
  EXPECT_EQ(EventLines(), (std::vector<std::string>{
                              "Update /zek-settings/v1/account/hud {\"data\":1}",
                              "Update /zek-settings/v2/account/EsportsPreferences/hud {\"data\":1}",
                              "Update /zek-settings/v2/ready true",
                          }));
  EXPECT_EQ(TelemetryNames(), (std::vector<std::string>{
                                  "load_qev_preferences_succeeded_account",
                                  "load_qev_preferences_failed_QEVPreferences_account",
                              }));
  EXPECT_EQ(Ready(), "true");

  // Loading everything again announces the categories again, but not readiness.
  ClearRecords();
  LoadFromDisk();
  EXPECT_EQ(EventLines().size(), 2u);
  EXPECT_EQ(Ready(), "true");
}

TEST_F(SettingsReadyTest, AccountLoadsSkippedForWantOfACommandLineAreDoneBeforeTheFirstWrite) {
  const std::string stored = "video:\r\n    data: 1\r\n    schemaVersion: 1\r\n";
  WriteFile(InstallPath("Config/QEVAccountPreferences.yaml"), stored);
  ScriptValue(kCommandLinePath, Str("not a list"));
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  LogIn();
  ClearRecords();
  LoadFromDisk();
  // No path, no load; the plugin still becomes ready, as with a file that failed to load.
  EXPECT_EQ(EventLines(), std::vector<std::string>{"Update /zek-settings/v2/ready true"});
  EXPECT_GE(LinesWith("Expression: ALE-A5008F27").size(), 3u);
  CallOutcome refused = Request(PLUGIN_METHOD_PATCH, "/zek-settings/v1/account/audio",
                                R"({"schemaVersion":1,"data":{"v":2}})");
  EXPECT_EQ(refused.error, "Failed to get commandLineParams");
  EXPECT_EQ(ReadFile(InstallPath("Config/QEVAccountPreferences.yaml")), stored);

  CommandLine({});
  ClearRecords();
  ASSERT_FALSE(Request(PLUGIN_METHOD_PATCH, "/zek-settings/v1/account/audio",
                       R"({"schemaVersion":1,"data":{"v":2}})")
                   .failed);
  EXPECT_EQ(EventLines().front(),
            "Update /zek-settings/v1/account/video {\"data\":1,\"schemaVersion\":1}");
  EXPECT_EQ(ReadFile(InstallPath("Config/QEVAccountPreferences.yaml")),
            "audio:\r\n    data:\r\n        v: 2\r\n    schemaVersion: 1\r\n" + stored);
}

}  // namespace
}  // namespace Varn::Host::settings_test

// Start-up of the settings plugin through the C entry: what it asks the host's services, in
// which order, the local file it loads and announces, and the paths it finds for the files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tests/integration/settings_fixture.h"

namespace Varn::Host::settings_test {
namespace {

constexpr uint32_t kGet = PLUGIN_METHOD_GET;
constexpr uint32_t kPatch = PLUGIN_METHOD_PATCH;
constexpr char kDefault[] = R"({"data":null,"schemaVersion":0})";
constexpr char kLocalFile[] = "Config/QEVLocalPreferences.yaml";
constexpr char kSmallPatch[] = R"({"schemaVersion":1,"data":{"x":1}})";

class SettingsStartupTest : public SettingsFixture {
 protected:
  std::vector<std::string> CallPaths() const {
    std::vector<std::string> paths;
    for (const RecordedCall& call : Calls()) paths.push_back(call.path);
    return paths;
  }
  size_t CallCount(std::string_view path) const {
    size_t count = 0;
    for (const RecordedCall& call : Calls()) count += call.path == path ? 1 : 0;
    return count;
  }
  // Patches a category of `ppType` ("" for the local file); its outcome.
  CallOutcome Patch(std::string_view ppType, std::string_view category = "c") {
    const std::string path = ppType.empty() ? "/zek-settings/v2/local/" + std::string(category)
                                            : "/zek-settings/v2/account/" + std::string(ppType) +
                                                  "/" + std::string(category);
    return Request(kPatch, path, kSmallPatch);
  }
};

TEST_F(SettingsStartupTest, WithoutALocalFileAsksItsServicesInOrderAndAnnouncesNothing) {
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  EXPECT_EQ(CallPaths(), (std::vector<std::string>{
                             "/zek-login/v1/session",
                             "/zek-player-preferences/v1/player-preferences-ready",
                             "/zek-platform-config/v1/namespaces/QevSettings",
                             "/zek-game-settings/v1/game-settings",
                             "/zek-game-settings/v1/input-settings",
                             "/varnclient/command-line-args",
                             "/data-store/v1/install-dir",
                             "/data-store/v1/install-settings/qev-settings",
                             "/data-store/v1/install-settings/esports-settings",
                             "/data-store/v1/install-settings/perks-settings",
                         }));
  for (const RecordedCall& call : Calls()) {
    SCOPED_TRACE(call.path);
    EXPECT_EQ(call.method, uint32_t{PLUGIN_METHOD_GET});
    EXPECT_TRUE(call.arguments.IsEmpty());
  }
  EXPECT_TRUE(EventLines().empty());
  EXPECT_TRUE(TelemetryNames().empty());
  EXPECT_EQ(Json(Request(kGet, "/zek-settings/v2/local/video").value), kDefault);
  EXPECT_FALSE(Exists(InstallPath(kLocalFile)));
  EXPECT_TRUE(LinesWith("ALE-").empty());
}

TEST_F(SettingsStartupTest, AnnouncesTheLocalCategoriesThatHaveDataInKeyOrder) {
  WriteFile(InstallPath(kLocalFile),
            "video:\n  schemaVersion: 2\n  data: {fov: 90}\n"
            "audio:\n  schemaVersion: 1\n  data: [1, 2]\n"
            "legacy:\n  schemaVersion: 4\n"
            "odd: 7\n");
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  EXPECT_EQ(EventLines(),
            (std::vector<std::string>{
                R"(Update /zek-settings/v1/local/audio {"data":[1,2],"schemaVersion":1})",
                R"(Update /zek-settings/v2/local/audio {"data":[1,2],"schemaVersion":1})",
                R"(Update /zek-settings/v1/local/video {"data":{"fov":90},"schemaVersion":2})",
                R"(Update /zek-settings/v2/local/video {"data":{"fov":90},"schemaVersion":2})",
            }));
  EXPECT_EQ(TelemetryNames(), std::vector<std::string>{"load_qev_preferences_succeeded_local"});
  // Categories without "data" are kept as stored.
  EXPECT_EQ(Json(Request(kGet, "/zek-settings/v1/local/legacy").value), R"({"schemaVersion":4})");
  EXPECT_EQ(Json(Request(kGet, "/zek-settings/v1/local/odd").value), "7");
}

// Command-line overrides of the file paths. "{dir}" stands for the installation folder.
struct OverrideCase {
  const char* name;
  std::vector<std::string> arguments;
  std::string ppType;    // "" for the local file
  std::string expected;  // the file a write goes to
};
// Cases print as their names in test listings.
void PrintTo(const OverrideCase& c, std::ostream* out) { *out << c.name; }

class SettingsPathTest : public SettingsStartupTest,
                         public testing::WithParamInterface<OverrideCase> {
 protected:
  std::string Expand(std::string text) const {
    if (size_t at = text.find("{dir}"); at != std::string::npos) text.replace(at, 5, installDir_);
    return text;
  }
};

TEST_P(SettingsPathTest, WritesTheFileTheOptionsName) {
  const OverrideCase& c = GetParam();
  std::vector<std::string> arguments;
  for (const std::string& argument : c.arguments) arguments.push_back(Expand(argument));
  CommandLine(arguments);
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  LogInAndLoadAccounts();
  CallOutcome patched = Patch(c.ppType);
  EXPECT_FALSE(patched.failed) << patched.error;
  EXPECT_TRUE(Exists(Expand(c.expected))) << Expand(c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Options, SettingsPathTest,
    testing::Values(OverrideCase{"AbsoluteAccountPathUnchanged",
                                 {"--account-preferences-file-path={dir}/elsewhere/a.yaml"},
                                 "QEVPreferences",
                                 "{dir}/elsewhere/a.yaml"},
                    OverrideCase{"OtherTypesKeepTheirDefaults",
                                 {"--account-preferences-file-path={dir}/elsewhere/a.yaml"},
                                 "EsportsPreferences",
                                 "{dir}/Config/EsportsPreferences.yaml"},
                    OverrideCase{"FirstMatchWins",
                                 {"--perks-preferences-file-path={dir}/p1.yaml",
                                  "--perks-preferences-file-path={dir}/p2.yaml"},
                                 "PerksPreferences",
                                 "{dir}/p1.yaml"},
                    OverrideCase{"OptionWithoutEqualsIgnored",
                                 {"--local-preferences-file-path", "{dir}/l.yaml"},
                                 "",
                                 "{dir}/Config/QEVLocalPreferences.yaml"},
                    OverrideCase{"CaseCounts",
                                 {"--Local-preferences-file-path={dir}/l.yaml"},
                                 "",
                                 "{dir}/Config/QEVLocalPreferences.yaml"},
                    OverrideCase{"LocalPathAsGiven",
                                 {"--local-preferences-file-path={dir}/l.yaml"},
                                 "",
                                 "{dir}/l.yaml"}),
    [](const testing::TestParamInfo<OverrideCase>& info) { return std::string(info.param.name); });

TEST_F(SettingsStartupTest, AnEmptyOptionValueIsAnEmptyPathThatCannotBeSaved) {
  CommandLine({"--local-preferences-file-path="});
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  CallOutcome patched = Patch("");
  EXPECT_EQ(patched.status, 500u);
  EXPECT_EQ(patched.error, "Failed to save qev preferences. local");
  EXPECT_EQ(CallCount(std::string(kInstallDirPath)), 0u);
}

TEST_F(SettingsStartupTest, BackslashesOfTheInstallFolderBecomeSlashes) {
  std::string windows_style = installDir_;
  for (char& c : windows_style) c = c == '/' ? '\\' : c;
  ScriptValue(kInstallDirPath, Str(windows_style + "\\"));
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  EXPECT_FALSE(Patch("").failed);
  EXPECT_TRUE(Exists(InstallPath(kLocalFile)));
}

TEST_F(SettingsStartupTest, LongJoinedPathsAreUsedWhole) {
  // Well past 259 characters: a cut path would name another file.
  const std::string deep = installDir_ + "/" + std::string(120, 'a') + "/" + std::string(120, 'b');
  std::filesystem::create_directories(deep);
  ScriptValue(kInstallDirPath, Str(deep));
  const std::string file = deep + "/" + kLocalFile;
  ASSERT_GT(file.size(), 259u);
  WriteFile(file, "video:\r\n    data: 1\r\n    schemaVersion: 1\r\n");
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  EXPECT_EQ(EventLines().size(), 2u);
  EXPECT_FALSE(Patch("").failed);
  EXPECT_NE(ReadFile(file).find("c:\r\n"), std::string::npos);
}

TEST_F(SettingsStartupTest, WithoutAnInstallFolderPathsStayRelativeAndItIsAskedOnce) {
  ScriptError(kInstallDirPath, 503, "data store down");
  // Relative paths are taken in the working folder; make it the test's own.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(installDir_);
  LoadAndStart();
  LogInAndLoadAccounts();
  const bool local_ok = !Patch("").failed;
  const bool account_ok = !Patch("PerksPreferences").failed;
  std::filesystem::current_path(before);
  EXPECT_TRUE(local_ok);
  EXPECT_TRUE(account_ok);
  EXPECT_TRUE(Exists(InstallPath(kLocalFile)));
  EXPECT_TRUE(Exists(InstallPath("Config/PerksPreferences.yaml")));
  EXPECT_EQ(CallCount(std::string(kInstallDirPath)), 1u);
  EXPECT_TRUE(LinesWith("ALE-").empty());
}

TEST_F(SettingsStartupTest, WithoutTheCommandLineNoFileIsReadOrWrittenUntilItCanBeFetched) {
  const std::string stored = "video:\r\n    data: 1\r\n    schemaVersion: 1\r\n";
  WriteFile(InstallPath(kLocalFile), stored);
  ScriptError(kCommandLinePath, 500, "no command line");
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  EXPECT_EQ(LinesWith("Expression: ALE-A5008F27").size(), 1u);
  EXPECT_EQ(LinesWith("Description: Failed to get commandLineParams").size(), 1u);
  EXPECT_TRUE(EventLines().empty());
  EXPECT_TRUE(TelemetryNames().empty());

  // Every operation that needs a path is abandoned, asking again each time.
  struct Case {
    uint32_t method;
    std::string path;
    std::string body;
  };
  const std::vector<Case> cases = {
      {kGet, "/zek-settings/v1/local/video", ""},
      {kPatch, "/zek-settings/v2/local/video", kSmallPatch},
      {kPatch, "/zek-settings/v2/account/QEVPreferences/video", kSmallPatch},
  };
  size_t asked = CallCount(kCommandLinePath);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    CallOutcome outcome = Request(c.method, c.path, c.body);
    EXPECT_EQ(outcome.status, 500u);
    EXPECT_EQ(outcome.error, "Failed to get commandLineParams");
    EXPECT_EQ(CallCount(kCommandLinePath), ++asked);
  }
  EXPECT_EQ(ReadFile(InstallPath(kLocalFile)), stored);
  EXPECT_FALSE(Exists(InstallPath("Config/QEVAccountPreferences.yaml")));
  EXPECT_FALSE(Exists("Config"));  // nothing at a path relative to the working folder
  EXPECT_TRUE(EventLines().empty());

  // Once it answers, the skipped load happens first, so the write keeps what was stored.
  CommandLine({});
  ClearRecords();
  EXPECT_FALSE(Patch("").failed);
  EXPECT_EQ(EventLines(),
            (std::vector<std::string>{
                R"(Update /zek-settings/v1/local/video {"data":1,"schemaVersion":1})",
                R"(Update /zek-settings/v2/local/video {"data":1,"schemaVersion":1})",
                R"(Update /zek-settings/v1/local/c {"data":{"x":1},"schemaVersion":1})",
                R"(Update /zek-settings/v2/local/c {"data":{"x":1},"schemaVersion":1})",
            }));
  EXPECT_EQ(ReadFile(InstallPath(kLocalFile)),
            "c:\r\n    data:\r\n        x: 1\r\n    schemaVersion: 1\r\n" + stored);
  // The list is kept from now on.
  Patch("");
  EXPECT_EQ(CallCount(kCommandLinePath), 1u);
}

TEST_F(SettingsStartupTest, AnOwnerRecordThatCannotBeReadCountsAsNobodysUnmodified) {
  ScriptError(std::string(kInstallSettingsPath) + "esports-settings", 404, "no such key");
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  EXPECT_EQ(LinesWith("Expression: ALE-98456052").size(), 1u);
  EXPECT_EQ(LinesWith("Description: Failed to get qev-settings").size(), 1u);
  // The entry still exists: its type is served and its first write marks it modified.
  LogInAndLoadAccounts();
  ClearRecords();
  EXPECT_FALSE(Patch("EsportsPreferences").failed);
  std::vector<RecordedCall> owner = Calls(kInstallSettingsPath);
  ASSERT_EQ(owner.size(), 1u);
  EXPECT_EQ(Json(owner[0].arguments),
            R"({"value":{"accountId":42,"modified":true,"timestamp":0}})");
}

}  // namespace
}  // namespace Varn::Host::settings_test

// `zek-prefs check` and the plugin, given the same local file, must agree on whether it loads and
// on which categories are announced.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tests/integration/settings_fixture.h"

namespace Varn::Host::settings_test {
namespace {

constexpr char kLocalFile[] = "Config/QEVLocalPreferences.yaml";

struct CheckRun {
  int status = -1;
  std::string out;
};

CheckRun RunCheck(const std::string& file) {
  CheckRun run;
  const std::string command = std::string(ZEK_PREFS_PATH) + " check '" + file + "'";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The categories a check report says are never announced.
std::set<std::string> Unannounced(const std::string& report) {
  std::set<std::string> names;
  const std::string marker = "warning: category \"";
  for (size_t at = report.find(marker); at != std::string::npos; at = report.find(marker, at + 1)) {
    const size_t start = at + marker.size();
    const size_t end = report.find('"', start);
    if (report.compare(end, 20, "\" has no \"data\" memb") == 0) {
      names.insert(report.substr(start, end - start));
    }
  }
  return names;
}

struct AgreementCase {
  const char* name;
  const char* text;
  bool loads;
  std::set<std::string> announced;
  std::set<std::string> unannounced;
};
// Cases print as their names in test listings.
void PrintTo(const AgreementCase& c, std::ostream* out) { *out << c.name; }

class SettingsPrefsCheckTest : public SettingsFixture,
                               public testing::WithParamInterface<AgreementCase> {};

TEST_P(SettingsPrefsCheckTest, AgreesWithThePlugin) {
  const AgreementCase& c = GetParam();
  WriteFile(InstallPath(kLocalFile), c.text);
  const CheckRun check = RunCheck(InstallPath(kLocalFile));
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());

  std::set<std::string> announced;
  for (const PublishedEvent& event : Events()) {
    const std::string prefix = "/zek-settings/v1/local/";
    if (event.uri.starts_with(prefix)) announced.insert(event.uri.substr(prefix.size()));
  }
  const std::string outcome =
      c.loads ? "load_qev_preferences_succeeded_local" : "load_qev_preferences_failed__local";
  EXPECT_EQ(TelemetryNames(), std::vector<std::string>{outcome});
  EXPECT_EQ(announced, c.announced);

  EXPECT_EQ(check.status, c.loads ? 0 : 1) << check.out;
  EXPECT_EQ(Unannounced(check.out), c.unannounced) << check.out;
  EXPECT_EQ(check.out.find(": ok, ") != std::string::npos, c.loads) << check.out;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsPrefsCheckTest,
    testing::Values(
        AgreementCase{"Good",
                      "audio:\r\n    data:\r\n        volume: 1\r\n    schemaVersion: 3\r\n"
                      "hud:\r\n    data: [1, 2]\r\n    schemaVersion: 1\r\n",
                      true,
                      {"audio", "hud"},
                      {}},
        AgreementCase{"Broken", "audio:\n    data: {volume: 1\n", false, {}, {}},
        AgreementCase{"CategoryWithoutData",
                      "audio:\n    schemaVersion: 3\nhud:\n    data: 1\nodd: 5\n",
                      true,
                      {"hud"},
                      {"audio", "odd"}}),
    [](const testing::TestParamInfo<AgreementCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace Varn::Host::settings_test

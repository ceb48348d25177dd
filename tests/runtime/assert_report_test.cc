#include "runtime/assert_report.h"

#include <gtest/gtest.h>

#include <string>

#include "binding/message_format.h"
#include "recording_log_target.h"

namespace Varn {
namespace {

TEST(AssertReportTest, ReportText) {
  struct Case {
    const char* what;
    std::string_view identifier, description, file;
    int line;
    std::string_view function;
    std::string expected;
  };
  const Case cases[] = {
      {"identifier and description only", "ALE-A5008F27", "Failed to get commandLineParams", "", 0,
       "",
       "Assertion failed!\n\nExpression: ALE-A5008F27\n\nDescription: Failed to get "
       "commandLineParams"},
      {"every piece", "ALE-98456052", "Failed to get qev-settings", "settings_plugin.cc", 42,
       "Start",
       "Assertion failed!\n\nFile: settings_plugin.cc\nLine: 42\n\nFunction: Start\n\n"
       "Expression: ALE-98456052\n\nDescription: Failed to get qev-settings"},
      {"file without line", "ALE-1", "d", "f.cc", 0, "",
       "Assertion failed!\n\nFile: f.cc\nExpression: ALE-1\n\nDescription: d"},
      {"negative line", "ALE-1", "", "", -3, "",
       "Assertion failed!\n\nLine: -3\n\nExpression: ALE-1"},
      {"function only", "", "", "", 0, "F", "Assertion failed!\n\nFunction: F\n\n"},
      {"nothing", "", "", "", 0, "", "Assertion failed!\n\n"},
      {"description without identifier", "", "only", "", 0, "",
       "Assertion failed!\n\n\n\nDescription: only"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(AssertionReport(c.identifier, c.description, c.file, c.line, c.function), c.expected);
  }
}

class AssertFailedTest : public LoggerFixture {};

TEST_F(AssertFailedTest, LogsTheReportAsADebugError) {
  RecordingLogTarget target;
  target.Configure(0, 0, 0, "#M");
  std::string description =
      FormatMessage(kIncompatiblePluginApiFormat, "zek-settings", "17.0.0", "18.0.0");
  AssertFailed(kAssertIncompatiblePluginApi, description);
  // A description holding "%" reaches the log as it stands.
  AssertFailed(kAssertQevSettings, "100% %s %n");
  ASSERT_EQ(target.lines.size(), 2u);
  EXPECT_EQ(target.lines[0].level, kLogError);
  EXPECT_EQ(target.lines[0].mask, 1u);
  EXPECT_EQ(target.lines[0].message,
            "Assertion failed!\n\nExpression: ALE-EECF0606\n\nDescription: zek-settings which "
            "supports plugin API 17.0.0 is not compatible with core's plugin API 18.0.0");
  EXPECT_EQ(target.lines[1].message,
            "Assertion failed!\n\nExpression: ALE-98456052\n\nDescription: 100% %s %n");
}

}  // namespace
}  // namespace Varn

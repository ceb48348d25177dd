// Reports of conditions that the code cannot continue from.
#ifndef ZEK_RUNTIME_ASSERT_REPORT_H_
#define ZEK_RUNTIME_ASSERT_REPORT_H_

#include <string>
#include <string_view>

namespace Varn {

// Identifiers of the reports raised, with their description texts.
inline constexpr std::string_view kAssertIncompatiblePluginApi = "ALE-EECF0606";
// Format for FormatMessage: plugin name, the plugin's API version, the core's API version.
inline constexpr std::string_view kIncompatiblePluginApiFormat =
    "%1 which supports plugin API %2 is not compatible with core's plugin API %3";
inline constexpr std::string_view kAssertCommandLineParams = "ALE-A5008F27";
inline constexpr std::string_view kCommandLineParamsDescription = "Failed to get commandLineParams";
inline constexpr std::string_view kAssertQevSettings = "ALE-98456052";
inline constexpr std::string_view kQevSettingsDescription = "Failed to get qev-settings";

// The report text; each piece appears only when its input is present (non-empty text, line not
// 0). Reports with only an identifier and a description read:
//   "Assertion failed!\n\nExpression: <identifier>\n\nDescription: <description>"
std::string AssertionReport(std::string_view identifier, std::string_view description,
                            std::string_view file = {}, int line = 0,
                            std::string_view function = {});

// Logs the report at level 2 with category "DBG". The caller does not go on with the step that
// failed.
void AssertFailed(std::string_view identifier, std::string_view description,
                  std::string_view file = {}, int line = 0, std::string_view function = {});

}  // namespace Varn

#endif  // ZEK_RUNTIME_ASSERT_REPORT_H_

#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {

bool SettingsPlugin::Start() { return true; }
const std::vector<std::string>* SettingsPlugin::GetCommandLineArgs() { return nullptr; }
const std::string& SettingsPlugin::GetInstallDir() {
  if (!installDir) installDir.emplace();
  return *installDir;
}
std::optional<std::string> SettingsPlugin::FindCommandLineOption(std::string_view,
                                                                 const std::vector<std::string>&) {
  return {};
}
std::string SettingsPlugin::ResolveInstallPath(std::string_view relative) {
  return std::string(relative);
}
std::optional<std::string> SettingsPlugin::LocalPreferencesFilePath() { return {}; }
std::optional<std::string> SettingsPlugin::PreferenceFilePath(std::string_view) { return {}; }
void SettingsPlugin::RegisterPreferenceType(const PreferenceTypeDefinition&) {}
void SettingsPlugin::MarkReadyIfComplete(std::string_view) {}
const BindingProperty* SettingsPlugin::FindRegistryEntry(std::string_view ppType) const {
  return ppTypeRegistry.TryFind(ppType);
}

}  // namespace Varn::Client::Settings

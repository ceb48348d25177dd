// Loading, reading, patching and saving the preference files held in localData and accountData.
#include "settings/preference_file.h"
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {

void SettingsPlugin::LoadPreferences(std::string_view, BindingProperty&, std::string_view,
                                     std::string_view) {}
void SettingsPlugin::LoadLocalPreferences() {}
void SettingsPlugin::LoadAccountPreferences(std::string_view) {}
BindingProperty SettingsPlugin::GetSettingCategory(const BindingProperty& root,
                                                   std::string_view category) {
  return Settings::GetSettingCategory(root, category);
}
SettingsResult SettingsPlugin::PatchSettingCategory(std::string_view,
                                                    const Api::SettingCategoryResource&,
                                                    std::string_view, BindingProperty&,
                                                    std::string_view, std::string_view) {
  return SettingsResult::Ok();
}
void SettingsPlugin::MergeSettingsData(BindingProperty& destination,
                                       const BindingProperty& source) {
  Settings::MergeSettingsData(destination, source);
}
bool SettingsPlugin::SavePreferenceFile(std::string_view, const BindingProperty&) { return false; }
std::optional<std::string> SettingsPlugin::PathForWrite(std::string_view) { return {}; }
BindingProperty& SettingsPlugin::AccountRoot(std::string_view ppType) {
  return accountData.Field(ppType);
}

}  // namespace Varn::Client::Settings

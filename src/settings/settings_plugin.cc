#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {

void SettingsPlugin::RegisterApi() {}

bool SettingsPlugin::Start() { return true; }

}  // namespace Varn::Client::Settings

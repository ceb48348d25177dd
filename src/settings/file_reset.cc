// Emptying an account file that belongs to another player.
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {

void SettingsPlugin::ResetIfForeignOwner(std::string_view) {}

}  // namespace Varn::Client::Settings

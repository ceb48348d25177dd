// Login session tracking.
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {

void SettingsPlugin::OnLoginSessionEvent(const TypedResourceEvent<Api::LoginSession>&) {}

}  // namespace Varn::Client::Settings

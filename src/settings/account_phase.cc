// The account phase, the upload timer and the stop sequence.
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {

void SettingsPlugin::OnPlayerPreferencesReadyEvent(const TypedResourceEvent<bool>&) {}

void SettingsPlugin::OnPlatformConfigEvent(const PluginResourceEvent&) {}

void SettingsPlugin::StartAccount() {}

void SettingsPlugin::OnCheckUploadTimer() {}

void SettingsPlugin::Stop() { PluginBase::Stop(); }

}  // namespace Varn::Client::Settings

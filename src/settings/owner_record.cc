#include "settings/owner_record.h"

#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {

uint64_t ToUnsigned(const BindingProperty&, uint64_t def) { return def; }

BindingProperty OwnerRecord(uint64_t, uint64_t, bool) { return {}; }

void SettingsPlugin::SetOwner(std::string_view, uint64_t, uint64_t, bool) {}

void SettingsPlugin::SendPreferencesTelemetry(std::string_view) {}

}  // namespace Varn::Client::Settings

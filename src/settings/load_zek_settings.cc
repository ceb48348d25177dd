// The library's one exported entry.
#include <memory>
#include <new>

#include "plugin/plugin_registration.h"
#include "settings/settings_plugin.h"
#include "zek/plugin_abi.h"

extern "C" PLUGIN_EXPORT void load_zek_settings(PluginLoadRecord* record) {
  using Varn::Client::Settings::SettingsPlugin;
  // A plugin that cannot be created leaves the record's callbacks null: the host sees a refusal.
  try {
    std::unique_ptr<SettingsPlugin> plugin(new (std::nothrow) SettingsPlugin());
    Varn::PluginRegistration::Register(std::move(plugin), record, SettingsPlugin::kShortName);
  } catch (...) {
    if (record != nullptr) record->callbacks = nullptr;
  }
}

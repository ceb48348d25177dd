// SettingsPlugin: the settings back-end plugin object. It owns all settings state; the frame
// (PluginBase) owns the rest.
#ifndef ZEK_SETTINGS_SETTINGS_PLUGIN_H_
#define ZEK_SETTINGS_SETTINGS_PLUGIN_H_

#include <string_view>

#include "plugin/plugin_base.h"

namespace Varn::Client::Settings {

class SettingsPlugin : public PluginBase {
 public:
  static constexpr std::string_view kShortName = "zek-settings";

  SettingsPlugin() = default;
  ~SettingsPlugin() override = default;

  void RegisterApi() override;
  bool Start() override;
};

}  // namespace Varn::Client::Settings

#endif  // ZEK_SETTINGS_SETTINGS_PLUGIN_H_

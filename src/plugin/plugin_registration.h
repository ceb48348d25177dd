// The registration handshake of a plugin library's entry, and the three callbacks it hands to the
// host. A library's exported entry creates its plugin object and calls Register:
//
//   extern "C" PLUGIN_EXPORT void load_zek_settings(PluginLoadRecord* record) {
//     PluginRegistration::Register(std::make_unique<SettingsPlugin>(), record, "zek-settings");
//   }
#ifndef ZEK_PLUGIN_PLUGIN_REGISTRATION_H_
#define ZEK_PLUGIN_PLUGIN_REGISTRATION_H_

#include <memory>
#include <string_view>

#include "plugin/plugin_base.h"
#include "zek/plugin_abi.h"

namespace Varn {

class PluginRegistration {
 public:
  // Checks the core's version in `record`, names the plugin, runs its RegisterApi, builds its
  // ApiDescription and fills `record`. On success the plugin belongs to the host, which destroys
  // it through the stop callback, and true is returned. An incompatible core raises the
  // "ALE-EECF0606" report; then, as on any other failure, the plugin is destroyed and `record`
  // keeps null callbacks, so the host cannot start it. Never throws.
  static bool Register(std::unique_ptr<PluginBase> plugin, PluginLoadRecord* record,
                       std::string_view short_name) noexcept;

  // The user agent a plugin sends with its requests: "VarnClient/<core version> (<short name>)".
  static std::string UserAgent(const PluginApiVersion& core, std::string_view short_name);

 private:
  static bool Handshake(PluginBase& plugin, PluginLoadRecord* record, std::string_view short_name);
  static void BuildDescription(PluginBase& plugin);
  static uint8_t StartCallback(void* context, const PluginHostRecord* host);
  static void StopCallback(void* context);
  static void MemoryStatsCallback(void* context, PluginMemoryStats* stats);
  static void DispatchEntry(void* context, PluginResponse* response, const PluginRequest* request);
};

}  // namespace Varn

#endif  // ZEK_PLUGIN_PLUGIN_REGISTRATION_H_

#include "plugin/plugin_api_version.h"

#include "binding/message_format.h"

namespace Varn {

std::string PluginApiVersion::Text() const {
  std::string text = FormatMessage("%1.%2.%3", major, minor, patch);
  if (!prerelease.empty()) text += "-" + prerelease;
  if (!build.empty()) text += "+" + build;
  return text;
}

bool IsCompatibleCore(const PluginApiVersion& core, const PluginApiVersion& plugin) {
  if (core.major != plugin.major) return false;
  if (core.minor != plugin.minor) return core.minor > plugin.minor;
  return core.patch >= plugin.patch;
}

}  // namespace Varn

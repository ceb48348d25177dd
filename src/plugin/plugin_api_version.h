// PluginApiVersion: the plugin API version of a core or a plugin, and the compatibility rule
// between them.
#ifndef ZEK_PLUGIN_PLUGIN_API_VERSION_H_
#define ZEK_PLUGIN_PLUGIN_API_VERSION_H_

#include <cstdint>
#include <string>

#include "zek/plugin_abi.h"

namespace Varn {

struct PluginApiVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t patch = 0;
  std::string prerelease;
  std::string build;

  // "major.minor.patch", then "-" prerelease and "+" build when they are not empty.
  std::string Text() const;
};

inline PluginApiVersion OwnPluginApiVersion() {
  return {PLUGIN_API_VERSION_MAJOR, PLUGIN_API_VERSION_MINOR, PLUGIN_API_VERSION_PATCH, {}, {}};
}

// A core serves a plugin when their majors are equal and the core's minor.patch is at least the
// plugin's.
bool IsCompatibleCore(const PluginApiVersion& core, const PluginApiVersion& plugin);

}  // namespace Varn

#endif  // ZEK_PLUGIN_PLUGIN_API_VERSION_H_

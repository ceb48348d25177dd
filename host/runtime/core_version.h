// CoreVersion: the plugin API version a host hands a plugin in its load record. The host's own
// value, taken from the boundary header, so the host does not borrow the plugin's version code.
#ifndef ZEK_HOST_RUNTIME_CORE_VERSION_H_
#define ZEK_HOST_RUNTIME_CORE_VERSION_H_

#include <cstdint>
#include <string>

#include "zek/plugin_abi.h"

namespace Varn::Host {

struct CoreVersion {
  uint32_t major = PLUGIN_API_VERSION_MAJOR;
  uint32_t minor = PLUGIN_API_VERSION_MINOR;
  uint32_t patch = PLUGIN_API_VERSION_PATCH;

  // "major.minor.patch".
  std::string Text() const {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
  }
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_RUNTIME_CORE_VERSION_H_

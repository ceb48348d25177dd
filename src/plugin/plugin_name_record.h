// PluginNameRecord: how a plugin is named: "zek-settings" of type "backend" is
// "ozu-be-zek-settings" in full.
#ifndef ZEK_PLUGIN_PLUGIN_NAME_RECORD_H_
#define ZEK_PLUGIN_PLUGIN_NAME_RECORD_H_

#include <string>
#include <string_view>

namespace Varn {

struct PluginNameRecord {
  std::string fullName;
  std::string shortName;
  std::string type;
  std::string typeQualifier;
};

// "ozu-be-" for "backend", "ozu-fe-" for "frontend"; any other type gives "ozu-xx-" and logs
// that it is unknown.
std::string GetFullNameFromShortNameAndType(std::string_view short_name, std::string_view type);

PluginNameRecord MakePluginNameRecord(std::string_view short_name, std::string_view type);

}  // namespace Varn

#endif  // ZEK_PLUGIN_PLUGIN_NAME_RECORD_H_

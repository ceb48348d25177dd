#include "plugin/plugin_name_record.h"

#include "binding/message_format.h"
#include "plugin/frame_log.h"

namespace Varn {
namespace {

constexpr std::string_view kUnknownType =
    "GetFullNameFromShortNameAndType(\"%1\", \"%2\") called with an unknown type";

}  // namespace

std::string GetFullNameFromShortNameAndType(std::string_view short_name, std::string_view type) {
  std::string prefix;
  if (type == "backend") {
    prefix = "ozu-be-";
  } else if (type == "frontend") {
    prefix = "ozu-fe-";
  } else {
    prefix = "ozu-xx-";
    LogPluginManager(kFrameLogError, FormatMessage(kUnknownType, short_name, type));
  }
  return prefix + std::string(short_name);
}

PluginNameRecord MakePluginNameRecord(std::string_view short_name, std::string_view type) {
  return {GetFullNameFromShortNameAndType(short_name, type),
          std::string(short_name),
          std::string(type),
          {}};
}

}  // namespace Varn

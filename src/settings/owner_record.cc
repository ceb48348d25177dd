#include "settings/owner_record.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "runtime/log_record.h"
#include "runtime/logger.h"
#include "settings/settings_plugin.h"
#include "zek/service_arguments.h"

namespace Varn::Client::Settings {
namespace {

constexpr char kSetOwnerFailed[] = "Failed to set qev-settings-owner: %s";

uint64_t FloatToUnsigned(double value) {
  // The conversion of a double outside the unsigned range is undefined; it saturates instead,
  // and NaN reads as 0.
  if (!(value > -1.0)) return 0;
  if (value >= 18446744073709551616.0) return UINT64_MAX;
  return static_cast<uint64_t>(value);
}

}  // namespace

uint64_t ToUnsigned(const BindingProperty& value, uint64_t def) {
  switch (value.GetType()) {
    case BindingPropertyType::Bool:
      return value.GetBool() ? 1 : 0;
    case BindingPropertyType::Signed:
      return static_cast<uint64_t>(value.GetSigned());
    case BindingPropertyType::Unsigned:
      return value.GetUnsigned();
    case BindingPropertyType::Float:
      return FloatToUnsigned(value.GetFloat());
    case BindingPropertyType::String: {
      const std::string text(value.GetString());
      return std::strtoull(text.c_str(), nullptr, 0);
    }
    case BindingPropertyType::Enum:
      return static_cast<uint64_t>(static_cast<int64_t>(value.GetEnum().value));
    default:
      return def;
  }
}

BindingProperty OwnerRecord(uint64_t accountId, uint64_t timestamp, bool modified) {
  BindingProperty record;
  record.Field(kOwnerAccountIdKey).SetUnsigned(accountId);
  record.Field(kOwnerTimestampKey).SetUnsigned(timestamp);
  record.Field(kOwnerModifiedKey).SetBool(modified);
  return record;
}

void SettingsPlugin::SetOwner(std::string_view ppType, uint64_t accountId, uint64_t timestamp,
                              bool modified) {
  if (ppType == kGamePreferences) return;
  BindingProperty* entry = ppTypeRegistry.TryFind(ppType);
  if (entry == nullptr) return;
  // Compared on the registry's values, so a record whose write failed is not sent again until
  // one of them changes.
  if (ToUnsigned(entry->Find(kOwnerAccountIdKey), 0) == accountId &&
      entry->Find(kOwnerTimestampKey).GetUnsigned(0) == timestamp &&
      entry->Find(kOwnerModifiedKey).GetBool(false) == modified) {
    return;
  }
  entry->Field(kOwnerAccountIdKey).SetUnsigned(accountId);
  entry->Field(kOwnerTimestampKey).SetUnsigned(timestamp);
  entry->Field(kOwnerModifiedKey).SetBool(modified);
  const std::string path =
      std::string(kInstallSettingsPath) + std::string(entry->Find(kDatastoreKey).GetString());
  std::vector<CallArgument> arguments;
  arguments.push_back(CallArgument{ZEK_DATA_STORE_VALUE_ARGUMENT,
                                   BindingResult(OwnerRecord(accountId, timestamp, modified))});
  CallResult written = CallFunction(PLUGIN_METHOD_POST, path, arguments);
  if (written.error)
    Log(kLogError, kSettingsLogCategory, 0, kSetOwnerFailed, written.message.c_str());
}

void SettingsPlugin::SendPreferencesTelemetry(std::string_view eventName) {
  BindingProperty fields;
  fields.Field(kPreferencesTelemetryField).SetString(eventName);
  // The sender completes at once and its outcome is of no interest here.
  (void)SendTelemetryEvent(kPreferencesTelemetryEvent, fields);
}

}  // namespace Varn::Client::Settings

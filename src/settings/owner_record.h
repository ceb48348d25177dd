// The owner record of an account preference file, kept in the host's data store at
// "/data-store/v1/install-settings/" + the type's datastore key:
//   {"accountId": Unsigned, "timestamp": Unsigned, "modified": Bool}
// and the reading rule its members follow.
#ifndef ZEK_SETTINGS_OWNER_RECORD_H_
#define ZEK_SETTINGS_OWNER_RECORD_H_

#include <cstdint>
#include <string_view>

#include "binding/binding_property.h"

namespace Varn::Client::Settings {

inline constexpr std::string_view kInstallSettingsPath = "/data-store/v1/install-settings/";
inline constexpr std::string_view kOwnerAccountIdKey = "accountId";
inline constexpr std::string_view kOwnerTimestampKey = "timestamp";
inline constexpr std::string_view kOwnerModifiedKey = "modified";
// The telemetry event about preference files, and its one field.
inline constexpr std::string_view kPreferencesTelemetryEvent = "qev__preferences__event";
inline constexpr std::string_view kPreferencesTelemetryField = "event_name";

// `value` as an unsigned 64-bit number by its kind: Bool 0 or 1; Signed and Unsigned their bit
// pattern; Float truncated toward zero over the whole unsigned range; String parsed as strtoull
// with base 0 (not a number: 0); Enum its 32-bit value sign-extended; any other kind `def`.
uint64_t ToUnsigned(const BindingProperty& value, uint64_t def = 0);

// The record sent to the data store.
BindingProperty OwnerRecord(uint64_t accountId, uint64_t timestamp, bool modified);

}  // namespace Varn::Client::Settings

#endif  // ZEK_SETTINGS_OWNER_RECORD_H_

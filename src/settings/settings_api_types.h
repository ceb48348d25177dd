// The records and the enumeration that the settings routes and the login subscription exchange,
// and their registration in the plugin's type registry.
#ifndef ZEK_SETTINGS_SETTINGS_API_TYPES_H_
#define ZEK_SETTINGS_SETTINGS_API_TYPES_H_

#include <cstdint>

#include "binding/binding_property.h"
#include "binding/binding_registry.h"

namespace Varn::Client::Settings::Api {

// One category of a preference file as the routes pass it in and out ("SettingCategory").
struct SettingCategoryResource {
  int32_t schemaVersion = 0;
  BindingProperty data;
};

// The phase of the login ("LoginSessionStates"). The values are the login service's; they do not
// follow the order of registration.
enum class LoginSessionState : int32_t {
  kInProgress = 0,
  kSucceeded = 1,
  kLoggingOut = 2,
  kError = 3,
};

// The login service's session record ("LoginSession"). A default record means nobody is logged
// in.
struct LoginSession {
  LoginSessionState state = LoginSessionState::kInProgress;
  uint64_t profileId = 0;
  uint64_t accountId = 0;
  BindingProperty authToken;
};

// Registers "SettingCategory", "LoginSessionStates" and "LoginSession", in that order. Must run
// before the first route or event converts one of them.
void RegisterSettingsApiTypes(BindingRegistry& registry);

}  // namespace Varn::Client::Settings::Api

#endif  // ZEK_SETTINGS_SETTINGS_API_TYPES_H_

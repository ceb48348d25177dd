#include "settings/settings_api_types.h"

#include "binding/binding_record_builder.h"

namespace Varn::Client::Settings::Api {

void RegisterSettingsApiTypes(BindingRegistry& registry) {
  DeclareStructure<SettingCategoryResource>(registry, "SettingCategory")
      .Field(ZEK_MEMBER(SettingCategoryResource, schemaVersion), "")
      .Field(ZEK_MEMBER(SettingCategoryResource, data), "");
  // Registered in the login service's order; the values are fixed independently of it.
  DeclareEnum<LoginSessionState>(registry, "LoginSessionStates")
      .Value("IN_PROGRESS", LoginSessionState::kInProgress)
      .Value("ERROR", LoginSessionState::kError)
      .Value("SUCCEEDED", LoginSessionState::kSucceeded)
      .Value("LOGGING_OUT", LoginSessionState::kLoggingOut);
  DeclareStructure<LoginSession>(registry, "LoginSession")
      .Field(ZEK_MEMBER(LoginSession, state), "")
      .Field(ZEK_MEMBER(LoginSession, profileId), "")
      .Field(ZEK_MEMBER(LoginSession, accountId), "")
      .Field(ZEK_MEMBER(LoginSession, authToken), "");
}

}  // namespace Varn::Client::Settings::Api

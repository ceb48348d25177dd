// Login session tracking: the plugin keeps whatever the login service last published, and every
// account operation reads that copy. No state change starts or stops anything here; the account
// phase starts from the readiness of the player-preferences service (account_phase.cc).
#include "plugin/route_argument.h"
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {

void SettingsPlugin::OnLoginSessionEvent(const TypedResourceEvent<Api::LoginSession>& event) {
  const uint64_t before = loginSession.accountId;
  switch (event.eventType) {
    case PluginResourceEventType::Create:
    case PluginResourceEventType::Update:
      loginSession = event.data;
      break;
    case PluginResourceEventType::Delete:
      // Nobody is logged in: the default record, so that account operations find no account.
      loginSession = Api::LoginSession();
      break;
  }
  // When another player logs in, the files in memory are the previous player's until this
  // one's account phase has run: a write before then would save them under the new account (and
  // upload them to its server copy). A logout keeps them, as it keeps everything else.
  if (loginSession.accountId != 0 && loginSession.accountId != before) {
    loadedAccountTypes_.clear();
  }
}

void SettingsPlugin::OnLoginSessionEvent(const PluginResourceEvent& event) {
  TypedResourceEvent<Api::LoginSession> typed;
  typed.uri = event.uri;
  typed.eventType = event.eventType;
  if (event.eventType == PluginResourceEventType::Create ||
      event.eventType == PluginResourceEventType::Update) {
    BindingResult converted;
    RouteArgument<Api::LoginSession>::Assign(converted, event.data, "data", typed.data,
                                             &Registry());
    if (!converted.IsOk()) return;
  }
  // A Delete often carries nothing; the logout must be seen all the same.
  OnLoginSessionEvent(typed);
}

}  // namespace Varn::Client::Settings

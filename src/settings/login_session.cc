// Login session tracking: the plugin keeps whatever the login service last published, and every
// account operation reads that copy. No state change starts or stops anything here; the account
// phase starts from the readiness of the player-preferences service (account_phase.cc).
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {

void SettingsPlugin::OnLoginSessionEvent(const TypedResourceEvent<Api::LoginSession>& event) {
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
}

}  // namespace Varn::Client::Settings

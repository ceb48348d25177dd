// The account phase, the upload timer and the stop sequence.
//
// The account phase runs when the player-preferences service announces its readiness with an
// Update while a player is logged in: every account type is synchronised with the service, or,
// when the service is disabled, owner-checked and loaded from disk. Local changes are uploaded by
// a repeating timer, never at the moment they are written: a write sets skipNextUpload, the next
// tick only clears it, and the tick after uploads, so a burst of writes goes up once, one to two
// periods after its last write.
#include <cmath>
#include <string>
#include <vector>

#include "plugin/route_argument.h"
#include "runtime/logger.h"
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {
namespace {

constexpr std::string_view kUploadTimerName = "zek-settings.check_upload";
constexpr std::string_view kUploadRateLimitKey = "UploadRateLimit";
// The shortest period between upload ticks, whatever the platform configuration says.
constexpr double kMinimumUploadPeriod = 5.0;
constexpr const char* kServiceDisabled = "player-preference service is disabled";
constexpr int32_t kWarning = 1;

}  // namespace

void SettingsPlugin::OnPlayerPreferencesReadyEvent(const TypedResourceEvent<bool>& event) {
  ppServiceReady = event.data;
  // The value fetched at subscription arrives as Create and must not start anything: only the
  // service's own announcement does.
  if (event.eventType == PluginResourceEventType::Update) StartAccount();
}

void SettingsPlugin::OnPlayerPreferencesReadyEvent(const PluginResourceEvent& event) {
  TypedResourceEvent<bool> typed;
  typed.uri = event.uri;
  typed.eventType = event.eventType;
  BindingResult converted;
  RouteArgument<bool>::Assign(converted, event.data, "data", typed.data, &Registry());
  // A Delete without a bool is the service going away: it is not ready any more.
  if (!converted.IsOk()) {
    if (event.eventType != PluginResourceEventType::Delete) return;
    typed.data = false;
  }
  OnPlayerPreferencesReadyEvent(typed);
}

void SettingsPlugin::OnPlatformConfigEvent(const PluginResourceEvent& event) {
  if (event.eventType != PluginResourceEventType::Create &&
      event.eventType != PluginResourceEventType::Update) {
    return;
  }
  // Only a Float counts; an integer, like any other kind, reads as 0.0 and so as the floor. A
  // period that is not a finite number would make the timer spin or never tick.
  double period = event.data.Find(kUploadRateLimitKey).GetFloat(0.0);
  uploadRateLimit =
      std::isfinite(period) && period >= kMinimumUploadPeriod ? period : kMinimumUploadPeriod;
}

void SettingsPlugin::StartAccount() {
  if (loginSession.state != Api::LoginSessionState::kSucceeded || loginSession.accountId == 0 ||
      loginSession.profileId == 0) {
    return;
  }
  // The walk calls out to services and loads files, which may touch the registry: take the keys
  // first.
  std::vector<std::string> types;
  ppTypeRegistry.ForEachMember(
      [&](std::string_view key, const BindingProperty&) { types.emplace_back(key); });
  // A new phase starts every type's uploads afresh.
  uploadRetries_.clear();

  if (ppServiceReady) {
    for (const std::string& ppType : types) SyncPreferenceType(ppType);
    SetTimer(kUploadTimerName, uploadRateLimit, [this] { OnCheckUploadTimer(); });
    return;
  }
  Log(kWarning, kSettingsLogCategory, 0, "%s", kServiceDisabled);
  for (const std::string& ppType : types) {
    LoadAfterOwnerCheck(ppType);
    if (BindingProperty* entry = ppTypeRegistry.TryFind(ppType)) {
      entry->Field(kInitialisedKey).SetBool(true);
    }
  }
}

void SettingsPlugin::OnCheckUploadTimer() {
  if (!skipNextUpload) (void)UploadModifiedPreferences();
  skipNextUpload = false;
}

void SettingsPlugin::Stop() {
  KillTimer(kUploadTimerName);
  // The last pass sends every modified type even right after a write: the quiet period protects
  // the service from bursts, and there is no later tick to wait for.
  (void)UploadModifiedPreferences(UploadPass::kStop);
  skipNextUpload = false;
  PluginBase::Stop();
}

}  // namespace Varn::Client::Settings

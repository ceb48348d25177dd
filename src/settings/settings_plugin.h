// SettingsPlugin: the settings back-end plugin object. It owns all settings state; the frame
// (PluginBase) owns the rest. Every member and method runs on the host's calling thread (start,
// stop, requests, events, timer ticks), so nothing here takes a lock.
//
// Where each part lives: the object, its paths and readiness in settings_plugin.cc; loading,
// reading, patching and saving preference files in preference_store.cc (the frame-free file
// rules in preference_file.h); the routes in settings_routes.cc; owner records and telemetry in
// owner_record.cc; the login session, synchronisation, account phase, game-settings bridge and
// file reset in their own files.
#ifndef ZEK_SETTINGS_SETTINGS_PLUGIN_H_
#define ZEK_SETTINGS_SETTINGS_PLUGIN_H_

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "binding/file_system.h"
#include "plugin/plugin_base.h"
#include "plugin/plugin_resource_event.h"
#include "settings/settings_api_types.h"

namespace Varn::Client::Settings {

// The log category of every settings line ("DBG").
inline constexpr uint32_t kSettingsLogCategory = 1;

// Members of a registry entry (the owner-record members are in owner_record.h) and the keys of a
// PreferenceTypeDefinition.
inline constexpr std::string_view kFilepathKey = "filepath";
inline constexpr std::string_view kOverrideFlagKey = "filepath_override_flag";
inline constexpr std::string_view kDatastoreKey = "datastore_key";
inline constexpr std::string_view kFileresetKey = "filereset";
inline constexpr std::string_view kInitialisedKey = "initialised";
inline constexpr std::string_view kPpTypeKey = "ppType";

// The definition of an account preference type: "ppType", "filepath", "filepath_override_flag"
// and "datastore_key".
using PreferenceTypeDefinition = std::map<std::string, std::string, std::less<>>;

// The outcome of a settings operation that a route answers: success, or an error status with its
// message text.
struct SettingsResult {
  static constexpr uint32_t kError = 500;
  static SettingsResult Ok() { return {}; }
  static SettingsResult Error(std::string message) { return {false, kError, std::move(message)}; }

  bool ok = true;
  uint32_t status = 0;
  std::string message;
};

class SettingsPlugin : public PluginBase {
 public:
  static constexpr std::string_view kShortName = "zek-settings";
  static constexpr std::string_view kLocalKind = "local";
  static constexpr std::string_view kAccountKind = "account";
  static constexpr std::string_view kGamePreferences = "GamePreferences";
  static constexpr std::string_view kQevPreferences = "QEVPreferences";
  // The answer of every operation that needs a file path when the command line is unavailable.
  static constexpr std::string_view kNoCommandLineMessage = "Failed to get commandLineParams";

  SettingsPlugin() = default;
  ~SettingsPlugin() override = default;

  // ---- Object, paths and readiness (settings_plugin.cc) ----
  void RegisterApi() override;  // settings_routes.cc
  // Subscribes, loads the local file and registers the account types; always true.
  bool Start() override;
  // Cancels the upload timer, runs one last tick, then the frame's stop (account_phase.cc).
  void Stop() override;

  // The host's command-line arguments, fetched once and kept; null when they cannot be fetched
  // (after the assertion report), in which case the next call asks again.
  const std::vector<std::string>* GetCommandLineArgs();
  // The installation directory, fetched once; the empty text when unavailable.
  const std::string& GetInstallDir();
  // The value of "--<name>=<value>" in `arguments` (first match wins), or nothing.
  static std::optional<std::string> FindCommandLineOption(
      std::string_view name, const std::vector<std::string>& arguments);
  // `relative` joined onto the installation directory, whole; unchanged when that is empty.
  std::string ResolveInstallPath(std::string_view relative);
  // The file paths; nothing when the command line is unavailable (no path is guessed).
  std::optional<std::string> LocalPreferencesFilePath();
  std::optional<std::string> PreferenceFilePath(std::string_view ppType);
  // Adds (or replaces) the registry entry of one account type, with its owner record.
  void RegisterPreferenceType(const PreferenceTypeDefinition& definition);
  // Marks the type's account file loaded; the first time every type is, publishes ready once.
  void MarkReadyIfComplete(std::string_view ppType);
  // The registry entry of `ppType`, or null; never creates one.
  const BindingProperty* FindRegistryEntry(std::string_view ppType) const;

  // ---- Preference files (preference_store.cc) ----
  void LoadPreferences(std::string_view path, BindingProperty& target, std::string_view kind,
                       std::string_view ppType);
  void LoadLocalPreferences();
  void LoadAccountPreferences(std::string_view ppType);
  static BindingProperty GetSettingCategory(const BindingProperty& root, std::string_view category);
  SettingsResult PatchSettingCategory(std::string_view category,
                                      const Api::SettingCategoryResource& resource,
                                      std::string_view path, BindingProperty& target,
                                      std::string_view kind, std::string_view ppType);
  static void MergeSettingsData(BindingProperty& destination, const BindingProperty& source);
  // Writes `value` whole to `path` with CR LF line ends; false (logged) on failure. The first
  // save over a file that failed to load in this run keeps its bytes as "<path>.corrupt" first.
  bool SavePreferenceFile(std::string_view path, const BindingProperty& value);
  // The path to write the file of `ppType` (kLocalKind's file for an empty type), after loading
  // the file first when its load was skipped because the path was unknown; nothing when the
  // command line is still unavailable.
  std::optional<std::string> PathForWrite(std::string_view ppType);
  // Logs the warning of a write that succeeded but may not survive a crash (its folder could not
  // be synced); the file itself is in place.
  void LogWriteWarning(const FileStatus& written);
  // Update events of one category record: the v1 path of its kind, then the v2 path.
  void PublishCategory(std::string_view category, std::string_view kind, std::string_view ppType,
                       const BindingProperty& record);
  // The `accountData` member of a registered type, created Empty when missing.
  BindingProperty& AccountRoot(std::string_view ppType);
  // An error for a write to the account file of `ppType` before the account phase has loaded
  // it in this run, or nothing when the write may go ahead.
  std::optional<SettingsResult> RefuseEarlyAccountWrite(std::string_view ppType) const;

  // ---- Routes (settings_routes.cc) ----
  // The v1 account routes' preference type for a category.
  static std::string_view V1PreferenceType(std::string_view category);
  // Routes 6, 7 and 9 for registered types (and GamePreferences through the bridge).
  SettingsResult GetAccountCategory(std::string_view ppType, std::string_view category,
                                    BindingProperty& answer);
  SettingsResult PatchAccountCategory(std::string_view ppType, std::string_view category,
                                      const Api::SettingCategoryResource& resource);
  bool DidReset(std::string_view ppType) const;
  SettingsResult GetLocalCategory(std::string_view category, BindingProperty& answer);
  SettingsResult PatchLocalCategory(std::string_view category,
                                    const Api::SettingCategoryResource& resource);

  // ---- Owner records and telemetry (owner_record.cc) ----
  void SetOwner(std::string_view ppType, uint64_t accountId, uint64_t timestamp, bool modified);
  void SendPreferencesTelemetry(std::string_view eventName);

  // ======== Engineer S2's section (issue 14) ========
  // Login session tracking (login_session.cc).
  void OnLoginSessionEvent(const TypedResourceEvent<Api::LoginSession>& event);
  // The same for an event whose data is not converted yet: a Delete resets the session whatever
  // it carries; a Create or Update whose data is not a LoginSession is ignored.
  void OnLoginSessionEvent(const PluginResourceEvent& event);
  // Player-preferences synchronisation (player_preferences_sync.cc).
  void SyncPreferenceType(std::string_view ppType);
  // The upload pass of a timer tick. Types whose last uploads failed wait out their backoff.
  bool UploadModifiedPreferences();
  // Which pass an upload is: a timer tick, or the last one at stop, which tries every modified
  // type at once so that no change is left behind for want of a tick.
  enum class UploadPass { kTick, kStop };
  bool UploadModifiedPreferences(UploadPass pass);
  // Account phase and upload timer (account_phase.cc).
  void OnPlayerPreferencesReadyEvent(const TypedResourceEvent<bool>& event);
  // The same unconverted: a Delete that carries no bool says the service is gone (not ready).
  void OnPlayerPreferencesReadyEvent(const PluginResourceEvent& event);
  void OnPlatformConfigEvent(const PluginResourceEvent& event);
  void StartAccount();
  void OnCheckUploadTimer();
  // Game-settings bridge and replace (game_settings_bridge.cc).
  // The GamePreferences read of a category: {schemaVersion 1, data} from the game-settings
  // service, data Empty when the call fails.
  BindingProperty GetGamePreferencesCategory(std::string_view category);
  // The GamePreferences partial write (after skipNextUpload was set by the caller).
  SettingsResult PatchGamePreferencesCategory(std::string_view category,
                                              const Api::SettingCategoryResource& resource);
  // Route 8 whole: refusals, replace, save, owner record, events.
  SettingsResult ReplaceSettingCategory(std::string_view ppType, std::string_view category,
                                        const Api::SettingCategoryResource& resource);
  void OnGameSettingsEvent(const PluginResourceEvent& event);
  void OnInputSettingsEvent(const PluginResourceEvent& event);
  // File reset on account change (file_reset.cc).
  // Empties the file of `ppType` when it belongs to another account. False when the file is
  // foreign and could not be emptied: it must then not be loaded.
  bool ResetIfForeignOwner(std::string_view ppType);
  // ======== End of S2's section ========

  // ---- State, in the documented order. ----
  std::optional<std::vector<std::string>> commandLineArgs;
  std::optional<std::string> installDir;
  BindingProperty accountData;
  BindingProperty localData;
  bool ppServiceReady = false;
  bool settingsReady = false;
  BindingProperty ppTypeRegistry;
  Api::LoginSession loginSession;
  bool gameSettingsSavePending = false;
  bool skipNextUpload = false;
  double uploadRateLimit = 5.0;

 private:
  // Paths of files that exist but failed to load in this run; the first save over one keeps its
  // bytes beside it first.
  std::set<std::string, std::less<>> failedLoads_;
  // Loads skipped because the command line was unavailable, by preference type ("" for the
  // local file); the first operation that gets the path loads the file before writing it.
  std::set<std::string, std::less<>> skippedLoads_;
  // Preference types whose account file the account phase has loaded (or found unreadable or
  // missing) for the player logged in now. Until then the memory copy holds nothing of the file,
  // or another player's, and saving it would replace every category on disk with the few
  // written since, or give that player's settings to this one.
  std::set<std::string, std::less<>> loadedAccountTypes_;

  // ======== S2's private state (issue 14) ========
  // A type whose uploads keep failing: how many failed in a row, and how many more tick passes
  // it sits out before the next try (the wait doubles with each failure, up to kMaxUploadBackoff
  // periods).
  struct UploadRetry {
    uint32_t failures = 0;
    uint32_t passesToWait = 0;
  };
  static constexpr uint32_t kMaxUploadBackoff = 64;
  // Uploads one modified type; false with the error logged (once per run of failures) and the
  // type kept modified for a later pass.
  bool UploadPreferenceType(const std::string& ppType);
  void UploadFailed(const std::string& ppType, const std::string& message);
  // The download of `ppType` failed with `status`: warn, check the owner, load what is on disk.
  void SyncFailed(std::string_view ppType, uint32_t status);
  // Loads the account file unless a reset of a foreign file failed; then only marks it loaded.
  void LoadAfterOwnerCheck(std::string_view ppType);
  std::map<std::string, UploadRetry, std::less<>> uploadRetries_;
  // ======== End of S2's private state ========
};

}  // namespace Varn::Client::Settings

#endif  // ZEK_SETTINGS_SETTINGS_PLUGIN_H_

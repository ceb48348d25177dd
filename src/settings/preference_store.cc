// Loading, reading, patching and saving the preference files held in localData and accountData.
// The file rules themselves are preference_file.h's; this adds the events, telemetry, log lines
// and owner records around them.
#include <string>

#include "runtime/log_record.h"
#include "runtime/logger.h"
#include "settings/owner_record.h"
#include "settings/preference_file.h"
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {
namespace {

constexpr char kLoadFailed[] =
    "Failed to load \"%s\" \"%s\" settings file: \"%s\".  Attempting to continue.";
constexpr char kSaveFailed[] = "Failed to save qev preferences file: \"%s\" - %s.";
constexpr char kCorruptKept[] =
    "Kept the unreadable preferences file \"%s\" as \"%s\" before replacing it.";
constexpr char kCorruptNotKept[] =
    "Could not keep the unreadable preferences file \"%s\" as \"%s\" (%s); it is not replaced.";
constexpr std::string_view kOlderSchema = "The schema version is older than the current one";
constexpr std::string_view kSaveFailedAnswer = "Failed to save qev preferences. ";
// Service Unavailable: the write may be sent again once the account phase has loaded the file
// (the ready event).
constexpr uint32_t kAccountNotLoadedStatus = 503;
constexpr std::string_view kAccountNotLoadedHead = "zek-settings: The ";
constexpr std::string_view kAccountNotLoadedTail =
    " preferences file is not loaded yet (it loads after login); nothing was saved.";

constexpr std::string_view kLoadSucceededEvent = "load_qev_preferences_succeeded_";
constexpr std::string_view kLoadFailedEvent = "load_qev_preferences_failed_";
constexpr std::string_view kSaveFailedEvent = "save_qev_preferences_failed_";

std::string Concat(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text += piece;
  return text;
}

}  // namespace

void SettingsPlugin::PublishCategory(std::string_view category, std::string_view kind,
                                     std::string_view ppType, const BindingProperty& record) {
  PublishResourceEvent(PluginResourceEventType::Update,
                       Concat({"/zek-settings/v1/", kind, "/", category}), record);
  if (kind == kAccountKind) {
    PublishResourceEvent(PluginResourceEventType::Update,
                         Concat({"/zek-settings/v2/account/", ppType, "/", category}), record);
  } else {
    PublishResourceEvent(PluginResourceEventType::Update,
                         Concat({"/zek-settings/v2/local/", category}), record);
  }
}

void SettingsPlugin::LoadPreferences(std::string_view path, BindingProperty& target,
                                     std::string_view kind, std::string_view ppType) {
  PreferenceFileLoad load = LoadPreferenceFile(path);
  switch (load.state) {
    case PreferenceFileLoad::State::kMissing:
      return;
    case PreferenceFileLoad::State::kFailed: {
      failedLoads_.emplace(path);
      SendPreferencesTelemetry(Concat({kLoadFailedEvent, ppType, "_", kind}));
      const std::string type(ppType), kind_text(kind), path_text(path);
      Log(kLogError, kSettingsLogCategory, 0, kLoadFailed, type.c_str(), kind_text.c_str(),
          path_text.c_str());
      return;
    }
    case PreferenceFileLoad::State::kLoaded:
      break;
  }
  // The file on disk is readable again (a download may have replaced it): nothing to keep.
  if (auto it = failedLoads_.find(path); it != failedLoads_.end()) failedLoads_.erase(it);
  target = std::move(load.root);
  target.ForEachMember([&](std::string_view category, const BindingProperty& record) {
    if (IsAnnouncedCategory(record)) PublishCategory(category, kind, ppType, record);
  });
  SendPreferencesTelemetry(Concat({kLoadSucceededEvent, kind}));
}

void SettingsPlugin::LoadLocalPreferences() {
  std::optional<std::string> path = LocalPreferencesFilePath();
  if (!path) {
    skippedLoads_.emplace();
    return;
  }
  skippedLoads_.erase(std::string());
  LoadPreferences(*path, localData, kLocalKind, {});
}

void SettingsPlugin::LoadAccountPreferences(std::string_view ppType) {
  loadedAccountTypes_.emplace(ppType);
  std::optional<std::string> path = PreferenceFilePath(ppType);
  if (path) {
    if (auto it = skippedLoads_.find(ppType); it != skippedLoads_.end()) skippedLoads_.erase(it);
    LoadPreferences(*path, AccountRoot(ppType), kAccountKind, ppType);
  } else {
    AccountRoot(ppType);
    skippedLoads_.emplace(ppType);
  }
  // A file that could not be read still counts as loaded: readiness must not hang on it.
  MarkReadyIfComplete(ppType);
}

BindingProperty SettingsPlugin::GetSettingCategory(const BindingProperty& root,
                                                   std::string_view category) {
  return Settings::GetSettingCategory(root, category);
}

SettingsResult SettingsPlugin::PatchSettingCategory(std::string_view category,
                                                    const Api::SettingCategoryResource& resource,
                                                    std::string_view path, BindingProperty& target,
                                                    std::string_view kind,
                                                    std::string_view ppType) {
  if (!ApplyCategoryPatch(target, category, resource.schemaVersion, resource.data)) {
    return SettingsResult::Error(std::string(kOlderSchema));
  }
  if (!SavePreferenceFile(path, target)) {
    SendPreferencesTelemetry(Concat({kSaveFailedEvent, kind}));
    return SettingsResult::Error(Concat({kSaveFailedAnswer, kind}));
  }
  PublishCategory(category, kind, ppType, target.Find(category));
  if (kind == kAccountKind) {
    const BindingProperty* entry = FindRegistryEntry(ppType);
    const uint64_t timestamp =
        entry != nullptr ? entry->Find(kOwnerTimestampKey).GetUnsigned(0) : 0;
    SetOwner(ppType, loginSession.accountId, timestamp, true);
  }
  return SettingsResult::Ok();
}

void SettingsPlugin::MergeSettingsData(BindingProperty& destination,
                                       const BindingProperty& source) {
  Settings::MergeSettingsData(destination, source);
}

bool SettingsPlugin::SavePreferenceFile(std::string_view path, const BindingProperty& value) {
  const std::string path_text(path);
  if (auto it = failedLoads_.find(path); it != failedLoads_.end()) {
    // The file exists but could not be read: its bytes may still be a player's settings that a
    // person or a later version can recover, so they are kept before the file is replaced.
    const std::string copy = path_text + std::string(kCorruptSuffix);
    FileStatus kept = KeepCorruptCopy(path);
    if (!kept.IsOk()) {
      Log(kLogError, kSettingsLogCategory, 0, kCorruptNotKept, path_text.c_str(), copy.c_str(),
          kept.Message().c_str());
      return false;
    }
    Log(kLogError, kSettingsLogCategory, 0, kCorruptKept, path_text.c_str(), copy.c_str());
    failedLoads_.erase(it);
  }
  FileStatus saved = SavePreferenceFileAtomically(path, value);
  if (!saved.IsOk()) {
    Log(kLogError, kSettingsLogCategory, 0, kSaveFailed, path_text.c_str(),
        saved.Message().c_str());
    return false;
  }
  LogWriteWarning(saved);
  return true;
}

void SettingsPlugin::LogWriteWarning(const FileStatus& written) {
  if (!written.Warning().empty()) {
    Log(kLogWarning, kSettingsLogCategory, 0, "%s", written.Warning().c_str());
  }
}

std::optional<std::string> SettingsPlugin::PathForWrite(std::string_view ppType) {
  const bool local = ppType.empty();
  std::optional<std::string> path = local ? LocalPreferencesFilePath() : PreferenceFilePath(ppType);
  if (!path) return std::nullopt;
  // The file was never read because its path was unknown; writing the memory copy now would
  // replace everything the player stored with the few categories written since.
  if (auto it = skippedLoads_.find(ppType); it != skippedLoads_.end()) {
    skippedLoads_.erase(it);
    LoadPreferences(*path, local ? localData : AccountRoot(ppType),
                    local ? kLocalKind : kAccountKind, ppType);
  }
  return path;
}

std::optional<SettingsResult> SettingsPlugin::RefuseEarlyAccountWrite(
    std::string_view ppType) const {
  if (loadedAccountTypes_.contains(ppType)) return std::nullopt;
  return SettingsResult{false, kAccountNotLoadedStatus,
                        Concat({kAccountNotLoadedHead, ppType, kAccountNotLoadedTail})};
}

BindingProperty& SettingsPlugin::AccountRoot(std::string_view ppType) {
  return accountData.Field(ppType);
}

}  // namespace Varn::Client::Settings

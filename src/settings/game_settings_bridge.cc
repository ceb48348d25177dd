// The GamePreferences bridge to the game-settings service, and the replace of an account
// category.
//
// "game-settings" and "input-settings" belong to the game-settings service, not to a file here.
// The account routes present them as the preference type "GamePreferences": reads and partial
// writes are forwarded, replaces are refused, and every change the service publishes is mirrored
// on this plugin's own account paths. Every answer and mirror is a category record with
// schemaVersion 1.
#include <string>

#include "settings/owner_record.h"
#include "settings/preference_file.h"
#include "settings/settings_plugin.h"
#include "zek/service_arguments.h"

namespace Varn::Client::Settings {
namespace {

constexpr int64_t kGameSettingsSchemaVersion = 1;
constexpr std::string_view kGameSettingsCategory = "game-settings";
constexpr std::string_view kInputSettingsCategory = "input-settings";
constexpr std::string_view kV1AccountPrefix = "/zek-settings/v1/account/";
constexpr std::string_view kV2AccountPrefix = "/zek-settings/v2/account/";
constexpr std::string_view kForwardFailedTelemetry = "save_qev_preferences_failed";
constexpr std::string_view kForwardFailedMessage = "Failed to save qev preferences - ";
constexpr std::string_view kCannotReplaceMessage = "zek-settings: Cannot replace GamePreferences";
constexpr std::string_view kReplaceSaveFailedTelemetry =
    "replace_save_qev_preferences_failed_account";
constexpr std::string_view kReplaceSaveFailedMessage =
    "Failed to save qev preferences during replace.";

BindingProperty GameSettingsRecord(BindingProperty data) {
  BindingProperty record;
  record.Field(kSchemaVersionKey).SetSigned(kGameSettingsSchemaVersion);
  record.Field(kDataKey) = std::move(data);
  return record;
}

std::string UnsupportedTypeMessage(std::string_view ppType) {
  return "PP type " + std::string(ppType) + " is not supported by settings backend.";
}

}  // namespace

BindingProperty SettingsPlugin::GetGamePreferencesCategory(std::string_view category) {
  CallResult read =
      CallFunction(PLUGIN_METHOD_GET, std::string(ZEK_GAME_SETTINGS_PATH) + std::string(category));
  // A failed read answers the record without data, not an error.
  return GameSettingsRecord(read.error ? BindingProperty() : std::move(read.value));
}

SettingsResult SettingsPlugin::PatchGamePreferencesCategory(
    std::string_view category, const Api::SettingCategoryResource& resource) {
  // Set before the call: the next upload pass asks the service to save whatever it now holds.
  gameSettingsSavePending = true;
  CallResult written =
      CallFunction(PLUGIN_METHOD_PATCH, std::string(ZEK_GAME_SETTINGS_PATH) + std::string(category),
                   {Arg(ZEK_GAME_SETTINGS_VALUE_ARGUMENT, resource.data)});
  if (written.error) {
    SendPreferencesTelemetry(kForwardFailedTelemetry);
    return SettingsResult::Error(std::string(kForwardFailedMessage) + std::string(category));
  }
  BindingProperty record = GameSettingsRecord(std::move(written.value));
  std::string name(category);
  PublishResourceEvent(PluginResourceEventType::Update, std::string(kV1AccountPrefix) + name,
                       record);
  PublishResourceEvent(PluginResourceEventType::Update,
                       std::string(kV2AccountPrefix) + std::string(kGamePreferences) + "/" + name,
                       record);
  return SettingsResult::Ok();
}

SettingsResult SettingsPlugin::ReplaceSettingCategory(
    std::string_view ppType, std::string_view category,
    const Api::SettingCategoryResource& resource) {
  if (ppType == kGamePreferences) return SettingsResult::Error(std::string(kCannotReplaceMessage));
  if (FindRegistryEntry(ppType) == nullptr) {
    return SettingsResult::Error(UnsupportedTypeMessage(ppType));
  }
  std::optional<std::string> path = PathForWrite(ppType);
  if (!path) return SettingsResult::Error(std::string(kNoCommandLineMessage));
  if (auto refused = RefuseEarlyAccountWrite(ppType)) return *refused;

  BindingProperty& root = AccountRoot(ppType);
  BindingProperty& record = root.Field(category);
  record.Field(kSchemaVersionKey).SetSigned(resource.schemaVersion);
  BindingProperty& data = record.Field(kDataKey);
  data.Reset();
  // A merge into nothing copies a structure (less members with an empty name); anything else
  // would merge into nothing at all, so it is stored as sent rather than silently dropped.
  if (resource.data.GetType() == BindingPropertyType::Structure) {
    MergeSettingsData(data, resource.data);
  } else {
    data = resource.data;
  }

  if (!SavePreferenceFile(*path, root)) {
    // The new value stays in memory, so the next successful save of the file writes it.
    SendPreferencesTelemetry(kReplaceSaveFailedTelemetry);
    return SettingsResult::Error(std::string(kReplaceSaveFailedMessage));
  }
  const BindingProperty* entry = FindRegistryEntry(ppType);
  uint64_t timestamp = entry != nullptr ? entry->Find(kOwnerTimestampKey).GetUnsigned(0) : 0;
  SetOwner(ppType, loginSession.accountId, timestamp, true);
  BindingProperty announced = AccountRoot(ppType).Find(category);
  std::string name(category);
  PublishResourceEvent(PluginResourceEventType::Update, std::string(kV1AccountPrefix) + name,
                       announced);
  PublishResourceEvent(PluginResourceEventType::Update,
                       std::string(kV2AccountPrefix) + std::string(ppType) + "/" + name, announced);
  return SettingsResult::Ok();
}

void SettingsPlugin::OnGameSettingsEvent(const PluginResourceEvent& event) {
  // Create, Update and Delete alike: subscribers of the settings paths only ever see Updates.
  BindingProperty record = GameSettingsRecord(event.data);
  PublishResourceEvent(PluginResourceEventType::Update,
                       std::string(kV1AccountPrefix) + std::string(kGameSettingsCategory), record);
  PublishResourceEvent(PluginResourceEventType::Update,
                       std::string(kV2AccountPrefix) + std::string(kGamePreferences) + "/" +
                           std::string(kGameSettingsCategory),
                       record);
}

void SettingsPlugin::OnInputSettingsEvent(const PluginResourceEvent& event) {
  BindingProperty record = GameSettingsRecord(event.data);
  PublishResourceEvent(PluginResourceEventType::Update,
                       std::string(kV1AccountPrefix) + std::string(kInputSettingsCategory), record);
  PublishResourceEvent(PluginResourceEventType::Update,
                       std::string(kV2AccountPrefix) + std::string(kGamePreferences) + "/" +
                           std::string(kInputSettingsCategory),
                       record);
}

}  // namespace Varn::Client::Settings

// Synchronisation of the account files with the player-preferences service.
//
// The service stores each account file as one opaque text. At the start of an account phase the
// plugin sends the file's text, gets back the service's hash of it, and asks for the service's
// copy with that hash: a 304 says the copy is the same, else the copy comes back and replaces the
// file. Types changed locally are uploaded by the timer's passes. The plugin never hashes or
// parses the text in this exchange.
//
// A change is never dropped on the way: a failed upload keeps the type modified and tries again
// after a backoff; a modified file whose server copy has not moved is kept and uploaded instead
// of being replaced; and when the server has moved on, the local bytes are kept beside the file
// as "<file>.unsynced" before its copy replaces them.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "binding/file_system.h"
#include "runtime/logger.h"
#include "settings/owner_record.h"
#include "settings/settings_plugin.h"
#include "zek/service_arguments.h"

namespace Varn::Client::Settings {
namespace {

constexpr std::string_view kRecordDataKey = "data";
constexpr std::string_view kRecordModifiedKey = "modified";
constexpr std::string_view kRecordTypeKey = "type";
constexpr std::string_view kRecordVersionKey = "version";
constexpr std::string_view kRecordVersion = "1.0";
constexpr std::string_view kUnsyncedSuffix = ".unsynced";
// The status a download is failed with when its answer does not hold a text.
constexpr uint32_t kBadAnswer = 502;
constexpr uint32_t kNotModified = 304;

constexpr const char* kServerReturned = "%s, player-preference server returned %d";
constexpr const char* kNotConnected =
    "We are not connected to the Player Prefs server, are you logged in?";
constexpr const char* kNoPreferencesPath = "Failed to get preferences path for key '%s'";
constexpr const char* kStoreFailed = "Failed to store updated preferences for key '%s' - '%s'";
constexpr const char* kStoredAfterFailures =
    "Stored updated preferences for key '%s' after %u failed attempts";
constexpr const char* kKeptLocal =
    "%s: local changes were not uploaded yet and the server copy has not changed since; the "
    "local file is kept and will be uploaded";
constexpr const char* kKeptUnsynced =
    "%s: local changes were not uploaded and the server has a newer copy; the local file is kept "
    "as \"%s\"";
constexpr const char* kUnsyncedFailed =
    "%s: local changes were not uploaded and the server has a newer copy, but keeping them as "
    "\"%s\" failed - %s; the local file is kept";
constexpr const char* kDownloadWriteFailed =
    "Failed to write downloaded preferences file: \"%s\" - %s.";
constexpr int32_t kInfo = 0;
constexpr int32_t kWarning = 1;
constexpr int32_t kError = 2;

std::string Format(const char* format, const char* a, const char* b = "") {
  int length = std::snprintf(nullptr, 0, format, a, b);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  std::snprintf(text.data(), text.size() + 1, format, a, b);
  return text;
}

}  // namespace

void SettingsPlugin::SyncPreferenceType(std::string_view ppType) {
  std::string type(ppType);
  std::optional<std::string> path = PreferenceFilePath(ppType);
  if (!path) {
    // No command line, no file: the load records that it was skipped.
    LoadAccountPreferences(ppType);
    return;
  }
  // A missing or unreadable file is the empty text.
  std::string local;
  if (!ReadWholeFile(*path, local).IsOk()) local.clear();

  CallResult hash =
      CallFunction(PLUGIN_METHOD_POST, ZEK_PP_HASH_PATH, {Arg(ZEK_PP_HASH_TEXT_ARGUMENT, local)});
  if (hash.error) return SyncFailed(ppType, hash.status);
  if (hash.value.GetType() != BindingPropertyType::String) return SyncFailed(ppType, kBadAnswer);

  CallResult download =
      CallFunction(PLUGIN_METHOD_GET, std::string(ZEK_PP_PREFERENCE_PATH "/") + type,
                   {Arg(ZEK_PP_DOWNLOAD_HASH_ARGUMENT, std::string(hash.value.GetString()))});
  const BindingProperty* entry = FindRegistryEntry(ppType);
  uint64_t stored_timestamp = entry != nullptr ? entry->Find(kOwnerTimestampKey).GetUnsigned(0) : 0;
  if (download.error) {
    if (download.status != kNotModified) return SyncFailed(ppType, download.status);
    // The file equals the server copy: it is this player's now, with nothing left to upload.
    SetOwner(ppType, loginSession.accountId, stored_timestamp, false);
    LoadAccountPreferences(ppType);
    return;
  }
  const BindingProperty& data = download.value.Find(kRecordDataKey);
  // An answer without a text is no copy at all; emptying the file for it would lose it.
  if (data.GetType() != BindingPropertyType::String) return SyncFailed(ppType, kBadAnswer);
  std::string_view text = data.GetString();
  uint64_t timestamp = download.value.Find(kRecordModifiedKey).GetUnsigned(0);

  // Changes of this player that never went up (a kill after a write, a failed upload).
  bool unsent = entry != nullptr && entry->Find(kOwnerModifiedKey).GetBool(false) &&
                ToUnsigned(entry->Find(kOwnerAccountIdKey), 0) == loginSession.accountId;
  if (unsent && timestamp == stored_timestamp) {
    // The server has not moved since the copy this file started from: the file is newer. It
    // stays modified, so the first tick uploads it.
    Log(kInfo, kSettingsLogCategory, 0, kKeptLocal, type.c_str());
    LoadAccountPreferences(ppType);
    return;
  }
  if (unsent && text != local) {
    std::string kept = *path + std::string(kUnsyncedSuffix);
    FileStatus copied = WriteFileAtomically(kept, local);
    if (!copied.IsOk()) {
      // Without the copy the download would destroy the only record of the changes.
      Log(kError, kSettingsLogCategory, 0, kUnsyncedFailed, type.c_str(), kept.c_str(),
          copied.Message().c_str());
      LoadAccountPreferences(ppType);
      return;
    }
    Log(kWarning, kSettingsLogCategory, 0, kKeptUnsynced, type.c_str(), kept.c_str());
  }

  (void)CreateParentFolders(*path);
  FileStatus written = WriteFileAtomically(*path, text);
  if (!written.IsOk()) {
    // The old bytes are still whole; they are not the server copy, so they are treated as what
    // they are: a local file that may belong to someone else.
    Log(kError, kSettingsLogCategory, 0, kDownloadWriteFailed, path->c_str(),
        written.Message().c_str());
    LoadAfterOwnerCheck(ppType);
    return;
  }
  LogWriteWarning(written);
  SetOwner(ppType, loginSession.accountId, timestamp, false);
  LoadAccountPreferences(ppType);
}

void SettingsPlugin::SyncFailed(std::string_view ppType, uint32_t status) {
  std::string type(ppType);
  Log(kWarning, kSettingsLogCategory, 0, kServerReturned, type.c_str(), static_cast<int>(status));
  LoadAfterOwnerCheck(ppType);
}

bool SettingsPlugin::UploadModifiedPreferences() {
  return UploadModifiedPreferences(UploadPass::kTick);
}

bool SettingsPlugin::UploadModifiedPreferences(UploadPass pass) {
  if (!ppServiceReady) {
    Log(kWarning, kSettingsLogCategory, 0, "%s", kNotConnected);
    return false;
  }
  if (gameSettingsSavePending) {
    gameSettingsSavePending = false;
    // The game settings are saved before anything goes up; when that fails nothing does, and the
    // modified types wait for the next pass.
    if (CallFunction(PLUGIN_METHOD_POST, ZEK_GAME_SETTINGS_SAVE_PATH).error) return false;
  }
  // With nobody logged in an upload would record the file as nobody's, and the next player to log
  // in would be shown it: modified types wait for a login.
  if (loginSession.accountId == 0) return false;

  std::vector<std::string> modified;
  ppTypeRegistry.ForEachMember([&](std::string_view key, const BindingProperty& entry) {
    if (entry.Find(kOwnerModifiedKey).GetBool(false)) modified.emplace_back(key);
  });
  bool all_sent = true;
  for (const std::string& ppType : modified) {
    auto retry = uploadRetries_.find(ppType);
    if (pass == UploadPass::kTick && retry != uploadRetries_.end() &&
        retry->second.passesToWait > 0) {
      --retry->second.passesToWait;
      all_sent = false;
      continue;
    }
    // A failure of one type does not hold back the others.
    if (!UploadPreferenceType(ppType)) all_sent = false;
  }
  return all_sent;
}

bool SettingsPlugin::UploadPreferenceType(const std::string& ppType) {
  std::optional<std::string> path = PreferenceFilePath(ppType);
  std::string text;
  if (!path || !ReadWholeFile(*path, text).IsOk()) {
    UploadFailed(ppType, Format(kNoPreferencesPath, ppType.c_str()));
    return false;
  }
  BindingProperty record;
  record.Field(kRecordDataKey).SetString(text);
  record.Field(kRecordTypeKey).SetString(ppType);
  record.Field(kRecordVersionKey).SetString(kRecordVersion);
  CallResult upload = CallFunction(PLUGIN_METHOD_PUT, ZEK_PP_PREFERENCE_PATH,
                                   {Arg(ZEK_PP_UPLOAD_RECORD_ARGUMENT, std::move(record))});
  if (upload.error) {
    UploadFailed(ppType, Format(kStoreFailed, ppType.c_str(), upload.message.c_str()));
    return false;
  }
  auto retry = uploadRetries_.find(ppType);
  if (retry != uploadRetries_.end()) {
    Log(kInfo, kSettingsLogCategory, 0, kStoredAfterFailures, ppType.c_str(),
        retry->second.failures);
    uploadRetries_.erase(retry);
  }
  SetOwner(ppType, loginSession.accountId, upload.value.Find(kRecordModifiedKey).GetUnsigned(0),
           false);
  return true;
}

void SettingsPlugin::UploadFailed(const std::string& ppType, const std::string& message) {
  UploadRetry& retry = uploadRetries_[ppType];
  // One line per run of failures: a service that is down for an hour is one fault, not seven
  // hundred.
  if (retry.failures == 0) Log(kError, kSettingsLogCategory, 0, "%s", message.c_str());
  if (retry.failures < UINT32_MAX) ++retry.failures;
  // The next try comes 2, 4, 8 ... up to kMaxUploadBackoff periods after this one.
  uint32_t periods = kMaxUploadBackoff;
  if (retry.failures < 7) periods = std::min<uint32_t>(1u << retry.failures, kMaxUploadBackoff);
  retry.passesToWait = periods - 1;
  // The change is still on disk only: the owner record says so, across a restart too.
  const BindingProperty* entry = FindRegistryEntry(ppType);
  uint64_t timestamp = entry != nullptr ? entry->Find(kOwnerTimestampKey).GetUnsigned(0) : 0;
  SetOwner(ppType, loginSession.accountId, timestamp, true);
}

}  // namespace Varn::Client::Settings

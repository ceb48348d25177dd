// Emptying an account file that belongs to another player, where the server copy of the player
// who is logged in cannot be had (the service is disabled, or its answer failed). The player then
// starts from defaults instead of another player's settings.
//
// The foreign bytes are kept first beside the file as "<file>.reset-<owner accountId>", readable
// by the file's user only, so that support can give the owner back a file that was emptied on a
// shared machine. The file itself is emptied through the crash-safe save: a kill leaves either
// the old bytes or none, never half a file.
#include <string>

#include "binding/file_system.h"
#include "runtime/logger.h"
#include "settings/owner_record.h"
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {
namespace {

constexpr const char* kResetWarning =
    "local file belongs to another player, resetting file %llu %llu %s";
constexpr const char* kResetCopyFailed =
    "Failed to keep a copy of the reset preferences file: \"%s\" - %s.";
constexpr const char* kResetFailed =
    "Failed to reset preferences file: \"%s\" - %s. It is not loaded for this player.";
constexpr std::string_view kResetCopyInfix = ".reset-";
constexpr std::string_view kV1DidResetPath = "/zek-settings/v1/account/didreset";
constexpr std::string_view kV2DidResetPrefix = "/zek-settings/v2/didreset/";
constexpr int32_t kWarning = 1;
constexpr int32_t kError = 2;

}  // namespace

bool SettingsPlugin::ResetIfForeignOwner(std::string_view ppType) {
  BindingProperty* entry = ppTypeRegistry.TryFind(ppType);
  if (entry == nullptr) return true;
  uint64_t owner = ToUnsigned(entry->Find(kOwnerAccountIdKey), 0);
  uint64_t account = loginSession.accountId;
  if (owner == 0 || account == 0 || owner == account) return true;

  std::optional<std::string> path = PreferenceFilePath(ppType);
  // Without the command line there is no path, so nothing can be loaded either; the report is
  // made already.
  if (!path) return false;
  std::string type(ppType);
  Log(kWarning, kSettingsLogCategory, 0, kResetWarning, static_cast<unsigned long long>(owner),
      static_cast<unsigned long long>(account), type.c_str());

  std::string foreign;
  if (ReadWholeFile(*path, foreign).IsOk() && !foreign.empty()) {
    std::string copy = *path + std::string(kResetCopyInfix) + std::to_string(owner);
    FileStatus kept = WriteFileAtomically(copy, foreign, FileAccess::kOwnerOnly);
    // The reset goes on without the copy: the other player's settings must not be shown.
    if (!kept.IsOk()) {
      Log(kError, kSettingsLogCategory, 0, kResetCopyFailed, copy.c_str(), kept.Message().c_str());
    }
  }
  (void)CreateParentFolders(*path);
  FileStatus emptied = WriteFileAtomically(*path, "");
  if (!emptied.IsOk()) {
    // The foreign file is still whole: keep its owner record so that the next phase resets it
    // again, and announce nothing.
    Log(kError, kSettingsLogCategory, 0, kResetFailed, path->c_str(), emptied.Message().c_str());
    return false;
  }
  LogWriteWarning(emptied);

  SetOwner(ppType, 0, 0, false);
  entry = ppTypeRegistry.TryFind(ppType);
  if (entry == nullptr) return true;
  BindingProperty& flag = entry->Field(kFileresetKey);
  flag.SetBool(true);
  // The v1 path names no type, so a reset of any type is announced there too.
  BindingProperty value = flag;
  PublishResourceEvent(PluginResourceEventType::Update, kV1DidResetPath, value);
  PublishResourceEvent(PluginResourceEventType::Update, std::string(kV2DidResetPrefix) + type,
                       value);
  return true;
}

void SettingsPlugin::LoadAfterOwnerCheck(std::string_view ppType) {
  if (ResetIfForeignOwner(ppType)) {
    LoadAccountPreferences(ppType);
  } else {
    MarkReadyIfComplete(ppType);
  }
}

}  // namespace Varn::Client::Settings

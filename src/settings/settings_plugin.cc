#include "settings/settings_plugin.h"

#include <functional>

#include "runtime/assert_report.h"
#include "settings/owner_record.h"

namespace Varn::Client::Settings {
namespace {

constexpr std::string_view kCommandLineArgsPath = "/varnclient/command-line-args";
constexpr std::string_view kInstallDirPath = "/data-store/v1/install-dir";
constexpr std::string_view kReadyPath = "/zek-settings/v2/ready";

constexpr std::string_view kLoginSessionPath = "/zek-login/v1/session";
constexpr std::string_view kPlayerPreferencesReadyPath =
    "/zek-player-preferences/v1/player-preferences-ready";
constexpr std::string_view kPlatformConfigPath = "/zek-platform-config/v1/namespaces/QevSettings";
constexpr std::string_view kGameSettingsPath = "/zek-game-settings/v1/game-settings";
constexpr std::string_view kInputSettingsPath = "/zek-game-settings/v1/input-settings";

constexpr std::string_view kLocalOverrideFlag = "local-preferences-file-path";
constexpr std::string_view kLocalDefaultPath = "Config/QEVLocalPreferences.yaml";

// The account preference types, in registration order.
const PreferenceTypeDefinition& Definition(size_t index) {
  static const PreferenceTypeDefinition kDefinitions[] = {
      {{"ppType", "QEVPreferences"},
       {"filepath", "Config/QEVAccountPreferences.yaml"},
       {"filepath_override_flag", "account-preferences-file-path"},
       {"datastore_key", "qev-settings"}},
      {{"ppType", "EsportsPreferences"},
       {"filepath", "Config/EsportsPreferences.yaml"},
       {"filepath_override_flag", "esports-preferences-file-path"},
       {"datastore_key", "esports-settings"}},
      {{"ppType", "PerksPreferences"},
       {"filepath", "Config/PerksPreferences.yaml"},
       {"filepath_override_flag", "perks-preferences-file-path"},
       {"datastore_key", "perks-settings"}},
  };
  return kDefinitions[index];
}
constexpr size_t kDefinitionCount = 3;

std::string_view DefinitionValue(const PreferenceTypeDefinition& definition, std::string_view key) {
  auto it = definition.find(key);
  return it == definition.end() ? std::string_view() : std::string_view(it->second);
}

bool IsSlash(char c) { return c == '/' || c == '\\'; }

// Appends one path component: a component that is absolute (a leading slash, or a drive letter
// before ':') starts afresh; backslashes become slashes.
void AppendComponent(std::string& joined, std::string_view component) {
  const bool absolute = (!component.empty() && IsSlash(component[0])) ||
                        (component.size() > 1 && component[1] == ':');
  if (absolute) {
    joined.clear();
  } else if (!joined.empty() && !IsSlash(joined.back())) {
    joined += '/';
  }
  for (char c : component) joined += c == '\\' ? '/' : c;
}

}  // namespace

bool SettingsPlugin::Start() {
  // The session and the readiness are converted by their handlers, so that a Delete carrying
  // nothing still reaches them.
  ListenResource(kLoginSessionPath,
                 [this](const PluginResourceEvent& event) { OnLoginSessionEvent(event); });
  ListenResource(kPlayerPreferencesReadyPath, [this](const PluginResourceEvent& event) {
    OnPlayerPreferencesReadyEvent(event);
  });
  ListenResource(kPlatformConfigPath,
                 [this](const PluginResourceEvent& event) { OnPlatformConfigEvent(event); });
  ListenResource(kGameSettingsPath,
                 [this](const PluginResourceEvent& event) { OnGameSettingsEvent(event); });
  ListenResource(kInputSettingsPath,
                 [this](const PluginResourceEvent& event) { OnInputSettingsEvent(event); });
  LoadLocalPreferences();
  for (size_t i = 0; i < kDefinitionCount; ++i) RegisterPreferenceType(Definition(i));
  return true;
}

const std::vector<std::string>* SettingsPlugin::GetCommandLineArgs() {
  if (commandLineArgs) return &*commandLineArgs;
  TypedCallResult<std::vector<std::string>> fetched =
      CallFunction<std::vector<std::string>>(PLUGIN_METHOD_GET, kCommandLineArgsPath);
  if (fetched.error || !fetched.data) {
    AssertFailed(kAssertCommandLineParams, kCommandLineParamsDescription);
    return nullptr;
  }
  commandLineArgs = std::move(*fetched.data);
  return &*commandLineArgs;
}

const std::string& SettingsPlugin::GetInstallDir() {
  if (installDir) return *installDir;
  TypedCallResult<std::string> fetched =
      CallFunction<std::string>(PLUGIN_METHOD_GET, kInstallDirPath);
  // Without an answer the default paths stay relative; asking again would not help.
  installDir = fetched.data ? std::move(*fetched.data) : std::string();
  return *installDir;
}

std::optional<std::string> SettingsPlugin::FindCommandLineOption(
    std::string_view name, const std::vector<std::string>& arguments) {
  std::string prefix = name.starts_with("--") ? std::string(name) : "--" + std::string(name);
  prefix += '=';
  for (const std::string& argument : arguments) {
    if (argument.starts_with(prefix)) return argument.substr(prefix.size());
  }
  return std::nullopt;
}

std::string SettingsPlugin::ResolveInstallPath(std::string_view relative) {
  const std::string& dir = GetInstallDir();
  if (dir.empty()) return std::string(relative);
  // The joined path is used whole: it is not cut to a platform's path limit, since a cut path
  // would name another file.
  std::string joined;
  joined.reserve(dir.size() + 1 + relative.size());
  AppendComponent(joined, dir);
  AppendComponent(joined, relative);
  return joined;
}

std::optional<std::string> SettingsPlugin::LocalPreferencesFilePath() {
  const std::vector<std::string>* arguments = GetCommandLineArgs();
  if (arguments == nullptr) return std::nullopt;
  if (std::optional<std::string> given = FindCommandLineOption(kLocalOverrideFlag, *arguments)) {
    return given;
  }
  return ResolveInstallPath(kLocalDefaultPath);
}

std::optional<std::string> SettingsPlugin::PreferenceFilePath(std::string_view ppType) {
  const BindingProperty* entry = FindRegistryEntry(ppType);
  static const BindingProperty kUnknownType;
  const BindingProperty& fields = entry != nullptr ? *entry : kUnknownType;
  const std::vector<std::string>* arguments = GetCommandLineArgs();
  if (arguments == nullptr) return std::nullopt;
  if (std::optional<std::string> given =
          FindCommandLineOption(fields.Find(kOverrideFlagKey).GetString(), *arguments)) {
    return given;
  }
  return ResolveInstallPath(fields.Find(kFilepathKey).GetString());
}

void SettingsPlugin::RegisterPreferenceType(const PreferenceTypeDefinition& definition) {
  BindingProperty entry;
  entry.Field(kFilepathKey).SetString(DefinitionValue(definition, kFilepathKey));
  entry.Field(kOverrideFlagKey).SetString(DefinitionValue(definition, kOverrideFlagKey));
  entry.Field(kDatastoreKey).SetString(DefinitionValue(definition, kDatastoreKey));
  entry.Field(kFileresetKey).SetBool(false);
  entry.Field(kInitialisedKey).SetBool(false);
  const std::string path =
      std::string(kInstallSettingsPath) + std::string(entry.Find(kDatastoreKey).GetString());
  CallResult owner = CallFunction(PLUGIN_METHOD_GET, path);
  if (owner.error) {
    AssertFailed(kAssertQevSettings, kQevSettingsDescription);
    entry.Field(kOwnerAccountIdKey).SetSigned(0);
    entry.Field(kOwnerTimestampKey).SetSigned(0);
    entry.Field(kOwnerModifiedKey).SetBool(false);
  } else {
    for (std::string_view key : {kOwnerAccountIdKey, kOwnerTimestampKey, kOwnerModifiedKey}) {
      entry.Field(key) = owner.value.Find(key);
    }
  }
  ppTypeRegistry.Field(DefinitionValue(definition, kPpTypeKey)) = std::move(entry);
}

void SettingsPlugin::MarkReadyIfComplete(std::string_view ppType) {
  if (settingsReady) return;
  if (BindingProperty* entry = ppTypeRegistry.TryFind(ppType)) {
    entry->Field(kInitialisedKey).SetBool(true);
  }
  bool complete = true;
  ppTypeRegistry.ForEachMember([&](std::string_view, const BindingProperty& entry) {
    complete = complete && entry.Find(kInitialisedKey).GetBool(false);
  });
  if (!complete) return;
  settingsReady = true;
  BindingProperty ready;
  ready.SetBool(true);
  PublishResourceEvent(PluginResourceEventType::Update, kReadyPath, ready);
}

const BindingProperty* SettingsPlugin::FindRegistryEntry(std::string_view ppType) const {
  return ppTypeRegistry.TryFind(ppType);
}

}  // namespace Varn::Client::Settings

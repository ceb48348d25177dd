// The settings routes: the API types, the fourteen routes in their declared order, and what each
// answers. Errors are answered with status 500 and the message as the error text.
#include <string>

#include "plugin/route_context.h"
#include "plugin/route_declaration.h"
#include "settings/preference_file.h"
#include "settings/settings_plugin.h"

namespace Varn::Client::Settings {
namespace {

using Api::SettingCategoryResource;

constexpr std::string_view kUnsupportedPrefix = "PP type ";
constexpr std::string_view kUnsupportedSuffix = " is not supported by settings backend.";

std::string Unsupported(std::string_view ppType) {
  std::string text(kUnsupportedPrefix);
  text += ppType;
  text += kUnsupportedSuffix;
  return text;
}

// Answers a failed result through the route's context.
void Answer(RouteContext& context, const SettingsResult& result) {
  if (!result.ok) context.Fail(result.status, result.message);
}

}  // namespace

void SettingsPlugin::RegisterApi() {
  Api::RegisterSettingsApiTypes(Registry());

  // 1-3: the v1 account routes name only the category and map it onto a preference type.
  Route(PLUGIN_METHOD_GET, "/zek-settings/v1/account/{category}",
        [this](RouteContext& context, std::string category) {
          BindingProperty answer;
          Answer(context, GetAccountCategory(V1PreferenceType(category), category, answer));
          return answer;
        })
      .Path("category", "");
  Route(PLUGIN_METHOD_PATCH, "/zek-settings/v1/account/{category}",
        [this](RouteContext& context, std::string category, SettingCategoryResource resource) {
          Answer(context, PatchAccountCategory(V1PreferenceType(category), category, resource));
        })
      .Path("category", "")
      .Body("settingsResource", "");
  Route(PLUGIN_METHOD_PUT, "/zek-settings/v1/account/{category}",
        [this](RouteContext& context, std::string category, SettingCategoryResource resource) {
          skipNextUpload = true;
          Answer(context, ReplaceSettingCategory(V1PreferenceType(category), category, resource));
        })
      .Path("category", "")
      .Body("settingsResource", "");
  // 4: every write saves at once, so there is nothing left to save.
  Route(PLUGIN_METHOD_POST, "/zek-settings/v1/account/save", [] {});
  Route(PLUGIN_METHOD_GET, "/zek-settings/v1/account/didreset",
        [this] { return DidReset(kQevPreferences); });

  // 6-10: the v2 account routes name the preference type.
  Route(PLUGIN_METHOD_GET, "/zek-settings/v2/account/{ppType}/{category}",
        [this](RouteContext& context, std::string ppType, std::string category) {
          BindingProperty answer;
          Answer(context, GetAccountCategory(ppType, category, answer));
          return answer;
        })
      .Path("ppType", "")
      .Path("category", "");
  Route(PLUGIN_METHOD_PATCH, "/zek-settings/v2/account/{ppType}/{category}",
        [this](RouteContext& context, std::string ppType, std::string category,
               SettingCategoryResource resource) {
          Answer(context, PatchAccountCategory(ppType, category, resource));
        })
      .Path("ppType", "")
      .Path("category", "")
      .Body("settingsResource", "");
  Route(PLUGIN_METHOD_PUT, "/zek-settings/v2/account/{ppType}/{category}",
        [this](RouteContext& context, std::string ppType, std::string category,
               SettingCategoryResource resource) {
          Answer(context, ReplaceSettingCategory(ppType, category, resource));
        })
      .Path("ppType", "")
      .Path("category", "")
      .Body("settingsResource", "");
  Route(PLUGIN_METHOD_GET, "/zek-settings/v2/didreset/{ppType}", [this](std::string ppType) {
    return DidReset(ppType);
  }).Path("ppType", "");
  Route(PLUGIN_METHOD_GET, "/zek-settings/v2/ready", [this] { return settingsReady; });

  // 11-14: the local file, the same in both generations.
  for (std::string_view generation :
       {"/zek-settings/v1/local/{category}", "/zek-settings/v2/local/{category}"}) {
    Route(PLUGIN_METHOD_GET, generation, [this](RouteContext& context, std::string category) {
      BindingProperty answer;
      Answer(context, GetLocalCategory(category, answer));
      return answer;
    }).Path("category", "");
    Route(PLUGIN_METHOD_PATCH, generation,
          [this](RouteContext& context, std::string category, SettingCategoryResource resource) {
            Answer(context, PatchLocalCategory(category, resource));
          })
        .Path("category", "")
        .Body("settingsResource", "");
  }
}

std::string_view SettingsPlugin::V1PreferenceType(std::string_view category) {
  return category == "game-settings" || category == "input-settings" ? kGamePreferences
                                                                     : kQevPreferences;
}

SettingsResult SettingsPlugin::GetAccountCategory(std::string_view ppType,
                                                  std::string_view category,
                                                  BindingProperty& answer) {
  if (ppType == kGamePreferences) {
    answer = GetGamePreferencesCategory(category);
    return SettingsResult::Ok();
  }
  if (FindRegistryEntry(ppType) == nullptr) return SettingsResult::Error(Unsupported(ppType));
  answer = GetSettingCategory(accountData.Find(ppType), category);
  return SettingsResult::Ok();
}

SettingsResult SettingsPlugin::PatchAccountCategory(std::string_view ppType,
                                                    std::string_view category,
                                                    const SettingCategoryResource& resource) {
  // Any account write, even one refused below, holds the next upload tick back.
  skipNextUpload = true;
  if (ppType == kGamePreferences) return PatchGamePreferencesCategory(category, resource);
  if (FindRegistryEntry(ppType) == nullptr) return SettingsResult::Error(Unsupported(ppType));
  std::optional<std::string> path = PathForWrite(ppType);
  if (!path) return SettingsResult::Error(std::string(kNoCommandLineMessage));
  if (auto refused = RefuseEarlyAccountWrite(ppType)) return *refused;
  return PatchSettingCategory(category, resource, *path, AccountRoot(ppType), kAccountKind, ppType);
}

bool SettingsPlugin::DidReset(std::string_view ppType) const {
  const BindingProperty* entry = FindRegistryEntry(ppType);
  return entry != nullptr && entry->Find(kFileresetKey).GetBool(false);
}

SettingsResult SettingsPlugin::GetLocalCategory(std::string_view category,
                                                BindingProperty& answer) {
  // While the local file could not be read for want of its path, its categories are unknown,
  // not absent: the read asks for the path again instead of answering defaults.
  if (skippedLoads_.contains(std::string_view()) && !PathForWrite({})) {
    return SettingsResult::Error(std::string(kNoCommandLineMessage));
  }
  answer = GetSettingCategory(localData, category);
  return SettingsResult::Ok();
}

SettingsResult SettingsPlugin::PatchLocalCategory(std::string_view category,
                                                  const SettingCategoryResource& resource) {
  std::optional<std::string> path = PathForWrite({});
  if (!path) return SettingsResult::Error(std::string(kNoCommandLineMessage));
  return PatchSettingCategory(category, resource, *path, localData, kLocalKind, {});
}

}  // namespace Varn::Client::Settings

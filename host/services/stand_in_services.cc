#include "host/services/stand_in_services.h"

#include <cstdio>
#include <utility>

#include "host/services/service_values.h"
#include "zek/service_arguments.h"

namespace Varn::Host {
namespace {

constexpr std::string_view kCommandLinePath = "/varnclient/command-line-args";
constexpr std::string_view kInstallDirPath = "/data-store/v1/install-dir";
constexpr std::string_view kInstallSettingsPath = ZEK_DATA_STORE_INSTALL_SETTINGS_PATH;
constexpr std::string_view kSessionPath = "/zek-login/v1/session";
constexpr std::string_view kReadyPath = "/zek-player-preferences/v1/player-preferences-ready";
constexpr std::string_view kGameSettingsPrefix = "/zek-game-settings/v1/";
constexpr std::string_view kGameSettingsSave = "/zek-game-settings/v1/save";
constexpr std::string_view kPlatformConfigPath = "/zek-platform-config/v1/namespaces/QevSettings";
constexpr std::string_view kTelemetryPrefix = "/telemetry/v1/events/";

constexpr std::string_view kInstallSettingsScope = "install-settings";
constexpr std::string_view kReadyKey = "player-preferences-ready";
constexpr std::string_view kPlatformConfigKey = "platform-config";
constexpr std::string_view kGameSettingsScope = "game-settings";
constexpr std::string_view kUploadRateLimit = "UploadRateLimit";
constexpr double kDefaultUploadRateLimit = 5.0;

constexpr const char* kSessionStates[] = {"IN_PROGRESS", "SUCCEEDED", "LOGGING_OUT", "ERROR"};
constexpr std::string_view kGameCategories[] = {"game-settings", "input-settings"};

ServiceAnswer NotFound(std::string_view what) {
  return ErrorAnswer(404, std::string(what) + " not found");
}

ServiceAnswer MethodNotAllowed(const ServiceRequest& request) {
  return ErrorAnswer(405, "Method not allowed on " + std::string(request.path));
}

ServiceAnswer StoreFailed(const std::string& error) {
  return ErrorAnswer(500, "The host's store refused the write: " + error);
}

// Objects merge member by member, recursively; anything else replaces what was there.
void MergeInto(BindingProperty& target, const BindingProperty& patch) {
  if (patch.GetType() != BindingPropertyType::Structure ||
      target.GetType() != BindingPropertyType::Structure) {
    target = patch;
    return;
  }
  patch.ForEachMember([&](std::string_view key, const BindingProperty& value) {
    MergeInto(target.Field(key), value);
  });
}

// A LoginSession with its state by name; ids must be non-negative integers.
bool NormaliseSession(const BindingProperty& body, BindingProperty& session, std::string& error) {
  if (body.GetType() != BindingPropertyType::Structure) {
    error =
        "A session is an object: {\"state\": \"SUCCEEDED\", \"profileId\": 7, "
        "\"accountId\": 42}";
    return false;
  }
  const BindingProperty& state = body.Find("state");
  std::string_view name;
  if (state.GetType() == BindingPropertyType::String) {
    for (const char* known : kSessionStates) {
      if (state.GetString() == known) name = known;
    }
  } else if (state.GetType() == BindingPropertyType::Unsigned && state.GetUnsigned() < 4) {
    name = kSessionStates[state.GetUnsigned()];
  }
  if (name.empty()) {
    error = "\"state\" is one of IN_PROGRESS, SUCCEEDED, LOGGING_OUT, ERROR";
    return false;
  }
  session.MakeStructure();
  session.Field("state").SetString(name);
  for (std::string_view id : {"profileId", "accountId"}) {
    const BindingProperty& value = body.Find(id);
    if (value.IsEmpty()) {
      session.Field(id).SetUnsigned(0);
    } else if (value.GetType() == BindingPropertyType::Unsigned) {
      session.Field(id).SetUnsigned(value.GetUnsigned());
    } else {
      error = "\"" + std::string(id) + "\" is a non-negative integer";
      return false;
    }
  }
  if (const BindingProperty* token = body.TryFind("authToken")) session.Field("authToken") = *token;
  return true;
}

}  // namespace

StandInServices::StandInServices(HostRuntime& runtime, ServiceStore& store, StandInConfig config)
    : runtime_(runtime),
      store_(store),
      config_(std::move(config)),
      publisher_(runtime),
      cloud_(store, publisher_) {}

void StandInServices::Register() {
  runtime_.AddService(PLUGIN_METHOD_GET, std::string(kCommandLinePath),
                      [this](const ServiceRequest& request) {
                        if (request.path != kCommandLinePath) return NotFound(request.path);
                        BindingProperty list;
                        list.MakeCollection();
                        for (const std::string& arg : config_.commandLineArgs) {
                          list.Append().SetString(arg);
                        }
                        return ValueAnswer(std::move(list));
                      });
  runtime_.AddService(PLUGIN_METHOD_GET, std::string(kInstallDirPath),
                      [this](const ServiceRequest& request) {
                        if (request.path != kInstallDirPath) return NotFound(request.path);
                        BindingProperty dir;
                        dir.SetString(config_.installDir);
                        return ValueAnswer(std::move(dir));
                      });
  auto bind = [this](ServiceAnswer (StandInServices::*handler)(const ServiceRequest&)) {
    return [this, handler](const ServiceRequest& request) { return (this->*handler)(request); };
  };
  runtime_.AddService(0, std::string(kInstallSettingsPath),
                      bind(&StandInServices::InstallSettings));
  runtime_.AddService(0, std::string(kSessionPath), bind(&StandInServices::Session));
  runtime_.AddService(0, std::string(kReadyPath), bind(&StandInServices::Readiness));
  runtime_.AddService(0, std::string(kGameSettingsPrefix), bind(&StandInServices::GameSettings));
  runtime_.AddService(0, std::string(kPlatformConfigPath), bind(&StandInServices::PlatformConfig));
  runtime_.AddService(0, std::string(kTelemetryPrefix), bind(&StandInServices::Telemetry));
  cloud_.Register(runtime_);
}

ServiceAnswer StandInServices::InstallSettings(const ServiceRequest& request) {
  std::string_view key = request.path.substr(kInstallSettingsPath.size());
  if (key.empty() || key.find('/') != std::string_view::npos) return NotFound(request.path);
  if (request.method == PLUGIN_METHOD_GET) {
    std::optional<std::string> stored = store_.Get(kInstallSettingsScope, key);
    if (!stored.has_value()) return NotFound("Install setting \"" + std::string(key) + "\"");
    return ValueAnswer(FromJson(*stored));
  }
  if (request.method != PLUGIN_METHOD_POST && request.method != PLUGIN_METHOD_PUT) {
    return MethodNotAllowed(request);
  }
  // A plugin sends the value as the argument ZEK_DATA_STORE_VALUE_ARGUMENT (or, as telemetry
  // does, its members as several arguments); an HTTP caller sends it as the body.
  BindingProperty value;
  ServiceAnswer refusal;
  if (!RequestValue(request, ZEK_DATA_STORE_VALUE_ARGUMENT, value, refusal)) return refusal;
  bool from_members = request.arguments.GetType() == BindingPropertyType::Structure &&
                      request.arguments.Size() > 1 &&
                      request.arguments.TryFind(ZEK_DATA_STORE_VALUE_ARGUMENT) == nullptr &&
                      (request.raw == nullptr || request.raw->bodyLength == 0);
  if (from_members) value = request.arguments;
  bool existed = store_.Get(kInstallSettingsScope, key).has_value();
  std::string error;
  if (!store_.Put(kInstallSettingsScope, key, ToJson(value), error)) return StoreFailed(error);
  publisher_.Publish(existed ? ResourceChange::kUpdate : ResourceChange::kCreate, request.path,
                     value);
  return NoContent();
}

ServiceAnswer StandInServices::Session(const ServiceRequest& request) {
  if (request.path != kSessionPath) return NotFound(request.path);
  std::optional<std::string> stored = store_.Get(kStateScope, kSessionKey);
  std::string error;
  switch (request.method) {
    case PLUGIN_METHOD_GET:
      if (!stored.has_value()) return NotFound("Login session");
      return ValueAnswer(FromJson(*stored));
    case PLUGIN_METHOD_PUT: {
      BindingProperty body;
      ServiceAnswer refusal;
      if (!RequestValue(request, "session", body, refusal)) return refusal;
      BindingProperty session;
      if (!NormaliseSession(body, session, error)) return ErrorAnswer(400, error);
      if (!store_.Put(kStateScope, kSessionKey, ToJson(session), error)) return StoreFailed(error);
      publisher_.Publish(stored.has_value() ? ResourceChange::kUpdate : ResourceChange::kCreate,
                         kSessionPath, session);
      return ValueAnswer(std::move(session));
    }
    case PLUGIN_METHOD_DELETE:
      if (!stored.has_value()) return NotFound("Login session");
      if (!store_.Erase(kStateScope, kSessionKey, error)) return StoreFailed(error);
      // The Delete carries the session that ended, so that listeners that read the event as a
      // LoginSession still can.
      publisher_.Publish(ResourceChange::kDelete, kSessionPath, FromJson(*stored));
      return NoContent();
    default:
      return MethodNotAllowed(request);
  }
}

ServiceAnswer StandInServices::Readiness(const ServiceRequest& request) {
  if (request.path != kReadyPath) return NotFound(request.path);
  if (request.method == PLUGIN_METHOD_GET) {
    std::optional<std::string> stored = store_.Get(kStateScope, kReadyKey);
    BindingProperty ready;
    ready.SetBool(stored.has_value() && FromJson(*stored).GetBool(false));
    return ValueAnswer(std::move(ready));
  }
  if (request.method != PLUGIN_METHOD_PUT) return MethodNotAllowed(request);
  BindingProperty body;
  ServiceAnswer refusal;
  if (!RequestValue(request, "ready", body, refusal)) return refusal;
  if (body.GetType() != BindingPropertyType::Bool) {
    return ErrorAnswer(400, "Readiness is true or false");
  }
  std::string error;
  if (!store_.Put(kStateScope, kReadyKey, ToJson(body), error)) return StoreFailed(error);
  publisher_.Publish(ResourceChange::kUpdate, kReadyPath, body);
  return ValueAnswer(std::move(body));
}

ServiceAnswer StandInServices::GameSettings(const ServiceRequest& request) {
  if (request.path == kGameSettingsSave) {
    if (request.method != PLUGIN_METHOD_POST) return MethodNotAllowed(request);
    return NoContent();
  }
  std::string_view category = request.path.substr(kGameSettingsPrefix.size());
  bool known = false;
  for (std::string_view name : kGameCategories) known = known || category == name;
  if (!known) return NotFound(request.path);
  std::optional<std::string> stored = store_.Get(kGameSettingsScope, category);
  BindingProperty value = stored.has_value() ? FromJson(*stored) : BindingProperty();
  if (value.IsEmpty()) value.MakeStructure();
  if (request.method == PLUGIN_METHOD_GET) return ValueAnswer(std::move(value));
  if (request.method != PLUGIN_METHOD_PATCH) return MethodNotAllowed(request);
  BindingProperty patch;
  ServiceAnswer refusal;
  if (!RequestValue(request, ZEK_GAME_SETTINGS_VALUE_ARGUMENT, patch, refusal)) {
    return refusal;
  }
  MergeInto(value, patch);
  std::string error;
  if (!store_.Put(kGameSettingsScope, category, ToJson(value), error)) return StoreFailed(error);
  publisher_.Publish(ResourceChange::kUpdate, request.path, value);
  return ValueAnswer(std::move(value));
}

ServiceAnswer StandInServices::PlatformConfig(const ServiceRequest& request) {
  if (request.path != kPlatformConfigPath) return NotFound(request.path);
  std::optional<std::string> stored = store_.Get(kStateScope, kPlatformConfigKey);
  if (request.method == PLUGIN_METHOD_GET) {
    if (stored.has_value()) return ValueAnswer(FromJson(*stored));
    BindingProperty defaults;
    defaults.Field(kUploadRateLimit).SetFloat(kDefaultUploadRateLimit);
    return ValueAnswer(std::move(defaults));
  }
  if (request.method != PLUGIN_METHOD_PUT) return MethodNotAllowed(request);
  BindingProperty body;
  ServiceAnswer refusal;
  if (!RequestValue(request, "value", body, refusal)) return refusal;
  if (body.GetType() != BindingPropertyType::Structure) {
    return ErrorAnswer(400, "The namespace's value is an object, e.g. {\"UploadRateLimit\": 5.0}");
  }
  std::string error;
  if (!store_.Put(kStateScope, kPlatformConfigKey, ToJson(body), error)) {
    return StoreFailed(error);
  }
  publisher_.Publish(ResourceChange::kUpdate, kPlatformConfigPath, body);
  return ValueAnswer(std::move(body));
}

ServiceAnswer StandInServices::Telemetry(const ServiceRequest& request) {
  std::string_view name = request.path.substr(kTelemetryPrefix.size());
  if (name.empty() || name.find('/') != std::string_view::npos) return NotFound(request.path);
  if (request.method != PLUGIN_METHOD_POST) return MethodNotAllowed(request);
  // The plugin sends the payload's members as named arguments; an HTTP caller as a JSON body.
  BindingProperty fields = request.arguments;
  if (request.raw != nullptr && request.raw->bodyLength != 0) {
    ServiceAnswer refusal;
    if (!RequestValue(request, "", fields, refusal)) return refusal;
  }
  BindingProperty line;
  line.Field("name").SetString(name);
  line.Field("time").SetUnsigned(NowMilliseconds());
  line.Field("fields") = fields;
  std::string text = ToJson(line) + "\n";
  FILE* file = std::fopen(config_.telemetryPath.c_str(), "a");
  if (file == nullptr) return ErrorAnswer(500, "Cannot open " + config_.telemetryPath);
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  written = std::fclose(file) == 0 && written;
  if (!written) return ErrorAnswer(500, "Cannot append to " + config_.telemetryPath);
  return NoContent();
}

}  // namespace Varn::Host

#include "host/services/player_preferences_cloud.h"

#include <openssl/evp.h>

#include <algorithm>
#include <charconv>

#include "host/services/service_values.h"
#include "zek/service_arguments.h"

namespace Varn::Host {
namespace {

constexpr std::string_view kHashPath = ZEK_PP_HASH_PATH;
constexpr std::string_view kPreferencePath = ZEK_PP_PREFERENCE_PATH;
constexpr std::string_view kOperatorCloud = "/host/v1/cloud/";
constexpr std::string_view kFaultsPath = "/host/v1/faults";
constexpr std::string_view kServiceKey = "player-preferences";
constexpr std::string_view kDownMessage =
    "The player-preferences service is down (PUT /host/v1/faults to bring it up)";
constexpr std::string_view kNoAccount = "No account is logged in";

bool ParseAccount(std::string_view text, uint64_t& account) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), account);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

BindingProperty CopyRecord(const CloudCopy& copy, std::string_view pp_type) {
  BindingProperty record;
  record.Field("data").SetString(copy.data);
  record.Field("modified").SetUnsigned(copy.modified);
  if (!pp_type.empty()) {
    record.Field("type").SetString(pp_type);
    record.Field("version").SetString("1.0");
  }
  return record;
}

}  // namespace

std::string TextHash(std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

void PlayerPreferencesCloud::Register(HostRuntime& runtime) {
  runtime.AddService(0, std::string(kHashPath),
                     [this](const ServiceRequest& request) { return Hash(request); });
  runtime.AddService(0, std::string(kPreferencePath),
                     [this](const ServiceRequest& request) { return Preference(request); });
  runtime.AddService(0, std::string(kOperatorCloud),
                     [this](const ServiceRequest& request) { return OperatorCloud(request); });
  runtime.AddService(0, std::string(kFaultsPath),
                     [this](const ServiceRequest& request) { return Faults(request); });
}

std::optional<uint64_t> PlayerPreferencesCloud::SessionAccount() {
  std::optional<std::string> stored = store_.Get(kStateScope, kSessionKey);
  if (!stored.has_value()) return std::nullopt;
  uint64_t account = FromJson(*stored).Find("accountId").GetUnsigned(0);
  if (account == 0) return std::nullopt;
  return account;
}

bool PlayerPreferencesCloud::Stores(uint64_t account, std::string_view pp_type, std::string data,
                                    CloudCopy& stored, std::string& error) {
  // Two uploads within one millisecond still get different times, so a copy's time names it.
  uint64_t modified = NowMilliseconds();
  if (std::optional<CloudCopy> old = store_.GetCloud(account, pp_type)) {
    modified = std::max(modified, old->modified + 1);
  }
  stored = CloudCopy{std::move(data), modified};
  if (!store_.PutCloud(account, pp_type, stored, error)) return false;
  BindingProperty event;
  event.Field("accountId").SetUnsigned(account);
  event.Field("type").SetString(pp_type);
  event.Field("modified").SetUnsigned(modified);
  event.Field("hash").SetString(TextHash(stored.data));
  publisher_.Publish(ResourceChange::kUpdate,
                     std::string(kPreferencePath) + "/" + std::string(pp_type), event);
  return true;
}

ServiceAnswer PlayerPreferencesCloud::Hash(const ServiceRequest& request) {
  if (request.path != kHashPath) return ErrorAnswer(404, std::string(request.path) + " not found");
  if (down_) return ErrorAnswer(503, std::string(kDownMessage));
  if (request.method != PLUGIN_METHOD_POST) return ErrorAnswer(405, "Method not allowed");
  BindingProperty text;
  ServiceAnswer refusal;
  if (!RequestValue(request, ZEK_PP_HASH_TEXT_ARGUMENT, text, refusal)) return refusal;
  if (text.GetType() != BindingPropertyType::String && !text.IsEmpty()) {
    return ErrorAnswer(400, "The hash is taken of a string");
  }
  BindingProperty hash;
  hash.SetString(TextHash(text.GetString()));
  return ValueAnswer(std::move(hash));
}

ServiceAnswer PlayerPreferencesCloud::Preference(const ServiceRequest& request) {
  if (down_) return ErrorAnswer(503, std::string(kDownMessage));
  std::optional<uint64_t> account = SessionAccount();
  if (request.path == kPreferencePath) {
    if (request.method != PLUGIN_METHOD_PUT) return ErrorAnswer(405, "Method not allowed");
    if (!account.has_value()) return ErrorAnswer(401, std::string(kNoAccount));
    BindingProperty record;
    ServiceAnswer refusal;
    if (!RequestValue(request, ZEK_PP_UPLOAD_RECORD_ARGUMENT, record, refusal)) return refusal;
    const BindingProperty& data = record.Find("data");
    const BindingProperty& type = record.Find("type");
    if (data.GetType() != BindingPropertyType::String ||
        type.GetType() != BindingPropertyType::String || type.GetString().empty()) {
      return ErrorAnswer(400,
                         "An upload is {\"data\": text, \"type\": ppType, \"version\": \"1.0\"}");
    }
    CloudCopy stored;
    std::string error;
    if (!Stores(*account, type.GetString(), std::string(data.GetString()), stored, error)) {
      return ErrorAnswer(500, "The host's store refused the write: " + error);
    }
    return ValueAnswer(CopyRecord(stored, type.GetString()));
  }
  std::string_view pp_type = request.path.substr(kPreferencePath.size());
  if (!pp_type.starts_with('/') || pp_type.size() < 2 ||
      pp_type.find('/', 1) != std::string_view::npos) {
    return ErrorAnswer(404, std::string(request.path) + " not found");
  }
  pp_type.remove_prefix(1);
  if (request.method != PLUGIN_METHOD_GET) return ErrorAnswer(405, "Method not allowed");
  if (!account.has_value()) return ErrorAnswer(401, std::string(kNoAccount));
  std::optional<CloudCopy> copy = store_.GetCloud(*account, pp_type);
  if (!copy.has_value()) {
    return ErrorAnswer(404,
                       "Account " + std::to_string(*account) + " has no " + std::string(pp_type));
  }
  BindingProperty hash;
  ServiceAnswer refusal;
  if (!RequestValue(request, ZEK_PP_DOWNLOAD_HASH_ARGUMENT, hash, refusal)) return refusal;
  std::string given = hash.GetType() == BindingPropertyType::String
                          ? std::string(hash.GetString())
                          : QueryParameter(request.query, ZEK_PP_DOWNLOAD_HASH_ARGUMENT);
  if (!given.empty() && given == TextHash(copy->data)) {
    return ErrorAnswer(304, "Not Modified");
  }
  return ValueAnswer(CopyRecord(*copy, pp_type));
}

ServiceAnswer PlayerPreferencesCloud::OperatorCloud(const ServiceRequest& request) {
  std::string_view rest = request.path.substr(kOperatorCloud.size());
  size_t slash = rest.find('/');
  uint64_t account = 0;
  std::string_view pp_type = slash == std::string_view::npos ? "" : rest.substr(slash + 1);
  if (slash == std::string_view::npos || !ParseAccount(rest.substr(0, slash), account) ||
      account == 0 || pp_type.empty() || pp_type.find('/') != std::string_view::npos) {
    return ErrorAnswer(404, "Use /host/v1/cloud/{accountId}/{ppType}");
  }
  if (request.method == PLUGIN_METHOD_GET) {
    std::optional<CloudCopy> copy = store_.GetCloud(account, pp_type);
    if (!copy.has_value()) {
      return ErrorAnswer(404,
                         "Account " + std::to_string(account) + " has no " + std::string(pp_type));
    }
    return ValueAnswer(CopyRecord(*copy, {}));
  }
  if (request.method != PLUGIN_METHOD_PUT) return ErrorAnswer(405, "Method not allowed");
  BindingProperty body;
  ServiceAnswer refusal;
  if (!RequestValue(request, "copy", body, refusal)) return refusal;
  if (body.Find("data").GetType() != BindingPropertyType::String) {
    return ErrorAnswer(400, "A cloud copy is {\"data\": \"<file text>\"}");
  }
  CloudCopy stored;
  std::string error;
  if (!Stores(account, pp_type, std::string(body.Find("data").GetString()), stored, error)) {
    return ErrorAnswer(500, "The host's store refused the write: " + error);
  }
  return ValueAnswer(CopyRecord(stored, {}));
}

ServiceAnswer PlayerPreferencesCloud::Faults(const ServiceRequest& request) {
  if (request.path != kFaultsPath)
    return ErrorAnswer(404, std::string(request.path) + " not found");
  if (request.method == PLUGIN_METHOD_PUT) {
    BindingProperty body;
    ServiceAnswer refusal;
    if (!RequestValue(request, "faults", body, refusal)) return refusal;
    const BindingProperty& state = body.Find(kServiceKey);
    if (state.GetString() != "up" && state.GetString() != "down") {
      return ErrorAnswer(400, "Faults are {\"player-preferences\": \"up\" | \"down\"}");
    }
    down_ = state.GetString() == "down";
  } else if (request.method != PLUGIN_METHOD_GET) {
    return ErrorAnswer(405, "Method not allowed");
  }
  BindingProperty faults;
  faults.Field(kServiceKey).SetString(down_ ? "down" : "up");
  return ValueAnswer(std::move(faults));
}

}  // namespace Varn::Host

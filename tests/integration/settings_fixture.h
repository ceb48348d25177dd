// The settings plugin as the client's host runs it: the built library loaded through its C entry
// into a HostRuntime on a manual clock, a fresh installation folder, and in-process stand-ins for
// every service the plugin calls. Each stand-in records every call (method, path, named
// arguments, body) in order and answers from a script the test sets per path.
#ifndef ZEK_TESTS_INTEGRATION_SETTINGS_FIXTURE_H_
#define ZEK_TESTS_INTEGRATION_SETTINGS_FIXTURE_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cell_json/cell_json_renderer.h"
#include "host/runtime/host_runtime.h"
#include "zek/plugin_abi.h"
#include "zek/service_arguments.h"

namespace Varn::Host::settings_test {

inline constexpr const char* kLibrary = ZEK_SETTINGS_LIBRARY;
inline constexpr const char* kEntry = "load_zek_settings";

inline constexpr std::string_view kCommandLinePath = "/varnclient/command-line-args";
inline constexpr std::string_view kInstallDirPath = "/data-store/v1/install-dir";
inline constexpr std::string_view kInstallSettingsPath = "/data-store/v1/install-settings/";
inline constexpr std::string_view kTelemetryPath = "/telemetry/v1/events/";

// A call the plugin made to a stand-in service.
struct RecordedCall {
  uint32_t method = 0;
  std::string path;           // with the query, as sent
  BindingProperty arguments;  // the named arguments as a structure (Empty when none)
  std::string body;           // the raw body bytes, if any
};

// A scripted answer: a value, or an error (status and text).
struct ScriptedAnswer {
  BindingProperty value;
  uint32_t status = 200;
  std::string error;

  static ScriptedAnswer Value(BindingProperty value) { return {std::move(value), 200, {}}; }
  static ScriptedAnswer Error(uint32_t status, std::string text) {
    return {BindingProperty(), status, std::move(text)};
  }
};

// An Update (or other) event the plugin published, read from its "OnJsonApiEvent" copy.
struct PublishedEvent {
  std::string uri;
  std::string eventType;
  BindingProperty data;
};

// Values written compactly for tests.
inline BindingProperty Str(std::string_view text) {
  BindingProperty value;
  value.SetString(text);
  return value;
}
inline BindingProperty Strings(const std::vector<std::string>& texts) {
  BindingProperty value;
  value.MakeCollection();
  for (const std::string& text : texts) value.Append().SetString(text);
  return value;
}
// An owner record as the data store keeps it.
inline BindingProperty Owner(uint64_t account, uint64_t timestamp, bool modified) {
  BindingProperty value;
  value.Field("accountId").SetUnsigned(account);
  value.Field("timestamp").SetUnsigned(timestamp);
  value.Field("modified").SetBool(modified);
  return value;
}
// A value as compact JSON (the host's own renderer), for byte-for-byte comparisons.
inline std::string Json(const BindingProperty& value) {
  PluginCell cell{};
  BindingProperty::ToBoundary(value, nullptr, cell);
  std::string text = RenderCellJson(cell);
  BindingProperty::ReleaseBoundary(cell);
  return text;
}

class SettingsFixture : public testing::Test {
 protected:
  // Stand-ins are registered for these path prefixes; every call to them is recorded.
  static constexpr std::string_view kServicePrefixes[] = {
      "/varnclient/",
      "/data-store/",
      "/telemetry/",
      "/zek-login/",
      "/zek-player-preferences/",
      "/zek-platform-config/",
      "/zek-game-settings/",
  };

  SettingsFixture()
      : clock_(std::make_shared<ManualHostClock>()),
        runtime_(std::make_unique<HostRuntime>(clock_)) {
    std::string pattern = testing::TempDir() + "zek_settings_XXXXXX";
    installDir_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    // What a plain client start answers: no options, the install folder, owner records of
    // nobody, and success for every write and telemetry event.
    Script(kCommandLinePath, ScriptedAnswer::Value(Strings({})));
    Script(kInstallDirPath, ScriptedAnswer::Value(Str(installDir_)));
    for (const char* key : {"qev-settings", "esports-settings", "perks-settings"}) {
      Script(std::string(kInstallSettingsPath) + key, ScriptedAnswer::Value(Owner(0, 0, false)));
    }
    for (std::string_view prefix : kServicePrefixes) {
      runtime_->AddService(0, std::string(prefix),
                           [this](const ServiceRequest& request) { return Serve(request); });
    }
    runtime_->ObserveEvents([this](const PluginEvent& event) { Observe(event); });
  }

  ~SettingsFixture() override {
    runtime_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(installDir_, ignored);
  }

  // ---- Script and record ----
  // Answers every call to exactly `path` (any method, or only `method`) with `answer` from now on.
  void Script(std::string_view path, ScriptedAnswer answer, uint32_t method = 0) {
    std::lock_guard lock(mutex_);
    script_[{method, std::string(path)}] = std::move(answer);
  }
  void ScriptValue(std::string_view path, BindingProperty value, uint32_t method = 0) {
    Script(path, ScriptedAnswer::Value(std::move(value)), method);
  }
  void ScriptError(std::string_view path, uint32_t status, std::string text, uint32_t method = 0) {
    Script(path, ScriptedAnswer::Error(status, std::move(text)), method);
  }
  // Answers every call to exactly `path` (any method) through `answer`, which sees the call as
  // recorded; takes precedence over Script for that path. For answers that depend on the
  // arguments. It runs under the fixture's lock, so it must not call the fixture.
  using ScriptFunction = std::function<ScriptedAnswer(const RecordedCall&)>;
  void ScriptCalls(std::string_view path, ScriptFunction answer) {
    std::lock_guard lock(mutex_);
    functions_[std::string(path)] = std::move(answer);
  }
  // The command line the host reports.
  void CommandLine(const std::vector<std::string>& arguments) {
    ScriptValue(kCommandLinePath, Strings(arguments));
  }

  // Every call recorded so far, in order; or those whose path starts with `prefix`.
  std::vector<RecordedCall> Calls(std::string_view prefix = {}) const {
    std::lock_guard lock(mutex_);
    std::vector<RecordedCall> found;
    for (const RecordedCall& call : calls_) {
      if (call.path.compare(0, prefix.size(), prefix) == 0) found.push_back(call);
    }
    return found;
  }
  // The "event_name" of every preferences telemetry event sent so far, in order.
  std::vector<std::string> TelemetryNames() const {
    std::vector<std::string> names;
    for (const RecordedCall& call : Calls(kTelemetryPath)) {
      names.emplace_back(call.arguments.Find("event_name").GetString());
    }
    return names;
  }
  void ClearRecords() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    events_.clear();
  }

  // ---- Plugin ----
  void Load() {
    HostRuntime::LoadOutcome load = runtime_->LoadLibrary(kLibrary, kEntry);
    ASSERT_TRUE(load.ok) << load.error;
    handle_ = load.handle;
  }
  void LoadAndStart() {
    ASSERT_NO_FATAL_FAILURE(Load());
    ASSERT_TRUE(runtime_->Start(handle_));
  }
  void StopPlugin() { runtime_->Stop(handle_); }

  // A request to the plugin; `json` (when given) is the body, sent as application/json.
  CallOutcome Request(uint32_t method, const std::string& path, std::string_view json = {}) {
    return runtime_->Call(method, path, json.empty() ? std::string_view() : "application/json",
                          json);
  }

  // ---- Events ----
  // Publishes a change of another service's resource `uri` under the host event `name`, as that
  // service would: {uri, eventType, data}.
  // The player-preferences service turns ready: with a player logged in, the account phase
  // runs and loads the account files, after which account writes are taken.
  void MarkPreferencesReady() {
    BindingProperty on;
    on.SetBool(true);
    PublishResource("OnJsonApiEvent_zek-player-preferences_v1_player-preferences-ready",
                    "/zek-player-preferences/v1/player-preferences-ready", "Update", on);
  }
  // The login service publishes a successful session of `account`.
  void LogIn(uint64_t account) {
    BindingProperty session;
    session.Field("state").SetString("SUCCEEDED");
    session.Field("profileId").SetUnsigned(9);
    session.Field("accountId").SetUnsigned(account);
    PublishResource("OnJsonApiEvent_zek-login_v1_session", "/zek-login/v1/session", "Update",
                    session);
  }
  // Logs `account` in and marks the service ready: the account phase loads every account file.
  void LogInAndLoadAccounts(uint64_t account = 42) {
    LogIn(account);
    MarkPreferencesReady();
  }
  void PublishResource(const std::string& name, std::string_view uri, std::string_view type,
                       const BindingProperty& data) {
    BindingProperty payload;
    payload.Field("uri").SetString(uri);
    payload.Field("eventType").SetString(type);
    payload.Field("data") = data;
    runtime_->PublishEvent(name, payload);
  }
  // The settings plugin's own resource events, in publication order.
  std::vector<PublishedEvent> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // The same, as "uri json-of-data" lines (events of paths starting with `prefix`).
  std::vector<std::string> EventLines(std::string_view prefix = "/zek-settings/") const {
    std::vector<std::string> lines;
    for (const PublishedEvent& event : Events()) {
      if (event.uri.compare(0, prefix.size(), prefix) != 0) continue;
      lines.push_back(event.eventType + " " + event.uri + " " + Json(event.data));
    }
    return lines;
  }

  // ---- Files ----
  std::string InstallPath(std::string_view relative) const {
    return installDir_ + "/" + std::string(relative);
  }
  static void WriteFile(const std::string& path, std::string_view bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static bool Exists(const std::string& path) { return std::filesystem::exists(path); }

  // ---- Log ----
  std::vector<std::string> LinesWith(std::string_view text) const {
    std::vector<std::string> found;
    for (const LogLine& line : runtime_->LogLines()) {
      if (line.text.find(text) != std::string::npos) found.push_back(line.text);
    }
    return found;
  }

  std::shared_ptr<ManualHostClock> clock_;
  std::unique_ptr<HostRuntime> runtime_;
  std::string installDir_;
  uint32_t handle_ = 0;

 private:
  ServiceAnswer Serve(const ServiceRequest& request) {
    RecordedCall call;
    call.method = request.method;
    call.path = request.raw != nullptr && request.raw->path != nullptr ? request.raw->path
                                                                       : std::string(request.path);
    call.arguments = request.arguments;
    if (request.raw != nullptr && request.raw->body != nullptr) {
      call.body.assign(reinterpret_cast<const char*>(request.raw->body), request.raw->bodyLength);
    }
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
    const std::string path(request.path);
    if (auto function = functions_.find(path); function != functions_.end()) {
      ScriptedAnswer scripted = function->second(call);
      ServiceAnswer answer;
      answer.status = scripted.status;
      answer.value = std::move(scripted.value);
      answer.error = std::move(scripted.error);
      return answer;
    }
    auto it = script_.find({request.method, path});
    if (it == script_.end()) it = script_.find({0u, path});
    ServiceAnswer answer;
    if (it == script_.end()) {
      // Writes nobody scripted succeed; reads of unknown resources are the host's 404.
      if (request.method == PLUGIN_METHOD_GET) {
        answer.status = 404;
        answer.error = "No resource at " + path;
      }
      return answer;
    }
    answer.status = it->second.status;
    answer.value = it->second.value;
    answer.error = it->second.error;
    return answer;
  }

  void Observe(const PluginEvent& event) {
    if (event.name == nullptr || std::string_view(event.name) != "OnJsonApiEvent") return;
    BindingProperty payload = HostRuntime::DecodePayload(event);
    PublishedEvent published;
    published.uri = std::string(payload.Find("uri").GetString());
    const BindingProperty& type = payload.Find("eventType");
    published.eventType = type.GetType() == BindingPropertyType::String
                              ? std::string(type.GetString())
                              : std::to_string(type.GetInteger());
    published.data = payload.Find("data");
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(published));
  }

  mutable std::mutex mutex_;
  std::map<std::pair<uint32_t, std::string>, ScriptedAnswer> script_;
  std::map<std::string, ScriptFunction> functions_;
  std::vector<RecordedCall> calls_;
  std::vector<PublishedEvent> events_;
};

}  // namespace Varn::Host::settings_test

#endif  // ZEK_TESTS_INTEGRATION_SETTINGS_FIXTURE_H_

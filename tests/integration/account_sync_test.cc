// A player's account files through the built library, the host runtime on a manual clock and
// in-process stand-ins: the login, the account phase with the player-preferences service, the
// upload timer, the game-settings bridge and the reset of another player's file. Every call the
// plugin makes to a service is checked in order, with its named arguments, so that a call too many
// or too few fails the step that made it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tests/integration/settings_fixture.h"

namespace Varn::Host::settings_test {
namespace {

constexpr uint64_t kAccount = 43;
constexpr uint64_t kProfile = 7;
constexpr uint64_t kOtherAccount = 42;
constexpr double kPeriod = 5.0;

constexpr char kQevFile[] = "Config/QEVAccountPreferences.yaml";
constexpr char kEsportsFile[] = "Config/EsportsPreferences.yaml";
constexpr char kPerksFile[] = "Config/PerksPreferences.yaml";

// The host events the five followed resources arrive under, with their paths.
struct Resource {
  const char* name;
  const char* uri;
};
constexpr Resource kSession{"OnJsonApiEvent_zek-login_v1_session", "/zek-login/v1/session"};
constexpr Resource kReadiness{"OnJsonApiEvent_zek-player-preferences_v1_player-preferences-ready",
                              "/zek-player-preferences/v1/player-preferences-ready"};
constexpr Resource kPlatformConfig{"OnJsonApiEvent_zek-platform-config_v1_namespaces_QevSettings",
                                   "/zek-platform-config/v1/namespaces/QevSettings"};
constexpr Resource kGameSettings{"OnJsonApiEvent_zek-game-settings_v1_game-settings",
                                 "/zek-game-settings/v1/game-settings"};
constexpr Resource kInputSettings{"OnJsonApiEvent_zek-game-settings_v1_input-settings",
                                  "/zek-game-settings/v1/input-settings"};

// An account file of one category, as the plugin writes it.
std::string Category(const std::string& name, const std::string& member, int value) {
  return name + ":\r\n    data:\r\n        " + member + ": " + std::to_string(value) +
         "\r\n    schemaVersion: 1\r\n";
}
const std::string kEsportsOnDisk = Category("hud", "scale", 1);
const std::string kEsportsOnServer = Category("hud", "scale", 2);
const std::string kPerksText = Category("loadout", "slot", 3);
const std::string kQevOnDisk = Category("video", "fov", 80);

BindingProperty Session(const char* state, uint64_t profile, uint64_t account) {
  BindingProperty value;
  value.Field("state").SetString(state);
  value.Field("profileId").SetUnsigned(profile);
  value.Field("accountId").SetUnsigned(account);
  value.Field("authToken").SetString("token");
  return value;
}
BindingProperty Bool(bool on) {
  BindingProperty value;
  value.SetBool(on);
  return value;
}

// The player-preferences service: one stored copy per type, its own hash, and the faults a test
// asks for. The hash is the service's business; the plugin only passes it back.
struct PreferenceService {
  struct Copy {
    std::string text;
    uint64_t modified = 0;
  };
  std::map<std::string, Copy> copies;
  std::map<std::string, uint32_t> failDownload;  // by type: answer this status
  std::map<std::string, uint32_t> failUpload;
  std::map<std::string, bool> dataNotText;  // by type: the download's "data" is a number
  uint32_t failHash = 0;
  uint64_t clock = 1000;

  static std::string Hash(const std::string& text) {
    return "h" + std::to_string(std::hash<std::string>{}(text) % 100000);
  }
  ScriptedAnswer HashCall(const RecordedCall& call) const {
    if (failHash != 0) return ScriptedAnswer::Error(failHash, "hash unavailable");
    return ScriptedAnswer::Value(Str(Hash(std::string(call.arguments.Find("text").GetString()))));
  }
  ScriptedAnswer Download(const std::string& type, const RecordedCall& call) const {
    if (auto fault = failDownload.find(type); fault != failDownload.end()) {
      return ScriptedAnswer::Error(fault->second, "download refused");
    }
    auto copy = copies.find(type);
    if (copy == copies.end()) return ScriptedAnswer::Error(404, "no copy of " + type);
    if (call.arguments.Find("hash").GetString() == Hash(copy->second.text)) {
      return ScriptedAnswer::Error(304, "Not Modified");
    }
    BindingProperty record;
    if (dataNotText.count(type) != 0) {
      record.Field("data").SetSigned(5);
    } else {
      record.Field("data").SetString(copy->second.text);
    }
    record.Field("modified").SetUnsigned(copy->second.modified);
    return ScriptedAnswer::Value(record);
  }
  ScriptedAnswer Upload(const RecordedCall& call) {
    const BindingProperty& record = call.arguments.Find("preference");
    std::string type(record.Find("type").GetString());
    if (auto fault = failUpload.find(type); fault != failUpload.end()) {
      return ScriptedAnswer::Error(fault->second, "upload refused");
    }
    Copy& copy = copies[type];
    copy.text = std::string(record.Find("data").GetString());
    copy.modified = ++clock;
    BindingProperty answer = record;
    answer.Field("modified").SetUnsigned(copy.modified);
    return ScriptedAnswer::Value(answer);
  }
};

// The lines a step expects, written as the plugin's calls read: method, path and the named
// arguments as JSON.
std::string HashCall(const std::string& text) {
  return "POST /zek-player-preferences/v1/hash {\"text\":" + Json(Str(text)) + "}";
}
std::string DownloadCall(const std::string& type, const std::string& text) {
  return "GET /zek-player-preferences/v1/preference/" + type + " {\"hash\":\"" +
         PreferenceService::Hash(text) + "\"}";
}
// `file` is read when the step checks: what goes up is what is on disk.
std::string UploadCall(const std::string& type, const std::string& file) {
  return "PUT /zek-player-preferences/v1/preference {\"preference\":{\"data\":@" + file +
         ",\"type\":\"" + type + "\",\"version\":\"1.0\"}}";
}
std::string OwnerCall(const std::string& key, uint64_t account, uint64_t timestamp, bool modified) {
  return "POST /data-store/v1/install-settings/" + key +
         " {\"value\":" + Json(Owner(account, timestamp, modified)) + "}";
}
std::string Telemetry(const std::string& name) {
  return "POST /telemetry/v1/events/qev__preferences__event {\"event_name\":\"" + name + "\"}";
}
const std::string kLoaded = Telemetry("load_qev_preferences_succeeded_account");
std::string Loaded(const std::string& type, const std::string& category,
                   const std::string& record) {
  return "Update /zek-settings/v1/account/" + category + " " + record + "\nUpdate " +
         "/zek-settings/v2/account/" + type + "/" + category + " " + record;
}

const char* MethodText(uint32_t method) {
  switch (method) {
    case PLUGIN_METHOD_GET:
      return "GET";
    case PLUGIN_METHOD_POST:
      return "POST";
    case PLUGIN_METHOD_PUT:
      return "PUT";
    case PLUGIN_METHOD_PATCH:
      return "PATCH";
    case PLUGIN_METHOD_DELETE:
      return "DELETE";
    default:
      return "?";
  }
}

class AccountSyncTest : public SettingsFixture {
 protected:
  // One step of a story: what happens, and everything the plugin does about it.
  struct Step {
    std::string story;
    std::function<void()> act;
    std::vector<std::string> calls;   // every service call, in order
    std::vector<std::string> events;  // every settings event, in order ("\n" joins two)
    std::vector<std::string> log;     // every warning and error line, by a text it contains
  };

  AccountSyncTest() {
    ScriptCalls("/zek-player-preferences/v1/hash",
                [this](const RecordedCall& call) { return service_.HashCall(call); });
    for (const char* type : {"QEVPreferences", "EsportsPreferences", "PerksPreferences"}) {
      std::string name(type);
      ScriptCalls("/zek-player-preferences/v1/preference/" + name,
                  [this, name](const RecordedCall& call) { return service_.Download(name, call); });
    }
    ScriptCalls("/zek-player-preferences/v1/preference",
                [this](const RecordedCall& call) { return service_.Upload(call); });
    // The data store keeps what it is given, across restarts of the plugin.
    for (const char* key : {"qev-settings", "esports-settings", "perks-settings"}) {
      std::string name(key);
      ScriptCalls(std::string(kInstallSettingsPath) + name, [this, name](const RecordedCall& call) {
        if (call.method == PLUGIN_METHOD_POST) {
          store_[name] = call.arguments.Find("value");
          return ScriptedAnswer::Value(BindingProperty());
        }
        auto stored = store_.find(name);
        return ScriptedAnswer::Value(stored != store_.end() ? stored->second : Owner(0, 0, false));
      });
    }
  }

  // The plugin's stop still calls the stand-ins above, so it must stop while they exist.
  ~AccountSyncTest() override { runtime_.reset(); }

  void Run(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      SCOPED_TRACE(step.story);
      ClearRecords();
      size_t log_start = runtime_->LogLines().size();
      step.act();
      EXPECT_EQ(CallLines(), Expand(step.calls));
      EXPECT_EQ(EventLines(), Expand(step.events));
      std::vector<std::string> log;
      std::vector<LogLine> lines = runtime_->LogLines();
      for (size_t i = log_start; i < lines.size(); ++i) {
        if (lines[i].level >= 1) log.push_back(lines[i].text);
      }
      EXPECT_EQ(log.size(), step.log.size()) << Joined(log);
      for (size_t i = 0; i < log.size() && i < step.log.size(); ++i) {
        EXPECT_NE(log[i].find(step.log[i]), std::string::npos) << log[i];
      }
    }
  }

  // Actions of the stories.
  void Publish(const Resource& resource, const char* type, const BindingProperty& data) {
    PublishResource(resource.name, resource.uri, type, data);
  }
  void LogIn() { Publish(kSession, "Update", Session("SUCCEEDED", kProfile, kAccount)); }
  void Ready(bool on) { Publish(kReadiness, "Update", Bool(on)); }
  void Patch(const std::string& path, const std::string& json, uint32_t status = 200) {
    CallOutcome outcome = Request(PLUGIN_METHOD_PATCH, path, json);
    EXPECT_EQ(outcome.status, status) << path << " " << outcome.error;
  }
  // Lets `seconds` pass on the host's clock and runs what fell due; how many callbacks ran.
  size_t Pass(double seconds) {
    clock_->AdvanceSeconds(seconds);
    return runtime_->RunDueCallbacks();
  }
  // One period: the upload timer ticks (a stopped plugin's tick may still come due, and does
  // nothing).
  void Tick() { EXPECT_GE(Pass(kPeriod), 1u); }
  void Restart() {
    StopPlugin();
    ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  }
  void Write(const char* file, const std::string& text) { WriteFile(InstallPath(file), text); }
  std::string Read(const char* file) const { return ReadFile(InstallPath(file)); }

  PreferenceService service_;
  std::map<std::string, BindingProperty> store_;

 private:
  std::vector<std::string> CallLines() const {
    std::vector<std::string> lines;
    for (const RecordedCall& call : Calls()) {
      std::string line = std::string(MethodText(call.method)) + " " + call.path;
      if (!call.arguments.IsEmpty()) line += " " + Json(call.arguments);
      lines.push_back(line);
    }
    return lines;
  }
  // "@<file>" stands for the file's text now, as JSON; "\n" splits one entry into lines.
  std::vector<std::string> Expand(const std::vector<std::string>& entries) const {
    std::vector<std::string> lines;
    for (const std::string& entry : entries) {
      std::string text = entry;
      for (const char* file : {kQevFile, kEsportsFile, kPerksFile}) {
        std::string token = std::string("@") + file;
        for (size_t at = text.find(token); at != std::string::npos; at = text.find(token)) {
          text.replace(at, token.size(), Json(Str(Read(file))));
        }
      }
      size_t from = 0;
      for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', from)) {
        lines.push_back(text.substr(from, at - from));
        from = at + 1;
      }
      lines.push_back(text.substr(from));
    }
    return lines;
  }
  static std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
  }
};

// What the plugin asks for at every start: the five followed resources, its paths and the three
// owner records.
std::vector<std::string> StartCalls() {
  return {"GET /zek-login/v1/session",
          "GET /zek-player-preferences/v1/player-preferences-ready",
          "GET /zek-platform-config/v1/namespaces/QevSettings",
          "GET /zek-game-settings/v1/game-settings",
          "GET /zek-game-settings/v1/input-settings",
          "GET /varnclient/command-line-args",
          "GET /data-store/v1/install-dir",
          "GET /data-store/v1/install-settings/qev-settings",
          "GET /data-store/v1/install-settings/esports-settings",
          "GET /data-store/v1/install-settings/perks-settings"};
}
std::vector<std::string> Plus(std::vector<std::string> first,
                              const std::vector<std::string>& then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

const std::string kHudScale2 = R"({"data":{"scale":2},"schemaVersion":1})";
const std::string kSlot3 = R"({"data":{"slot":3},"schemaVersion":1})";
const std::string kFov80 = R"({"data":{"fov":80},"schemaVersion":1})";
const std::string kReadyEvent = "Update /zek-settings/v2/ready true";

TEST_F(AccountSyncTest, APlayerSynchronisesChangesAndComesBack) {
  service_.copies["EsportsPreferences"] = {kEsportsOnServer, 900};
  service_.copies["PerksPreferences"] = {kPerksText, 800};
  Write(kEsportsFile, kEsportsOnDisk);
  Write(kPerksFile, kPerksText);
  Write(kQevFile, kQevOnDisk);
  const std::string qev_changed = Category("video", "fov", 100);
  const std::string qev_elsewhere = Category("video", "fov", 60);
  const std::string fov = "/zek-settings/v2/account/QEVPreferences/video";
  const std::string hud = "/zek-settings/v2/account/EsportsPreferences/hud";

  Run({
      {"The client starts the plugin before anyone has logged in",
       [&] { ASSERT_NO_FATAL_FAILURE(LoadAndStart()); },
       StartCalls(),
       {},
       {}},
      {"The login service publishes the session as Create: nothing starts",
       [&] { Publish(kSession, "Create", Session("SUCCEEDED", kProfile, kAccount)); },
       {},
       {},
       {}},
      {"The service's readiness arrives as Create: nothing starts either",
       [&] { Publish(kReadiness, "Create", Bool(true)); },
       {},
       {},
       {}},
      {"It announces its readiness with an Update: every type in key order, one download, one "
       "304, one 404, and ready once",
       [&] {
         Ready(true);
         EXPECT_EQ(Read(kEsportsFile), kEsportsOnServer);
         EXPECT_EQ(Read(kQevFile), kQevOnDisk);
       },
       {HashCall(kEsportsOnDisk), DownloadCall("EsportsPreferences", kEsportsOnDisk),
        OwnerCall("esports-settings", kAccount, 900, false), kLoaded, HashCall(kPerksText),
        DownloadCall("PerksPreferences", kPerksText),
        OwnerCall("perks-settings", kAccount, 0, false), kLoaded, HashCall(kQevOnDisk),
        DownloadCall("QEVPreferences", kQevOnDisk), kLoaded},
       {Loaded("EsportsPreferences", "hud", kHudScale2),
        Loaded("PerksPreferences", "loadout", kSlot3), Loaded("QEVPreferences", "video", kFov80),
        kReadyEvent},
       {"QEVPreferences, player-preference server returned 404"}},
      {"The player turns the field of view up: the owner record says modified",
       [&] { Patch(fov, R"({"schemaVersion":1,"data":{"fov":90}})"); },
       {OwnerCall("qev-settings", kAccount, 0, true)},
       {Loaded("QEVPreferences", "video", R"({"data":{"fov":90},"schemaVersion":1})")},
       {}},
      {"One period later the tick only clears the flag", [&] { Tick(); }, {}, {}, {}},
      {"The next tick uploads exactly that type, with the text on disk",
       [&] { Tick(); },
       {UploadCall("QEVPreferences", kQevFile), OwnerCall("qev-settings", kAccount, 1001, false)},
       {},
       {}},
      {"A quiet tick sends nothing", [&] { Tick(); }, {}, {}, {}},
      {"A burst of writes, one every period: nothing goes up while they go on",
       [&] {
         for (int scale = 3; scale <= 5; ++scale) {
           Patch(hud, R"({"schemaVersion":1,"data":{"scale":)" + std::to_string(scale) + "}}");
           Tick();
         }
       },
       {OwnerCall("esports-settings", kAccount, 900, true)},
       {Loaded("EsportsPreferences", "hud", R"({"data":{"scale":3},"schemaVersion":1})"),
        Loaded("EsportsPreferences", "hud", R"({"data":{"scale":4},"schemaVersion":1})"),
        Loaded("EsportsPreferences", "hud", R"({"data":{"scale":5},"schemaVersion":1})")},
       {}},
      {"After the burst, one tick clears and the next uploads it once",
       [&] {
         Tick();
         Tick();
       },
       {UploadCall("EsportsPreferences", kEsportsFile),
        OwnerCall("esports-settings", kAccount, 1002, false)},
       {},
       {}},
      {"The service refuses esports uploads: the failure is logged, the type stays modified, and "
       "the QEV change behind it still goes up on the same pass",
       [&] {
         service_.failUpload["EsportsPreferences"] = 503;
         Patch(hud, R"({"schemaVersion":1,"data":{"scale":6}})");
         Patch(fov, R"({"schemaVersion":1,"data":{"fov":95}})");
         Tick();
         Tick();
       },
       {OwnerCall("esports-settings", kAccount, 1002, true),
        OwnerCall("qev-settings", kAccount, 1001, true),
        UploadCall("EsportsPreferences", kEsportsFile), UploadCall("QEVPreferences", kQevFile),
        OwnerCall("qev-settings", kAccount, 1003, false)},
       {Loaded("EsportsPreferences", "hud", R"({"data":{"scale":6},"schemaVersion":1})"),
        Loaded("QEVPreferences", "video", R"({"data":{"fov":95},"schemaVersion":1})")},
       {"Failed to store updated preferences for key 'EsportsPreferences' - 'Error response for "
        "PUT /zek-player-preferences/v1/preference: upload refused'"}},
      {"After one failure it waits two periods, and the second failure is not logged again",
       [&] {
         Tick();
         Tick();
       },
       {UploadCall("EsportsPreferences", kEsportsFile)},
       {},
       {}},
      {"After two it waits four periods; the service recovers meanwhile",
       [&] {
         service_.failUpload.clear();
         for (int tick = 0; tick < 3; ++tick) Tick();
         EXPECT_TRUE(Calls().empty());
         Tick();
       },
       {UploadCall("EsportsPreferences", kEsportsFile),
        OwnerCall("esports-settings", kAccount, 1004, false)},
       {},
       {}},
      {"The player changes a setting and quits at once: the change goes up at stop",
       [&] {
         Patch(fov, R"({"schemaVersion":1,"data":{"fov":100}})");
         StopPlugin();
         EXPECT_EQ(Read(kQevFile), qev_changed);
       },
       {OwnerCall("qev-settings", kAccount, 1003, true), UploadCall("QEVPreferences", kQevFile),
        OwnerCall("qev-settings", kAccount, 1005, false)},
       {Loaded("QEVPreferences", "video", R"({"data":{"fov":100},"schemaVersion":1})")},
       {}},
      {"Next day a change was written but the client was killed before it went up; the server "
       "has not moved since: the file is kept, and the first tick uploads it",
       [&] {
         Write(kQevFile, Category("video", "fov", 110));
         store_["qev-settings"] = Owner(kAccount, 1005, true);
         ASSERT_NO_FATAL_FAILURE(LoadAndStart());
         LogIn();
         Ready(true);
         EXPECT_EQ(Read(kQevFile), Category("video", "fov", 110));
         Tick();
       },
       Plus(StartCalls(), {HashCall(Category("hud", "scale", 6)),
                           DownloadCall("EsportsPreferences", Category("hud", "scale", 6)), kLoaded,
                           HashCall(kPerksText), DownloadCall("PerksPreferences", kPerksText),
                           kLoaded, HashCall(Category("video", "fov", 110)),
                           DownloadCall("QEVPreferences", Category("video", "fov", 110)), kLoaded,
                           UploadCall("QEVPreferences", kQevFile),
                           OwnerCall("qev-settings", kAccount, 1006, false)}),
       {Loaded("EsportsPreferences", "hud", R"({"data":{"scale":6},"schemaVersion":1})"),
        Loaded("PerksPreferences", "loadout", kSlot3),
        Loaded("QEVPreferences", "video", R"({"data":{"fov":110},"schemaVersion":1})"),
        kReadyEvent},
       {}},
      {"Killed again after another change, while another machine uploaded a newer copy: the "
       "server copy wins and the local bytes are kept beside the file",
       [&] {
         StopPlugin();
         Write(kQevFile, Category("video", "fov", 120));
         store_["qev-settings"] = Owner(kAccount, 1006, true);
         service_.copies["QEVPreferences"] = {qev_elsewhere, 2000};
         ASSERT_NO_FATAL_FAILURE(LoadAndStart());
         LogIn();
         Ready(true);
         EXPECT_EQ(Read(kQevFile), qev_elsewhere);
         EXPECT_EQ(ReadFile(InstallPath(kQevFile) + ".unsynced"), Category("video", "fov", 120));
       },
       Plus(StartCalls(), {HashCall(Category("hud", "scale", 6)),
                           DownloadCall("EsportsPreferences", Category("hud", "scale", 6)), kLoaded,
                           HashCall(kPerksText), DownloadCall("PerksPreferences", kPerksText),
                           kLoaded, HashCall(Category("video", "fov", 120)),
                           DownloadCall("QEVPreferences", Category("video", "fov", 120)),
                           OwnerCall("qev-settings", kAccount, 2000, false), kLoaded}),
       {Loaded("EsportsPreferences", "hud", R"({"data":{"scale":6},"schemaVersion":1})"),
        Loaded("PerksPreferences", "loadout", kSlot3),
        Loaded("QEVPreferences", "video", R"({"data":{"fov":60},"schemaVersion":1})"), kReadyEvent},
       {"QEVPreferences: local changes were not uploaded and the server has a newer copy; the "
        "local file is kept as \"" +
        InstallPath(kQevFile) + ".unsynced\""}},
  });
}

// With the service disabled, or its answers failing, a file recorded for another account is
// emptied (and kept aside for support); files of nobody or of this player are kept and loaded.
TEST_F(AccountSyncTest, AnotherPlayersFileIsResetWhenNoServerCopyCanBeHad) {
  const std::string foreign = Category("hud", "scale", 9);
  Write(kEsportsFile, foreign);
  Write(kPerksFile, kPerksText);
  Write(kQevFile, kQevOnDisk);
  store_["esports-settings"] = Owner(kOtherAccount, 5, false);
  store_["qev-settings"] = Owner(kAccount, 7, false);
  const std::string reset_copy = InstallPath(kEsportsFile) + ".reset-42";
  const std::vector<std::string> reset_events = {
      "Update /zek-settings/v1/account/didreset true",
      "Update /zek-settings/v2/didreset/EsportsPreferences true"};

  Run({
      {"The plugin starts and the player logs in",
       [&] {
         ASSERT_NO_FATAL_FAILURE(LoadAndStart());
         LogIn();
       },
       StartCalls(),
       {},
       {}},
      {"The player-preferences service says it is disabled: the other player's esports file is "
       "emptied and announced; the file of nobody and the player's own are loaded; no timer",
       [&] {
         Ready(false);
         EXPECT_EQ(Read(kEsportsFile), "");
         EXPECT_EQ(ReadFile(reset_copy), foreign);
         struct stat info {};
         ASSERT_EQ(stat(reset_copy.c_str(), &info), 0);
         EXPECT_EQ(info.st_mode & 0777, 0600u);
         EXPECT_EQ(Json(Request(PLUGIN_METHOD_GET, "/zek-settings/v1/account/didreset").value),
                   "false");
         EXPECT_EQ(
             Json(Request(PLUGIN_METHOD_GET, "/zek-settings/v2/didreset/EsportsPreferences").value),
             "true");
         EXPECT_EQ(Pass(kPeriod), 0u);
       },
       {OwnerCall("esports-settings", 0, 0, false), kLoaded, kLoaded, kLoaded},
       Plus(reset_events, {Loaded("PerksPreferences", "loadout", kSlot3),
                           Loaded("QEVPreferences", "video", kFov80), kReadyEvent}),
       {"player-preference service is disabled",
        "local file belongs to another player, resetting file 42 43 EsportsPreferences"}},
      {"A second disabled Update warns again and loads again; the emptied file is the player's "
       "own now",
       [&] { Ready(false); },
       {kLoaded, kLoaded, kLoaded},
       {Loaded("PerksPreferences", "loadout", kSlot3), Loaded("QEVPreferences", "video", kFov80)},
       {"player-preference service is disabled"}},
  });
}

TEST_F(AccountSyncTest, FailedServiceAnswersFallBackToTheFilesOnDisk) {
  const std::string foreign = Category("hud", "scale", 9);
  Write(kEsportsFile, foreign);
  Write(kPerksFile, kPerksText);
  Write(kQevFile, kQevOnDisk);
  store_["esports-settings"] = Owner(kOtherAccount, 5, false);
  service_.copies["EsportsPreferences"] = {kEsportsOnServer, 900};
  service_.copies["PerksPreferences"] = {Category("loadout", "slot", 4), 800};
  service_.dataNotText["PerksPreferences"] = true;
  service_.failDownload["QEVPreferences"] = 500;

  Run({
      {"The plugin starts and the player logs in",
       [&] {
         ASSERT_NO_FATAL_FAILURE(LoadAndStart());
         LogIn();
       },
       StartCalls(),
       {},
       {}},
      {"The hash call fails: each type is handled as a failed download, so the files still load "
       "and ready is published",
       [&] {
         service_.failHash = 503;
         Ready(true);
         EXPECT_EQ(Read(kEsportsFile), "");
       },
       {HashCall(foreign), OwnerCall("esports-settings", 0, 0, false), kLoaded,
        HashCall(kPerksText), kLoaded, HashCall(kQevOnDisk), kLoaded},
       {"Update /zek-settings/v1/account/didreset true",
        "Update /zek-settings/v2/didreset/EsportsPreferences true",
        Loaded("PerksPreferences", "loadout", kSlot3), Loaded("QEVPreferences", "video", kFov80),
        kReadyEvent},
       {"EsportsPreferences, player-preference server returned 503",
        "local file belongs to another player, resetting file 42 43 EsportsPreferences",
        "PerksPreferences, player-preference server returned 503",
        "QEVPreferences, player-preference server returned 503"}},
      {"The service is back: esports downloads; a perks answer without text is a failed "
       "download that keeps the file; a QEV error keeps it too",
       [&] {
         service_.failHash = 0;
         Ready(true);
         EXPECT_EQ(Read(kEsportsFile), kEsportsOnServer);
         EXPECT_EQ(Read(kPerksFile), kPerksText);
         EXPECT_EQ(Read(kQevFile), kQevOnDisk);
       },
       {HashCall(""), DownloadCall("EsportsPreferences", ""),
        OwnerCall("esports-settings", kAccount, 900, false), kLoaded, HashCall(kPerksText),
        DownloadCall("PerksPreferences", kPerksText), kLoaded, HashCall(kQevOnDisk),
        DownloadCall("QEVPreferences", kQevOnDisk), kLoaded},
       {Loaded("EsportsPreferences", "hud", kHudScale2),
        Loaded("PerksPreferences", "loadout", kSlot3), Loaded("QEVPreferences", "video", kFov80)},
       {"PerksPreferences, player-preference server returned 502",
        "QEVPreferences, player-preference server returned 500"}},
      {"The service turns disabled while the timer runs: each tick warns and sends nothing",
       [&] {
         Ready(false);
         ClearRecords();
         Tick();
         Tick();
       },
       {},
       {},
       {"player-preference service is disabled",
        "We are not connected to the Player Prefs server, are you logged in?",
        "We are not connected to the Player Prefs server, are you logged in?"}},
      {"It comes back as a Create, which starts nothing, and then goes away with a Delete that "
       "carries nothing: the next tick knows it is gone",
       [&] {
         Publish(kReadiness, "Create", Bool(true));
         Publish(kReadiness, "Delete", BindingProperty());
         Tick();
       },
       {},
       {},
       {"We are not connected to the Player Prefs server, are you logged in?"}},
  });
}

// Writes that fail leave what is on disk as it was, and nothing is recorded or announced as if
// they had succeeded. A folder where a file should be makes the crash-safe save fail.
TEST_F(AccountSyncTest, WritesThatFailKeepWhatIsOnDisk) {
  std::filesystem::create_directories(InstallPath(kEsportsFile));
  store_["esports-settings"] = Owner(kOtherAccount, 5, false);
  service_.copies["EsportsPreferences"] = {kEsportsOnServer, 900};
  Write(kQevFile, kQevOnDisk);
  std::filesystem::create_directories(InstallPath(kQevFile) + ".unsynced");
  store_["qev-settings"] = Owner(kAccount, 700, true);
  service_.copies["QEVPreferences"] = {Category("video", "fov", 60), 800};

  Run({
      {"The plugin starts and the player logs in",
       [&] {
         ASSERT_NO_FATAL_FAILURE(LoadAndStart());
         LogIn();
       },
       StartCalls(),
       {},
       {}},
      {"The download cannot be written and the foreign file cannot be emptied: it is neither "
       "loaded nor given to this player; the unsent QEV change cannot be kept aside, so the file "
       "is kept as it is and stays modified",
       [&] {
         Ready(true);
         EXPECT_EQ(Read(kQevFile), kQevOnDisk);
         EXPECT_EQ(
             Json(Request(PLUGIN_METHOD_GET, "/zek-settings/v2/account/EsportsPreferences/hud")
                      .value),
             R"({"data":null,"schemaVersion":0})");
       },
       {HashCall(""), DownloadCall("EsportsPreferences", ""), HashCall(""),
        DownloadCall("PerksPreferences", ""), HashCall(kQevOnDisk),
        DownloadCall("QEVPreferences", kQevOnDisk), kLoaded},
       {Loaded("QEVPreferences", "video", kFov80), kReadyEvent},
       {"Failed to write downloaded preferences file: \"" + InstallPath(kEsportsFile),
        "local file belongs to another player, resetting file 42 43 EsportsPreferences",
        "Failed to reset preferences file: \"" + InstallPath(kEsportsFile),
        "PerksPreferences, player-preference server returned 404",
        "QEVPreferences: local changes were not uploaded and the server has a newer copy, but "
        "keeping them as \"" +
            InstallPath(kQevFile) + ".unsynced\" failed"}},
  });
}

// A service that stays down is tried less and less often, never less than once in 64 periods,
// and the failure is logged once for the whole run.
TEST_F(AccountSyncTest, UploadsBackOffToSixtyFourPeriods) {
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  LogIn();
  Ready(true);
  service_.failUpload["QEVPreferences"] = 503;
  Patch("/zek-settings/v2/account/QEVPreferences/video", R"({"schemaVersion":1,"data":{"a":1}})");
  size_t log_start = runtime_->LogLines().size();
  ClearRecords();
  std::vector<int> tries;
  for (int tick = 1; tick <= 260; ++tick) {
    Tick();
    for (const RecordedCall& call : Calls()) {
      if (call.method == PLUGIN_METHOD_PUT) tries.push_back(tick);
    }
    ClearRecords();
  }
  // The write holds the first tick back; then the waits double: 2, 4, ... 64, 64.
  EXPECT_EQ(tries, (std::vector<int>{2, 4, 8, 16, 32, 64, 128, 192, 256}));
  size_t errors = 0;
  std::vector<LogLine> lines = runtime_->LogLines();
  for (size_t i = log_start; i < lines.size(); ++i) errors += lines[i].level >= 2 ? 1 : 0;
  EXPECT_EQ(errors, 1u);
}

BindingProperty Brightness(int64_t level) {
  BindingProperty value;
  value.Field("brightness").SetSigned(level);
  return value;
}

// "game-settings" and "input-settings" live in the game-settings service: reads and partial
// writes are forwarded, replaces refused, its changes mirrored; a forwarded write makes the next
// upload pass ask the service to save first. Beside them, the replace of a stored category.
TEST_F(AccountSyncTest, GamePreferencesAreForwardedAndCategoriesReplaced) {
  const std::string game = "/zek-game-settings/v1/game-settings";
  ScriptValue(game, Brightness(50), PLUGIN_METHOD_GET);
  ScriptValue(game, Brightness(70), PLUGIN_METHOD_PATCH);
  ScriptError("/zek-game-settings/v1/input-settings", 503, "busy", PLUGIN_METHOD_PATCH);
  const std::string mirrored50 =
      Loaded("GamePreferences", "game-settings", R"({"data":{"brightness":50},"schemaVersion":1})");
  const std::string mirrored70 =
      Loaded("GamePreferences", "game-settings", R"({"data":{"brightness":70},"schemaVersion":1})");
  const std::string fov70 = R"({"data":{"fov":70},"schemaVersion":3})";
  auto expect = [&](uint32_t method, const std::string& path, const std::string& body,
                    uint32_t status, const std::string& answer) {
    CallOutcome outcome = Request(method, path, body);
    EXPECT_EQ(outcome.status, status) << path;
    EXPECT_EQ(outcome.failed ? outcome.error : Json(outcome.value), answer) << path;
  };

  Run({
      {"The plugin starts: the game settings' current value is mirrored at once",
       [&] { ASSERT_NO_FATAL_FAILURE(LoadAndStart()); },
       StartCalls(),
       {mirrored50},
       {}},
      {"A new player logs in on a fresh machine: the server has nothing yet",
       [&] {
         LogIn();
         Ready(true);
       },
       {HashCall(""), DownloadCall("EsportsPreferences", ""), HashCall(""),
        DownloadCall("PerksPreferences", ""), HashCall(""), DownloadCall("QEVPreferences", "")},
       {kReadyEvent},
       {"EsportsPreferences, player-preference server returned 404",
        "PerksPreferences, player-preference server returned 404",
        "QEVPreferences, player-preference server returned 404"}},
      {"The v1 read of game-settings is the service's value; a name that differs in case is a "
       "QEV category",
       [&] {
         expect(PLUGIN_METHOD_GET, "/zek-settings/v1/account/game-settings", "", 200,
                R"({"data":{"brightness":50},"schemaVersion":1})");
         expect(PLUGIN_METHOD_GET, "/zek-settings/v1/account/Game-Settings", "", 200,
                R"({"data":null,"schemaVersion":0})");
       },
       {"GET /zek-game-settings/v1/game-settings"},
       {},
       {}},
      {"A partial write is forwarded with its data and announced with the service's answer",
       [&] {
         expect(PLUGIN_METHOD_PATCH, "/zek-settings/v1/account/game-settings",
                R"({"schemaVersion":4,"data":{"brightness":70}})", 200, "null");
       },
       {R"(PATCH /zek-game-settings/v1/game-settings {"value":{"brightness":70}})"},
       {mirrored70},
       {}},
      {"The tick after the quiet one asks the game-settings service to save, and only that",
       [&] {
         Tick();
         EXPECT_TRUE(Calls().empty());
         Tick();
       },
       {"POST /zek-game-settings/v1/save"},
       {},
       {}},
      {"A forwarded write that fails answers 500 with telemetry; the save is still asked for",
       [&] {
         expect(PLUGIN_METHOD_PATCH, "/zek-settings/v2/account/GamePreferences/input-settings",
                R"({"schemaVersion":1,"data":{"invert":true}})", 500,
                "Failed to save qev preferences - input-settings");
         Tick();
         Tick();
       },
       {R"(PATCH /zek-game-settings/v1/input-settings {"value":{"invert":true}})",
        Telemetry("save_qev_preferences_failed"), "POST /zek-game-settings/v1/save"},
       {},
       {}},
      {"Replacing a GamePreferences category is refused, through v1 and v2",
       [&] {
         for (const char* path : {"/zek-settings/v1/account/input-settings",
                                  "/zek-settings/v2/account/GamePreferences/game-settings"}) {
           expect(PLUGIN_METHOD_PUT, path, R"({"schemaVersion":1,"data":{}})", 500,
                  "zek-settings: Cannot replace GamePreferences");
         }
         expect(PLUGIN_METHOD_PUT, "/zek-settings/v2/account/Bogus/video",
                R"({"schemaVersion":1,"data":{}})", 500,
                "PP type Bogus is not supported by settings backend.");
       },
       {},
       {},
       {}},
      {"A v2 replace of a QEV category drops what was there, marks the file modified, and the "
       "next tick uploads it",
       [&] {
         expect(PLUGIN_METHOD_PATCH, "/zek-settings/v2/account/QEVPreferences/video",
                R"({"schemaVersion":3,"data":{"fov":90,"hdr":true}})", 200, "null");
         Tick();
         ClearRecords();
         expect(PLUGIN_METHOD_PUT, "/zek-settings/v2/account/QEVPreferences/video",
                R"({"schemaVersion":3,"data":{"fov":70}})", 200, "null");
         EXPECT_EQ(Read(kQevFile),
                   "video:\r\n    data:\r\n        fov: 70\r\n    schemaVersion: 3\r\n");
         Tick();
       },
       {UploadCall("QEVPreferences", kQevFile), OwnerCall("qev-settings", kAccount, 1001, false)},
       {Loaded("QEVPreferences", "video", fov70)},
       {}},
      {"A replace with data that is not a structure stores it as sent",
       [&] {
         expect(PLUGIN_METHOD_PUT, "/zek-settings/v2/account/QEVPreferences/presets",
                R"({"schemaVersion":1,"data":[1,2]})", 200, "null");
         expect(PLUGIN_METHOD_GET, "/zek-settings/v2/account/QEVPreferences/presets", "", 200,
                R"({"data":[1,2],"schemaVersion":1})");
         ClearRecords();
         Tick();
       },
       {UploadCall("QEVPreferences", kQevFile), OwnerCall("qev-settings", kAccount, 1002, false)},
       {},
       {}},
      {"A v1 replace also holds the upload back one period; with a game-settings write beside "
       "it, the save is asked for before the upload",
       [&] {
         expect(PLUGIN_METHOD_PUT, "/zek-settings/v1/account/video",
                R"({"schemaVersion":3,"data":{"fov":75}})", 200, "null");
         expect(PLUGIN_METHOD_PATCH, "/zek-settings/v1/account/game-settings",
                R"({"schemaVersion":4,"data":{"brightness":70}})", 200, "null");
         Tick();
         Tick();
       },
       {OwnerCall("qev-settings", kAccount, 1002, true),
        R"(PATCH /zek-game-settings/v1/game-settings {"value":{"brightness":70}})",
        "POST /zek-game-settings/v1/save", UploadCall("QEVPreferences", kQevFile),
        OwnerCall("qev-settings", kAccount, 1003, false)},
       {Loaded("QEVPreferences", "video", R"({"data":{"fov":75},"schemaVersion":3})"), mirrored70},
       {}},
      {"The service's own changes are mirrored as Updates, Delete included",
       [&] {
         Publish(kGameSettings, "Update", Brightness(20));
         Publish(kInputSettings, "Delete", Brightness(0));
       },
       {},
       {Loaded("GamePreferences", "game-settings",
               R"({"data":{"brightness":20},"schemaVersion":1})"),
        Loaded("GamePreferences", "input-settings",
               R"({"data":{"brightness":0},"schemaVersion":1})")},
       {}},
      {"A read the service cannot answer is the record without data, not an error",
       [&] {
         ScriptError(game, 503, "busy", PLUGIN_METHOD_GET);
         expect(PLUGIN_METHOD_GET, "/zek-settings/v2/account/GamePreferences/game-settings", "",
                200, R"({"data":null,"schemaVersion":1})");
       },
       {"GET /zek-game-settings/v1/game-settings"},
       {},
       {}},
      {"The player logs out and a change is written: with nobody logged in nothing goes up, not "
       "even at stop",
       [&] {
         Publish(kSession, "Delete", BindingProperty());
         expect(PLUGIN_METHOD_PATCH, "/zek-settings/v2/account/QEVPreferences/video",
                R"({"schemaVersion":3,"data":{"fov":80}})", 200, "null");
         Tick();
         Tick();
         StopPlugin();
       },
       {OwnerCall("qev-settings", 0, 1003, true)},
       {Loaded("QEVPreferences", "video", R"({"data":{"fov":80},"schemaVersion":3})")},
       {}},
  });
}

// The upload period comes from the platform configuration, with a floor of five seconds; only a
// Float counts. Each case is a fresh plugin that receives the configuration events, then starts
// its account phase, and the timer must tick exactly one period later.
struct PeriodCase {
  std::string story;
  std::vector<std::pair<const char*, BindingProperty>> events;  // type, "UploadRateLimit"
  double period;
  friend void PrintTo(const PeriodCase& c, std::ostream* out) { *out << c.story; }
};

BindingProperty RateLimit(double seconds) {
  BindingProperty value;
  value.Field("UploadRateLimit").SetFloat(seconds);
  return value;
}

class UploadPeriodTest : public AccountSyncTest, public testing::WithParamInterface<PeriodCase> {};

TEST_P(UploadPeriodTest, TicksOncePerPeriod) {
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  for (const auto& [type, data] : GetParam().events) Publish(kPlatformConfig, type, data);
  LogIn();
  Ready(true);
  EXPECT_EQ(Pass(GetParam().period - 0.01), 0u);
  EXPECT_EQ(Pass(0.01), 1u);
  EXPECT_EQ(Pass(GetParam().period - 0.01), 0u);
  EXPECT_EQ(Pass(0.01), 1u);
}

BindingProperty IntegerRateLimit(int64_t seconds) {
  BindingProperty value;
  value.Field("UploadRateLimit").SetSigned(seconds);
  return value;
}

INSTANTIATE_TEST_SUITE_P(
    PlatformConfiguration, UploadPeriodTest,
    testing::Values(PeriodCase{"none", {}, 5.0},
                    PeriodCase{"below the floor", {{"Create", RateLimit(2.5)}}, 5.0},
                    PeriodCase{"above it", {{"Update", RateLimit(12.5)}}, 12.5},
                    PeriodCase{"an integer", {{"Update", IntegerRateLimit(12)}}, 5.0},
                    PeriodCase{"a Delete keeps the last period",
                               {{"Update", RateLimit(12.5)}, {"Delete", BindingProperty()}},
                               12.5},
                    PeriodCase{"not a number", {{"Update", RateLimit(std::nan(""))}}, 5.0}),
    [](const testing::TestParamInfo<PeriodCase>& info) {
      std::string name;
      for (char c : info.param.story) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

}  // namespace
}  // namespace Varn::Host::settings_test

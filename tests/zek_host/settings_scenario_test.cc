// The settings service through zek-host, as a developer tries it with curl: log in, mark the
// player-preferences service ready, read and write categories, watch the events, see the upload
// reach the cloud, and change players. Skipped while the plugin serves no settings routes.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <thread>

#include "binding/binding_property.h"
#include "binding/json_reader.h"
#include "host_process.h"

namespace Varn::Host::test {
namespace {

constexpr const char* kJson = "application/json";
constexpr auto kUploadWait = std::chrono::seconds(40);

BindingProperty Json(const std::string& text) {
  BindingResult parsed = ParseJson(text);
  return parsed.IsOk() ? parsed.value : BindingProperty();
}

std::string Session(int account, int profile) {
  return "{\"state\": \"SUCCEEDED\", \"profileId\": " + std::to_string(profile) +
         ", \"accountId\": " + std::to_string(account) + "}";
}

class SettingsScenarioTest : public ::testing::Test {
 protected:
  std::filesystem::path Install() const { return dir_.Path() / "data"; }

  // Starts the host; false (the test then skips) while the plugin serves no settings routes.
  bool Start() {
    host_ = std::make_unique<HostProcess>(Install());
    EXPECT_FALSE(host_->Failed()) << host_->Output();
    if (host_->Failed()) return false;
    client_ = host_->Client();
    auto ready = client_->Get("/zek-settings/v2/ready");
    return ready && ready->status == 200;
  }

  void Restart() {
    client_.reset();
    EXPECT_EQ(host_->Stop(SIGTERM), 0);
    host_.reset();
    ASSERT_TRUE(Start());
  }

  // Logs `account` in and marks the player-preferences service ready: the account phase.
  void LogIn(int account, int profile = 7) {
    auto res = client_->Put("/zek-login/v1/session", Session(account, profile), kJson);
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200) << res->body;
    res = client_->Put("/zek-player-preferences/v1/player-preferences-ready", "true", kJson);
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200) << res->body;
  }

  int Patch(const std::string& path, const std::string& data, int schema = 1) {
    auto res = client_->Patch(
        path, "{\"schemaVersion\": " + std::to_string(schema) + ", \"data\": " + data + "}", kJson);
    return res ? res->status : -1;
  }

  BindingProperty Get(const std::string& path) {
    auto res = client_->Get(path);
    EXPECT_TRUE(res);
    EXPECT_EQ(res ? res->status : 0, 200) << path;
    return res ? Json(res->body) : BindingProperty();
  }

  // Waits until the cloud copy of `account` holds `needle`.
  bool CloudHolds(int account, const std::string& needle) {
    auto deadline = std::chrono::steady_clock::now() + kUploadWait;
    while (std::chrono::steady_clock::now() < deadline) {
      auto res = client_->Get("/host/v1/cloud/" + std::to_string(account) + "/QEVPreferences");
      if (res && res->status == 200 &&
          Json(res->body).Find("data").GetString().find(needle) != std::string_view::npos) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
  }

  TempDir dir_;
  std::unique_ptr<HostProcess> host_;
  std::unique_ptr<httplib::Client> client_;
};

#define START_OR_SKIP()                                                        \
  do {                                                                         \
    if (!Start()) GTEST_SKIP() << "the settings service serves no routes yet"; \
  } while (0)

TEST_F(SettingsScenarioTest, WalkthroughFromLoginToAnotherPlayersReset) {
  START_OR_SKIP();
  EventReader events(*host_, "?prefix=/zek-settings/");
  LogIn(42);
  EXPECT_TRUE(events.WaitFor({"\"uri\":\"/zek-settings/v2/ready\"", "\"data\":true"}));
  EXPECT_TRUE(Get("/zek-settings/v2/ready").GetBool());

  EXPECT_EQ(Patch("/zek-settings/v2/local/graphics", R"({"quality": "high"})"), 204);
  EXPECT_TRUE(events.WaitFor({"\"uri\":\"/zek-settings/v1/local/graphics\"", "high"}));
  EXPECT_EQ(Get("/zek-settings/v2/local/graphics").Find("data").Find("quality").GetString(),
            "high");

  EXPECT_EQ(Patch("/zek-settings/v1/account/audio", R"({"volume": 7})"), 204);
  EXPECT_TRUE(events.WaitFor({"\"uri\":\"/zek-settings/v2/account/QEVPreferences/audio\""}));
  BindingProperty audio = Get("/zek-settings/v2/account/QEVPreferences/audio");
  EXPECT_EQ(audio.Find("schemaVersion").GetInteger(), 1);
  EXPECT_EQ(audio.Find("data").Find("volume").GetInteger(), 7);
  EXPECT_TRUE(CloudHolds(42, "volume"));

  // Another player on this machine: their cloud has no copy, so 42's file must not be shown.
  LogIn(43, 8);
  EXPECT_TRUE(events.WaitFor({"\"uri\":\"/zek-settings/v1/account/didreset\"", "\"data\":true"}));
  EXPECT_TRUE(
      events.WaitFor({"\"uri\":\"/zek-settings/v2/didreset/QEVPreferences\"", "\"data\":true"}));
  EXPECT_TRUE(Get("/zek-settings/v2/didreset/QEVPreferences").GetBool());
  EXPECT_TRUE(Get("/zek-settings/v1/account/audio").Find("data").IsEmpty());
  // 42's copy in the cloud is untouched.
  EXPECT_TRUE(CloudHolds(42, "volume"));
}

TEST_F(SettingsScenarioTest, RestartKeepsFilesOwnersAndCloudCopies) {
  START_OR_SKIP();
  LogIn(42);
  EXPECT_EQ(Patch("/zek-settings/v1/local/graphics", R"({"quality": "low"})"), 204);
  EXPECT_EQ(Patch("/zek-settings/v1/account/audio", R"({"volume": 3})"), 204);
  ASSERT_TRUE(CloudHolds(42, "volume"));

  Restart();
  EXPECT_EQ(Get("/zek-settings/v1/local/graphics").Find("data").Find("quality").GetString(), "low");
  BindingProperty owner = Get("/data-store/v1/install-settings/qev-settings");
  EXPECT_EQ(owner.Find("accountId").GetUnsigned(), 42u);
  EXPECT_FALSE(owner.Find("modified").GetBool(true));
  EXPECT_TRUE(CloudHolds(42, "volume"));
  EventReader events(*host_, "?prefix=/zek-settings/v2/ready");
  LogIn(42);
  EXPECT_TRUE(events.WaitFor({"\"data\":true"}));
  EXPECT_EQ(Get("/zek-settings/v1/account/audio").Find("data").Find("volume").GetInteger(), 3);
  EXPECT_FALSE(Get("/zek-settings/v2/didreset/QEVPreferences").GetBool(true));
}

TEST_F(SettingsScenarioTest, StopRightAfterAWriteStillUploadsIt) {
  START_OR_SKIP();
  EventReader events(*host_, "?prefix=/zek-settings/v2/ready");
  LogIn(42);
  ASSERT_TRUE(events.WaitFor({"\"data\":true"}));
  EXPECT_EQ(Patch("/zek-settings/v2/account/QEVPreferences/audio", R"({"marker": "at-stop"})"),
            204);
  client_.reset();
  EXPECT_EQ(host_->Stop(SIGTERM), 0);
  host_.reset();
  ASSERT_TRUE(Start());
  EXPECT_TRUE(CloudHolds(42, "at-stop"));
}

TEST_F(SettingsScenarioTest, DownServiceAndAForeignOwnerEmptyTheFile) {
  START_OR_SKIP();
  {
    EventReader ready(*host_, "?prefix=/zek-settings/v2/ready");
    LogIn(42);
    ASSERT_TRUE(ready.WaitFor({"\"data\":true"}));
  }
  EXPECT_EQ(Patch("/zek-settings/v1/account/audio", R"({"volume": 11})"), 204);
  EXPECT_EQ(Get("/data-store/v1/install-settings/qev-settings").Find("accountId").GetUnsigned(),
            42u);

  EventReader events(*host_, "?prefix=/zek-settings/");
  auto res = client_->Put("/host/v1/faults", R"({"player-preferences": "down"})", kJson);
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200);
  LogIn(43, 8);
  EXPECT_TRUE(events.WaitFor({"\"uri\":\"/zek-settings/v1/account/didreset\"", "\"data\":true"}));
  EXPECT_TRUE(
      events.WaitFor({"\"uri\":\"/zek-settings/v2/didreset/QEVPreferences\"", "\"data\":true"}));
  EXPECT_TRUE(Get("/zek-settings/v1/account/audio").Find("data").IsEmpty());
  EXPECT_EQ(Get("/data-store/v1/install-settings/qev-settings").Find("accountId").GetUnsigned(0),
            0u);
}

}  // namespace
}  // namespace Varn::Host::test

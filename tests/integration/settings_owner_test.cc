// Owner records of the account files as account writes mark them, and the preferences telemetry.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/integration/settings_fixture.h"

namespace Varn::Host::settings_test {
namespace {

constexpr char kQevKey[] = "/data-store/v1/install-settings/qev-settings";
constexpr char kPatchBody[] = R"({"schemaVersion":1,"data":{"fov":90}})";

class SettingsOwnerTest : public SettingsFixture {
 protected:
  CallOutcome PatchQev(std::string_view body = kPatchBody) {
    return Request(PLUGIN_METHOD_PATCH, "/zek-settings/v2/account/QEVPreferences/video", body);
  }
  // The owner records written so far, as JSON of their argument.
  std::vector<std::string> Written() const {
    std::vector<std::string> written;
    for (const RecordedCall& call : Calls(kQevKey)) {
      if (call.method == PLUGIN_METHOD_POST) written.push_back(Json(call.arguments.Find("value")));
    }
    return written;
  }
};

TEST_F(SettingsOwnerTest, AWriteMarksTheRecordOnceForTheSessionAccountWithTheStoredTimestamp) {
  ScriptValue(kQevKey, Owner(0, 1234, false), PLUGIN_METHOD_GET);
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  LogInAndLoadAccounts(42);
  ASSERT_FALSE(PatchQev().failed);
  ASSERT_FALSE(PatchQev(R"({"schemaVersion":1,"data":{"fov":70}})").failed);
  EXPECT_EQ(Written(),
            std::vector<std::string>{R"({"accountId":42,"modified":true,"timestamp":1234})"});
}

// How a record read at start compares with a write of account 42 that keeps its timestamp.
struct StoredCase {
  const char* name;
  BindingProperty (*stored)();
  std::vector<std::string> written;
};
// Cases print as their names in test listings.
void PrintTo(const StoredCase& c, std::ostream* out) { *out << c.name; }

class SettingsStoredOwnerTest : public SettingsOwnerTest,
                                public testing::WithParamInterface<StoredCase> {};

TEST_P(SettingsStoredOwnerTest, ComparesByTheReadingRules) {
  ScriptValue(kQevKey, GetParam().stored(), PLUGIN_METHOD_GET);
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  LogInAndLoadAccounts(42);
  ASSERT_FALSE(PatchQev().failed);
  EXPECT_EQ(Written(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Records, SettingsStoredOwnerTest,
    testing::Values(
        StoredCase{"AccountIdAsDecimalText",
                   [] {
                     BindingProperty stored = Owner(0, 5, true);
                     stored.Field("accountId").SetString("42");
                     return stored;
                   },
                   {}},
        StoredCase{"AccountIdAsHexadecimalText",
                   [] {
                     BindingProperty stored = Owner(0, 0, true);
                     stored.Field("accountId").SetString("0x2a");
                     return stored;
                   },
                   {}},
        // Only an Unsigned timestamp counts: a Signed one reads as 0, and the write keeps 0.
        StoredCase{"SignedTimestampReadsAsZero",
                   [] {
                     BindingProperty stored = Owner(42, 0, false);
                     stored.Field("timestamp").SetSigned(5);
                     return stored;
                   },
                   {R"({"accountId":42,"modified":true,"timestamp":0})"}},
        StoredCase{"RecordWithoutMembers",
                   [] { return BindingProperty(); },
                   {R"({"accountId":42,"modified":true,"timestamp":0})"}}),
    [](const testing::TestParamInfo<StoredCase>& info) { return std::string(info.param.name); });

TEST_F(SettingsOwnerTest, AFailedWriteIsLoggedKeptInMemoryAndNotRetried) {
  ScriptError(kQevKey, 503, "store down", PLUGIN_METHOD_POST);
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  LogInAndLoadAccounts(42);
  ASSERT_FALSE(PatchQev().failed);
  EXPECT_EQ(LinesWith("Failed to set qev-settings-owner: Error response for POST "
                      "/data-store/v1/install-settings/qev-settings: store down")
                .size(),
            1u);
  // The route still succeeds and the next write finds the values unchanged.
  ASSERT_FALSE(PatchQev(R"({"schemaVersion":1,"data":{"fov":70}})").failed);
  EXPECT_EQ(Written().size(), 1u);
  EXPECT_EQ(LinesWith("Failed to set qev-settings-owner").size(), 1u);
}

TEST_F(SettingsOwnerTest, TelemetryCarriesOneFieldUnderOneEventName) {
  WriteFile(InstallPath("Config/QEVLocalPreferences.yaml"), "a:\r\n    data: 1\r\n");
  ASSERT_NO_FATAL_FAILURE(LoadAndStart());
  std::vector<RecordedCall> sent = Calls(kTelemetryPath);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].method, uint32_t{PLUGIN_METHOD_POST});
  EXPECT_EQ(sent[0].path, "/telemetry/v1/events/qev__preferences__event");
  EXPECT_EQ(Json(sent[0].arguments), R"({"event_name":"load_qev_preferences_succeeded_local"})");
}

}  // namespace
}  // namespace Varn::Host::settings_test

#include "runtime/plugin_log_target.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "recording_log_target.h"
#include "runtime/console_log_target.h"
#include "runtime/log_category_table.h"

namespace Varn {
namespace {

// Stands in for the host's function table: slot WriteLog takes the table, a level and a line.
struct FakeHostApi {
  void (*WriteLog)(FakeHostApi* api, int32_t level, const char* line);
  std::vector<std::pair<int32_t, std::string>> lines;
};

void HostWriteLog(FakeHostApi* api, int32_t level, const char* line) {
  api->lines.emplace_back(level, line);
}

// What the frame supplies: the writer calls the host table's WriteLog with the table as context.
void WriteToHost(void* context, int32_t level, const char* message) {
  auto* api = static_cast<FakeHostApi*>(context);
  api->WriteLog(api, level, message);
}

class PluginLogTargetTest : public LoggerFixture {
 protected:
  void SetUp() override {
    LoggerFixture::SetUp();
    // Installation must detach the console targets itself, so they start attached here.
    logger().StdErrTarget().Attach();
    logger().DebuggerTarget().Attach();
    logger().StdOutTarget().Attach();
  }
  FakeHostApi host_{&HostWriteLog, {}};
};

TEST_F(PluginLogTargetTest, InstallationRoutesRawMessagesToTheHost) {
  Log(kLogInfo, 1, 0, "before start: dropped by the default minimum level");
  std::unique_ptr<LogTarget> slot;
  InstallPluginLogTarget(slot, &WriteToHost, &host_);

  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->Name(), "PluginLogTarget");
  EXPECT_EQ(slot->Pattern(), "#D| #L| #G| #M");
  EXPECT_EQ(slot->MinimumLevel(), 0);
  EXPECT_EQ(slot->IncludedCategories(), 0u);
  EXPECT_EQ(slot->ExcludedCategories(), 0u);
  EXPECT_EQ(logger().MinimumLevel(), 0);
  EXPECT_EQ(logger().ExcludedCategories(), kCategoryXtr);
  std::vector<LogTarget*> attached = logger().AttachedTargets();
  ASSERT_EQ(attached.size(), 1u);
  EXPECT_EQ(attached[0], slot.get());

  Log(kLogInfo, 1, 0, "info %d", 7);
  Log(kLogWarning, 65, 0, "timer %s", "late");
  Log(kLogError, 0, 0, "no category");
  Log(kLogError, static_cast<uint32_t>(kCategoryXtr), 0, "extra: still excluded");
  const std::vector<std::pair<int32_t, std::string>> expected = {
      {0, "info 7"}, {1, "timer late"}, {2, "no category"}};
  EXPECT_EQ(host_.lines, expected);
}

TEST_F(PluginLogTargetTest, SecondInstallationKeepsTheAttachedTarget) {
  std::unique_ptr<LogTarget> slot;
  InstallPluginLogTarget(slot, &WriteToHost, &host_);
  LogTarget* first = slot.get();
  logger().SetMinimumLevel(2);

  FakeHostApi other{&HostWriteLog, {}};
  std::unique_ptr<LogTarget> other_slot;
  InstallPluginLogTarget(other_slot, &WriteToHost, &other);
  InstallPluginLogTarget(slot, &WriteToHost, &other);
  EXPECT_EQ(other_slot, nullptr);
  EXPECT_EQ(slot.get(), first);
  EXPECT_EQ(logger().MinimumLevel(), 2);  // nothing was changed

  Log(kLogError, 1, 0, "once");
  EXPECT_EQ(host_.lines.size(), 1u);
  EXPECT_TRUE(other.lines.empty());
}

TEST_F(PluginLogTargetTest, InstallationReplacesTheSlotsPreviousTarget) {
  auto previous = std::make_unique<RecordingLogTarget>("PreviousTarget");
  previous->Configure(0, 0, 0, "#M");
  std::unique_ptr<LogTarget> slot = std::move(previous);
  InstallPluginLogTarget(slot, &WriteToHost, &host_);
  EXPECT_EQ(slot->Name(), "PluginLogTarget");
  EXPECT_EQ(logger().FindAttached("PreviousTarget"), nullptr);
  Log(kLogWarning, 1, 0, "after");
  EXPECT_EQ(host_.lines.size(), 1u);
}

TEST_F(PluginLogTargetTest, DestroyingThePluginTargetStopsForwarding) {
  std::unique_ptr<LogTarget> slot;
  InstallPluginLogTarget(slot, &WriteToHost, &host_);
  slot.reset();
  EXPECT_EQ(logger().FindAttached("PluginLogTarget"), nullptr);
  Log(kLogError, 1, 0, "nobody hears this");
  EXPECT_TRUE(host_.lines.empty());

  // A later start installs a fresh target.
  InstallPluginLogTarget(slot, &WriteToHost, &host_);
  Log(kLogError, 1, 0, "heard");
  EXPECT_EQ(host_.lines.size(), 1u);
}

TEST_F(PluginLogTargetTest, LongMessagesReachTheHostCut) {
  std::unique_ptr<LogTarget> slot;
  InstallPluginLogTarget(slot, &WriteToHost, &host_);
  const std::string long_text(5000, 'h');
  Log(kLogWarning, 1, 0, "%s", long_text.c_str());
  ASSERT_EQ(host_.lines.size(), 1u);
  EXPECT_EQ(host_.lines[0].second, std::string(4095, 'h'));
}

}  // namespace
}  // namespace Varn

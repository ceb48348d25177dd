#include "runtime/logging_interface.h"

#include <gtest/gtest.h>

#include <cstring>

#include "recording_log_target.h"
#include "runtime/log_category_table.h"

namespace Varn {
namespace {

class LoggingInterfaceTest : public LoggerFixture {};

TEST_F(LoggingInterfaceTest, TableDrivesTheProcessLogger) {
  const LoggingInterface& api = GetLoggingInterface();
  EXPECT_EQ(api.interfaceVersion(), 1);

  api.setMinimumLevel(3);
  EXPECT_EQ(api.minimumLevel(), 3);
  EXPECT_EQ(logger().MinimumLevel(), 3);
  api.setExcludedCategories(0x10, 0x2);
  EXPECT_EQ(api.excludedCategories(), (uint64_t{2} << 32) | 0x10);

  api.disable();
  EXPECT_TRUE(logger().IsDisabled());
  api.enable();
  EXPECT_FALSE(logger().IsDisabled());
  api.setSecondFlag();
  EXPECT_TRUE(logger().SecondFlag());
  api.clearSecondFlag();
  EXPECT_FALSE(logger().SecondFlag());

  RecordingLogTarget target("ViaTable");
  api.attachTarget(&target);
  EXPECT_TRUE(target.IsAttached());
  EXPECT_EQ(api.findAttachedTarget("ViaTable"), &target);
  EXPECT_EQ(api.findAttachedTarget(nullptr), nullptr);
  api.detachTarget(&target);
  EXPECT_EQ(api.findAttachedTarget("ViaTable"), nullptr);
  api.detachTarget(nullptr);
  api.attachTarget(nullptr);

  EXPECT_EQ(api.registerCategory("NET"), 64u);
  EXPECT_EQ(api.registerCategory(nullptr), 0u);
  EXPECT_STREQ(api.levelName(2), " ERROR");

  LogRecord record;
  record.time = FixedTime();
  record.level = 2;
  record.categoryLow = 1;
  record.categoryHigh = 0;
  std::strcpy(record.message, "x");
  char line[kLogBufferSize];
  size_t length = api.expandPattern("#D| #L| #G| #M", &record, line);
  EXPECT_EQ(std::string(line, length), "2024-03-05T06:07:08.009|  ERROR| DBG| x\n");
  EXPECT_EQ(api.expandPattern(nullptr, &record, line), 1u);
  EXPECT_EQ(api.expandPattern("#M", nullptr, line), 0u);
}

TEST(LoggingInterfaceLifecycleTest, AcquireAndReleaseThroughTheTable) {
  const LoggingInterface& api = GetLoggingInterface();
  api.acquire();
  api.setMinimumLevel(0);
  api.release();
  EXPECT_EQ(api.minimumLevel(), 1);  // the last release restored the defaults
}

}  // namespace
}  // namespace Varn

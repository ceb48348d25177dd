#include "runtime/console_log_target.h"

#include <gtest/gtest.h>

#include <string>

#include "recording_log_target.h"
#include "runtime/log_category_table.h"

namespace Varn {
namespace {

class ConsoleLogTargetTest : public LoggerFixture {};

TEST_F(ConsoleLogTargetTest, BuiltInSettings) {
  struct Case {
    LogTarget* target;
    std::string_view name;
    std::string_view pattern;
    uint64_t included;
    uint64_t excluded;
  };
  const Case cases[] = {
      {&logger().StdErrTarget(), "StdErrLogTarget", "#E(#T): #L| #M", kCategoryDbg, kCategoryGen},
      {&logger().StdOutTarget(), "StdOutLogTarget", "#M", kCategoryGen, kCategoryDbg},
      {&logger().DebuggerTarget(), "DebuggerConsoleLogTarget", "#E(#T): #L| #M", kCategoryDbg, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.target->Name(), c.name);
    EXPECT_EQ(c.target->Pattern(), c.pattern);
    EXPECT_EQ(c.target->MinimumLevel(), 1);
    EXPECT_EQ(c.target->IncludedCategories(), c.included);
    EXPECT_EQ(c.target->ExcludedCategories(), c.excluded);
  }
}

TEST_F(ConsoleLogTargetTest, StandardOutputTakesGeneralAndUncategorisedRecordsOnly) {
  logger().StdOutTarget().Attach();
  logger().StdOutTarget().SetAutoFlush(true);
  struct Case {
    int32_t level;
    uint64_t mask;
    const char* message;
    bool written;
  };
  const Case cases[] = {
      {1, 0, "uncategorised warning", true},
      {2, kCategoryGen, "general error", true},
      {3, 0, "always", true},
      {0, 0, "info: below the minimum", false},
      {2, kCategoryDbg, "debug", false},
      {2, kCategoryDbg | kCategoryGen, "both", false},
      {2, kCategoryNet, "network", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    logger().SetMinimumLevel(0);
    testing::internal::CaptureStdout();
    Log(c.level, static_cast<uint32_t>(c.mask), 0, "%s", c.message);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, c.written ? std::string(c.message) + "\n" : "");
  }
}

TEST_F(ConsoleLogTargetTest, StandardErrorWritesTheExpandedLine) {
  logger().StdErrTarget().Attach();
  testing::internal::CaptureStderr();
  Log(kLogError, static_cast<uint32_t>(kCategoryDbg), 0, "broken %d", 3);
  Log(kLogError, static_cast<uint32_t>(kCategoryGen), 0, "general: excluded");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("runtime_tests(0x", 0), 0u) << err;
  EXPECT_NE(err.find("):  ERROR| broken 3\n"), std::string::npos) << err;
  EXPECT_EQ(err.find("general"), std::string::npos) << err;
}

TEST_F(ConsoleLogTargetTest, DebuggerTargetAttachesAndFiltersThoughItWritesNowhere) {
  LogTarget& debugger = logger().DebuggerTarget();
  debugger.Attach();
  EXPECT_EQ(logger().FindAttached("DebuggerConsoleLogTarget"), &debugger);
  LogRecord record;
  record.time = FixedTime();
  record.level = kLogError;
  record.categoryLow = static_cast<uint32_t>(kCategoryDbg);
  record.categoryHigh = 0;
  std::snprintf(record.message, sizeof(record.message), "to the debugger");
  EXPECT_TRUE(debugger.Offer(record));
  record.categoryLow = static_cast<uint32_t>(kCategoryNet);
  EXPECT_FALSE(debugger.Offer(record));
}

}  // namespace
}  // namespace Varn

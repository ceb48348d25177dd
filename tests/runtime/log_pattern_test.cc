#include "runtime/log_pattern.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "recording_log_target.h"
#include "runtime/runtime_platform.h"

namespace Varn {
namespace {

LogRecord MakeRecord(int32_t level, uint64_t mask, const std::string& message) {
  LogRecord record;
  record.time = FixedTime();
  record.level = level;
  record.categoryLow = static_cast<uint32_t>(mask);
  record.categoryHigh = static_cast<uint32_t>(mask >> 32);
  std::snprintf(record.message, sizeof(record.message), "%s", message.c_str());
  return record;
}

std::string Expand(std::string_view pattern, const LogRecord& record) {
  char line[kLogBufferSize];
  std::memset(line, 'Z', sizeof(line));
  size_t length = ExpandPattern(pattern, record, line);
  EXPECT_EQ(line[length], '\0');
  return std::string(line, length);
}

int64_t g_monotonic_now = 0;
int64_t FakeMonotonic() { return g_monotonic_now; }

class LogPatternTest : public LoggerFixture {};

TEST_F(LogPatternTest, Codes) {
  struct Case {
    const char* pattern;
    int32_t level;
    uint64_t mask;
    const char* message;
    std::string expected;
  };
  const Case cases[] = {
      {"#D| #L| #G| #M", 2, 1, "x", "2024-03-05T06:07:08.009|  ERROR| DBG| x\n"},
      {"#G", 1, 65, "", "DBG;NET\n"},
      {"#G", 1, uint64_t{1} << 63, "", "???\n"},
      {"[#G]", 1, 0, "", "[]\n"},
      {"#L#L", 3, 0, "", "ALWAYSALWAYS\n"},
      {"#Q#q##", 1, 0, "", "Qq#\n"},
      {"#|", 1, 0, "", "|\n"},
      {"a#", 1, 0, "", "a\n"},
      {"#", 1, 0, "", "\n"},
      {"", 1, 0, "", "\n"},
      {"#M", 1, 0, "ends with a line feed\n", "ends with a line feed\n"},
      {"#M", 1, 0, "two\n\n", "two\n\n"},
      {"#M", 1, 0, "", "\n"},
      {"#M!", 1, 0, "%s %d", "%s %d!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(Expand(c.pattern, MakeRecord(c.level, c.mask, c.message)), c.expected);
  }
}

TEST_F(LogPatternTest, ExecutableThreadAndElapsedTime) {
  LogRecord record = MakeRecord(1, 0, "m");
  EXPECT_EQ(Expand("#E", record), logger().ExecutableName() + "\n");
  EXPECT_EQ(logger().ExecutableName(), "runtime_tests");

  char thread[32];
  std::snprintf(thread, sizeof(thread), "%p",
                reinterpret_cast<void*>(static_cast<uintptr_t>(Platform::CurrentThreadId())));
  EXPECT_EQ(Expand("#T", record), std::string(thread) + "\n");

  g_monotonic_now = 5'000'000'000;
  logger().SetClock(LogClock{&FixedTime, &FakeMonotonic});
  EXPECT_EQ(Expand("#H", record), "000000.000\n");  // the first reading is the origin
  g_monotonic_now += 12'345'678'901;
  EXPECT_EQ(Expand("#H", record), "000012.345\n");
}

TEST_F(LogPatternTest, LongLinesAreCutAndStillEndWithALineFeed) {
  const std::string long_message(4095, 'm');
  struct Case {
    const char* what;
    std::string pattern;
    std::string expected;
  };
  const Case cases[] = {
      {"message fills the line", "#M", std::string(4094, 'm') + "\n"},
      {"prefix and message", "ab#M", "ab" + std::string(4092, 'm') + "\n"},
      {"long literal pattern", std::string(5000, 'p'), std::string(4094, 'p') + "\n"},
      {"code at the cut", std::string(4090, 'p') + "#D", std::string(4090, 'p') + "2024\n"},
      {"literal line feed at the cut", std::string(4093, 'p') + "\nq",
       std::string(4093, 'p') + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string line = Expand(c.pattern, MakeRecord(1, 1, long_message));
    EXPECT_EQ(line.size(), c.expected.size());
    EXPECT_EQ(line, c.expected);
  }
}

TEST_F(LogPatternTest, UnterminatedMessageIsReadWithinItsBuffer) {
  LogRecord record = MakeRecord(1, 0, "");
  std::memset(record.message, 'u', sizeof(record.message));
  EXPECT_EQ(Expand("#M", record), std::string(4094, 'u') + "\n");
}

}  // namespace
}  // namespace Varn

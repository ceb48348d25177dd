#include "runtime/logger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "recording_log_target.h"
#include "runtime/console_log_target.h"
#include "runtime/log_category_table.h"

namespace Varn {
namespace {

using LoggerTest = LoggerFixture;

TEST_F(LoggerTest, FiltersByLoggerAndTargetSettings) {
  struct Case {
    const char* what;
    int32_t logger_min;
    uint64_t logger_excluded;
    int32_t target_min;
    uint64_t included;
    uint64_t excluded;
    int32_t level;
    uint64_t mask;
    bool delivered;
  };
  const Case cases[] = {
      {"default logger drops level 0", 1, 4, 0, 0, 0, 0, 1, false},
      {"default logger takes level 1", 1, 4, 0, 0, 0, 1, 1, true},
      {"default logger drops XTR", 1, 4, 0, 0, 0, 1, 4, false},
      {"XTR mixed with another category is still dropped", 1, 4, 0, 0, 0, 2, 5, false},
      {"logger exclusion in the high half", 0, uint64_t{1} << 40, 0, 0, 0, 3, uint64_t{1} << 40,
       false},
      {"target minimum level", 0, 0, 2, 0, 0, 1, 1, false},
      {"target minimum level reached", 0, 0, 2, 0, 0, 2, 1, true},
      {"target excluded category", 0, 0, 0, 0, 2, 1, 2, false},
      {"target excluded shares one bit", 0, 0, 0, 0, 2, 1, 3, false},
      {"target included category", 0, 0, 0, 1, 0, 1, 1, true},
      {"target included misses", 0, 0, 0, 1, 0, 1, 2, false},
      {"included takes any shared bit", 0, 0, 0, 1, 0, 1, 65, true},
      {"excluded wins over included", 0, 0, 0, 1, 64, 1, 65, false},
      {"category 0 passes included", 0, 0, 0, 1, 0, 1, 0, true},
      {"category 0 passes excluded", 0, 0, 0, 0, ~uint64_t{0}, 1, 0, true},
      {"category 0 still filtered by level", 0, 0, 2, 1, 0, 1, 0, false},
      {"negative level below default minimum", 0, 0, 0, 0, 0, -1, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    logger().SetMinimumLevel(c.logger_min);
    logger().SetExcludedCategories(c.logger_excluded);
    RecordingLogTarget target;
    target.Configure(c.target_min, c.included, c.excluded, "#M");
    Log(c.level, static_cast<uint32_t>(c.mask), static_cast<uint32_t>(c.mask >> 32), "m");
    EXPECT_EQ(target.lines.size(), c.delivered ? 1u : 0u);
  }
}

TEST_F(LoggerTest, RecordsCarryTheClocksTimeAndTheDefaultPatternExpandsThem) {
  RecordingLogTarget target;
  target.Configure(0, 0, 0, kDefaultLogPattern);
  Log(kLogError, 1, 0, "%c", 'x');
  ASSERT_EQ(target.lines.size(), 1u);
  EXPECT_EQ(target.lines[0].line, "2024-03-05T06:07:08.009|  ERROR| DBG| x\n");
}

TEST_F(LoggerTest, DisabledLoggerDropsEverything) {
  RecordingLogTarget target;
  target.Configure(0, 0, 0, "#M");
  logger().Disable();
  Log(kLogAlways, 1, 0, "dropped");
  logger().Enable();
  Log(kLogAlways, 1, 0, "kept");
  ASSERT_EQ(target.lines.size(), 1u);
  EXPECT_EQ(target.lines[0].message, "kept");
}

TEST_F(LoggerTest, MessagesAreCutAt4095Characters) {
  RecordingLogTarget target;
  target.Configure(0, 0, 0, "#M");
  const std::string long_text(5000, 'a');
  Log(kLogWarning, 1, 0, "%s", long_text.c_str());
  LogText(kLogWarning, 1, long_text);
  ASSERT_EQ(target.lines.size(), 2u);
  for (const RecordedLine& line : target.lines) {
    EXPECT_EQ(line.message, std::string(4095, 'a'));
    // The expanded line keeps room for its line feed.
    EXPECT_EQ(line.line, std::string(4094, 'a') + "\n");
  }
}

TEST_F(LoggerTest, CountsWarningsAndErrorsThatPassTheLogger) {
  RecordingLogTarget target;
  target.Configure(3, 0, 0, "#M");  // the target's own filter does not change the counts
  Log(kLogWarning, 1, 0, "w");
  Log(kLogWarning, 4, 0, "excluded by the logger");
  Log(kLogError, 1, 0, "e");
  Log(kLogError, 0, 0, "e");
  Log(kLogInfo, 1, 0, "below the minimum");
  Log(kLogAlways, 1, 0, "a");
  EXPECT_EQ(logger().WarningCount(), 1u);
  EXPECT_EQ(logger().ErrorCount(), 2u);
  EXPECT_EQ(target.lines.size(), 1u);
}

TEST_F(LoggerTest, TargetsReceiveRecordsInAttachOrderAndConfigureMovesToTheEnd) {
  std::vector<std::string> order;
  struct OrderTarget : LogTarget {
    OrderTarget(std::string n, std::vector<std::string>* o) : name(std::move(n)), order(o) {}
    ~OrderTarget() override { Detach(); }
    std::string_view Name() const override { return name; }
    bool Write(const LogRecord&) override {
      order->push_back(name);
      return true;
    }
    std::string name;
    std::vector<std::string>* order;
  };
  OrderTarget a("a", &order), b("b", &order), c("c", &order);
  a.Attach();
  b.Attach();
  c.Attach();
  a.Attach();  // already attached: stays first
  Log(kLogWarning, 1, 0, "1");
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c"}));
  order.clear();
  a.Configure(1, 0, 0, "#M");
  Log(kLogWarning, 1, 0, "2");
  EXPECT_EQ(order, (std::vector<std::string>{"b", "c", "a"}));
  EXPECT_EQ(logger().FindAttached("b"), &b);
  b.Detach();
  EXPECT_FALSE(b.IsAttached());
  EXPECT_EQ(logger().FindAttached("b"), nullptr);
}

TEST_F(LoggerTest, DestroyingATargetDetachesIt) {
  {
    RecordingLogTarget target("Temporary");
    target.Attach();
    EXPECT_NE(logger().FindAttached("Temporary"), nullptr);
  }
  EXPECT_EQ(logger().FindAttached("Temporary"), nullptr);
  Log(kLogError, 1, 0, "no target left to reach");
}

TEST_F(LoggerTest, LoggingFromInsideATargetNeitherDeadlocksNorRecurses) {
  struct NoisyTarget : RecordingLogTarget {
    bool Write(const LogRecord& record) override {
      Log(kLogError, 1, 0, "from inside");
      Logger::Instance().SetMinimumLevel(1);  // settings stay usable from a target
      return RecordingLogTarget::Write(record);
    }
  };
  NoisyTarget target;
  target.Configure(0, 0, 0, "#M");
  Log(kLogError, 1, 0, "outer");
  ASSERT_EQ(target.lines.size(), 1u);
  EXPECT_EQ(target.lines[0].message, "outer");
}

TEST_F(LoggerTest, LinesFromTwoThreadsNeverInterleave) {
  // Each write checks that no other write is in progress on any target.
  struct CheckingTarget : RecordingLogTarget {
    explicit CheckingTarget(std::atomic<int>* active) : active(active) {}
    bool Write(const LogRecord& record) override {
      if (active->fetch_add(1) != 0) overlaps++;
      RecordingLogTarget::Write(record);
      active->fetch_sub(1);
      return true;
    }
    std::atomic<int>* active;
    int overlaps = 0;
  };
  std::atomic<int> active{0};
  CheckingTarget first(&active), second(&active);
  first.Configure(0, 0, 0, "#M");
  second.Configure(0, 0, 0, "#M");
  constexpr int kPerThread = 2000;
  auto writer = [](char letter) {
    const std::string body(100, letter);
    for (int i = 0; i < kPerThread; ++i) Log(kLogWarning, 1, 0, "%c%d%s", letter, i, body.c_str());
  };
  std::thread a(writer, 'a');
  std::thread b(writer, 'b');
  a.join();
  b.join();
  for (CheckingTarget* target : {&first, &second}) {
    EXPECT_EQ(target->overlaps, 0);
    ASSERT_EQ(target->lines.size(), 2u * kPerThread);
    int next[2] = {0, 0};
    for (const RecordedLine& line : target->lines) {
      char letter = line.message[0];
      ASSERT_TRUE(letter == 'a' || letter == 'b');
      int& expected = next[letter - 'a'];
      ASSERT_EQ(line.message, letter + std::to_string(expected) + std::string(100, letter));
      ++expected;
    }
  }
  // Both targets saw the records in one global order.
  for (size_t i = 0; i < first.lines.size(); ++i) {
    ASSERT_EQ(first.lines[i].message, second.lines[i].message);
  }
}

TEST(LoggerLifecycleTest, LastReleaseRestoresTheInitialState) {
  Logger& logger = Logger::Acquire();
  Logger::Acquire();
  logger.SetMinimumLevel(0);
  logger.SetExcludedCategories(0);
  logger.StdErrTarget().Detach();
  logger.StdOutTarget().Attach();
  logger.StdErrTarget().Configure(3, 0, 0, "#M");  // re-attaches, with other settings
  logger.Disable();
  logger.SetSecondFlag(true);
  Logger::Release();
  EXPECT_EQ(logger.MinimumLevel(), 0);  // one reference is still held
  Logger::Release();
  Logger::Release();  // unmatched: ignored

  EXPECT_EQ(logger.MinimumLevel(), 1);
  EXPECT_EQ(logger.ExcludedCategories(), 4u);
  EXPECT_FALSE(logger.IsDisabled());
  EXPECT_FALSE(logger.SecondFlag());
  std::vector<LogTarget*> targets = logger.AttachedTargets();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0]->Name(), "StdErrLogTarget");
  EXPECT_EQ(targets[1]->Name(), "DebuggerConsoleLogTarget");
  EXPECT_FALSE(logger.StdOutTarget().IsAttached());
  EXPECT_EQ(logger.StdErrTarget().MinimumLevel(), 1);
  EXPECT_EQ(logger.StdErrTarget().Pattern(), "#E(#T): #L| #M");
}

TEST(LoggerLifecycleTest, LevelNames) {
  EXPECT_STREQ(LevelName(0), "  OKAY");
  EXPECT_STREQ(LevelName(1), "  WARN");
  EXPECT_STREQ(LevelName(2), " ERROR");
  EXPECT_STREQ(LevelName(3), "ALWAYS");
  EXPECT_STREQ(LevelName(4), "  ????");
  EXPECT_STREQ(LevelName(-1), "  ????");
}

}  // namespace
}  // namespace Varn

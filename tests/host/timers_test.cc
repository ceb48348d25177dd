// Scheduled callbacks, named timers and waits through the host runtime with a manual clock.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "probe_plugin.h"

namespace Varn::Host {
namespace {

using TimersTest = ProbeFixture;

TEST_F(TimersTest, ScheduledCallbacksRunOnceWhenDueWithIdsFromOne) {
  std::vector<std::string> ran;
  std::vector<uint64_t> ids;
  OnHost([&](ProbePlugin& plugin) {
    int64_t now = Timers::Now();
    ids.push_back(plugin.ScheduleAt(
        "late", [&] { ran.push_back("late"); }, now + 2'000'000'000));
    ids.push_back(plugin.ScheduleAt(
        "past", [&] { ran.push_back("past"); }, now - 5'000'000'000));
    ids.push_back(plugin.ScheduleAt(
        "soon", [&] { ran.push_back("soon"); }, now + 500'000'000));
  });
  EXPECT_EQ(ids, (std::vector<uint64_t>{1, 2, 3}));
  // A due time in the past is due at once.
  EXPECT_EQ(runtime_->RunDueCallbacks(), 1u);
  EXPECT_EQ(ran, std::vector<std::string>{"past"});
  Advance(1.0);
  Advance(1.0);
  Advance(10.0);
  EXPECT_EQ(ran, (std::vector<std::string>{"past", "soon", "late"}));
  OnHost([&](ProbePlugin& plugin) {
    EXPECT_EQ(plugin.ScheduledCallbackCount(), 0u);
    EXPECT_EQ(plugin.ScheduleAt(
                  "next", [] {}, 0),
              4u);
  });
}

TEST_F(TimersTest, ACallbackMayScheduleAnotherThatIsAlreadyDue) {
  std::vector<int> ran;
  OnHost([&](ProbePlugin& plugin) {
    plugin.ScheduleAt(
        "first",
        [&] {
          ran.push_back(1);
          plugin.ScheduleAt(
              "second", [&] { ran.push_back(2); }, 0);
        },
        0);
  });
  EXPECT_EQ(runtime_->RunDueCallbacks(), 2u);
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST_F(TimersTest, ATimerTicksEveryPeriodUntilKilled) {
  int ticks = 0;
  OnHost([&](ProbePlugin& plugin) { plugin.SetTimer("upload", 30.0, [&] { ++ticks; }); });
  EXPECT_EQ(runtime_->PendingCallbackLabels(), std::vector<std::string>{"Timer: upload"});
  Advance(29.0);
  EXPECT_EQ(ticks, 0);
  Advance(1.0);
  EXPECT_EQ(ticks, 1);
  Advance(30.0);
  Advance(30.0);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(runtime_->PendingCallbacks(), 1u);
}

TEST_F(TimersTest, RestartingBeforeTheFirstTickLeavesOnlyTheNewChain) {
  int first = 0;
  int second = 0;
  OnHost([&](ProbePlugin& plugin) {
    plugin.SetTimer("t", 1.0, [&] { ++first; });
    plugin.SetTimer("t", 1.0, [&] { ++second; });
  });
  EXPECT_EQ(runtime_->PendingCallbacks(), 2u);
  Advance(1.0);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  // The stale tick ended its chain: only the new one is scheduled again.
  EXPECT_EQ(runtime_->PendingCallbacks(), 1u);
  Advance(1.0);
  EXPECT_EQ(second, 2);
}

TEST_F(TimersTest, ACallbackThatRestartsItsTimerEndsTheOldChain) {
  int ticks = 0;
  OnHost([&](ProbePlugin& plugin) {
    plugin.SetTimer("self", 1.0, [&] {
      ++ticks;
      plugin.SetTimer("self", 5.0, [&] { ticks += 100; });
    });
  });
  Advance(1.0);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(runtime_->PendingCallbacks(), 1u);
  Advance(1.0);
  EXPECT_EQ(ticks, 1);
  Advance(4.0);
  EXPECT_EQ(ticks, 101);
}

TEST_F(TimersTest, AStaleTickAfterKillTimerLogsOnceAndSchedulesNothing) {
  int ticks = 0;
  OnHost([&](ProbePlugin& plugin) {
    plugin.SetTimer("gone", 1.0, [&] { ++ticks; });
    plugin.KillTimer("gone");
    plugin.KillTimer("gone");
  });
  Advance(1.0);
  EXPECT_EQ(ticks, 0);
  EXPECT_EQ(LinesWith("Couldn't find timer named"),
            std::vector<std::string>{"probe: Couldn't find timer named gone"});
  EXPECT_EQ(runtime_->PendingCallbacks(), 0u);
  Advance(10.0);
  EXPECT_EQ(LinesWith("Couldn't find timer named").size(), 1u);
}

// A name set again after KillTimer starts one new chain; the killed chain's pending tick must
// not take the new record for its own and run the old callback.
TEST_F(TimersTest, ANameSetAgainAfterKillTimerTicksOnlyItsNewCallback) {
  int old_ticks = 0;
  int new_ticks = 0;
  OnHost([&](ProbePlugin& plugin) {
    plugin.SetTimer("t", 1.0, [&] { ++old_ticks; });
    plugin.KillTimer("t");
    plugin.SetTimer("t", 1.0, [&] { ++new_ticks; });
  });
  for (int period = 1; period <= 3; ++period) {
    SCOPED_TRACE(period);
    Advance(1.0);
    EXPECT_EQ(old_ticks, 0);
    EXPECT_EQ(new_ticks, period);
    EXPECT_EQ(runtime_->PendingCallbacks(), 1u);
  }
}

TEST_F(TimersTest, ACallbackThatKillsAndSetsItsOwnTimerTicksOncePerPeriod) {
  int ticks = 0;
  std::function<void()> tick;
  OnHost([&](ProbePlugin& plugin) {
    tick = [&] {
      ++ticks;
      plugin.KillTimer("self");
      plugin.SetTimer("self", 1.0, tick);
    };
    plugin.SetTimer("self", 1.0, tick);
  });
  for (int period = 1; period <= 3; ++period) {
    SCOPED_TRACE(period);
    Advance(1.0);
    EXPECT_EQ(ticks, period);
    EXPECT_EQ(runtime_->PendingCallbacks(), 1u);
  }
}

TEST_F(TimersTest, TicksAfterStopFindNothingAndDoNothing) {
  int ticks = 0;
  OnHost([&](ProbePlugin& plugin) {
    plugin.SetTimer("t", 1.0, [&] { ++ticks; });
    plugin.ScheduleAt(
        "once", [&] { ++ticks; }, Timers::Now() + 1'000'000'000);
  });
  runtime_->Stop(handle_);
  // The host still holds both callbacks; the plugin is gone.
  EXPECT_EQ(runtime_->PendingCallbacks(), 2u);
  Advance(2.0);
  EXPECT_EQ(ticks, 0);
  EXPECT_EQ(runtime_->PendingCallbacks(), 0u);
}

TEST_F(TimersTest, StopClearsTimersWhileThePluginLives) {
  int ticks = 0;
  OnHost([&](ProbePlugin& plugin) {
    plugin.SetTimer("t", 1.0, [&] { ++ticks; });
    plugin.Stop();
    EXPECT_FALSE(plugin.HasTimer("t"));
    EXPECT_EQ(plugin.ScheduledCallbackCount(), 0u);
  });
  Advance(1.0);
  EXPECT_EQ(ticks, 0);
  EXPECT_TRUE(LinesWith("Couldn't find timer").empty());
}

TEST_F(TimersTest, WaitYieldOpensAWaitRunsDueWorkAndClosesIt) {
  size_t open_during = 0;
  bool ran = false;
  OnHost([&](ProbePlugin& plugin) {
    plugin.ScheduleAt(
        "pending",
        [&] {
          ran = true;
          open_during = runtime_->OpenWaits();
        },
        0);
    plugin.WaitYield();
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(open_during, 1u);
  EXPECT_EQ(runtime_->OpenWaits(), 0u);
  EXPECT_EQ(runtime_->YieldCount(), 1u);
}

}  // namespace
}  // namespace Varn::Host

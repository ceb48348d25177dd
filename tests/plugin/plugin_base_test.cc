#include "plugin/plugin_base.h"

#include <gtest/gtest.h>

namespace Varn {
namespace {

// A subclass asking, from inside, whether it can touch each of the frame's tables directly. A
// plugin that could would be able to put counts, handlers and host listeners out of step.
// (The formatter cannot lay out requires-expressions yet.)
// clang-format off
class Reacher : public PluginBase {
 public:
  template <class Self>
  static constexpr int TablesInReach() {
    return int{requires(Self& self) { self.subscriptionCounts_; }} +
           int{requires(Self& self) { self.eventHandlers_; }} +
           int{requires(Self& self) { self.resourceHandlers_; }} +
           int{requires(Self& self) { self.timers_; }} +
           int{requires(Self& self) { self.scheduledCallbacks_; }} +
           int{requires(Self& self) { self.scheduledMutex_; }} +
           int{requires(Self& self) { self.nextScheduledId_; }};
  }
};
// clang-format on

TEST(PluginBaseTest, ASubclassReachesTheFramesTablesOnlyThroughItsOperations) {
  EXPECT_EQ(Reacher::TablesInReach<Reacher>(), 0);
  Reacher plugin;
  EXPECT_EQ(plugin.SubscriptionCount("OnJsonApiEvent_svc_v1_a"), 0u);
  EXPECT_FALSE(plugin.HasTimer("t"));
  EXPECT_EQ(plugin.ScheduledCallbackCount(), 0u);
}

}  // namespace
}  // namespace Varn

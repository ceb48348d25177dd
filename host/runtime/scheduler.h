// Scheduler: the host's one-shot callbacks (ScheduleCallback), ordered by due time and, for equal
// times, by the order they were scheduled. Used on the host thread only.
#ifndef ZEK_HOST_RUNTIME_SCHEDULER_H_
#define ZEK_HOST_RUNTIME_SCHEDULER_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/runtime/host_clock.h"
#include "zek/plugin_abi.h"

namespace Varn::Host {

class Scheduler {
 public:
  // Runs at most this many callbacks per RunDue, so that a callback that keeps rescheduling
  // itself with no delay cannot hold the host forever.
  static constexpr size_t kMaxRunsPerPass = 100000;

  // REQUIRES: `clock` outlives the scheduler.
  explicit Scheduler(const HostClock& clock) : clock_(clock) {}

  // Calls `callback(context)` once, `delay_seconds` from now; a delay that is not positive (or
  // not a number) means now.
  void Schedule(std::string label, PluginScheduledCallback callback, void* context,
                double delay_seconds);
  // Runs every callback that is due, in order, including those that callbacks schedule and that
  // are already due. Returns how many ran.
  size_t RunDue();
  // The due time of the earliest callback.
  std::optional<int64_t> NextDue() const;
  size_t Pending() const { return entries_.size(); }
  // Labels of the pending callbacks in due order, for tests and diagnostics.
  std::vector<std::string> PendingLabels() const;
  // Forgets every pending callback without running it.
  void Clear() { entries_.clear(); }

 private:
  struct Entry {
    std::string label;
    PluginScheduledCallback callback;
    void* context;
  };
  const HostClock& clock_;
  std::map<std::pair<int64_t, uint64_t>, Entry> entries_;
  uint64_t sequence_ = 0;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_RUNTIME_SCHEDULER_H_

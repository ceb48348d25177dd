// Timers: one-shot callbacks at a point in time, named repeating timers and the wait that yields
// to the host, all on top of the host's one-shot ScheduleCallback. Time points are monotonic
// nanoseconds; delays handed to the host are seconds.
//
// The named-timer table takes no lock: SetTimer, KillTimer and the ticks run on the host's
// calling thread. The scheduled-callback table is guarded by the plugin's scheduled mutex.
#ifndef ZEK_PLUGIN_TIMERS_H_
#define ZEK_PLUGIN_TIMERS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Varn {

class PluginBase;

using TimerCallback = std::function<void()>;

// A repeating timer. `generation` is new with every SetTimer, unique within the plugin's life: a
// tick scheduled by another generation finds the record changed and ends its chain.
struct NamedTimer {
  std::string name;
  TimerCallback tick;
  int64_t nextDue = 0;
  double period = 0.0;
  uint64_t generation = 0;
};

// A callback handed to the host. `key` is what the host holds: it leads back to the plugin and
// id only while the plugin keeps the record (see timers.cc).
struct ScheduledCallback {
  PluginBase* plugin = nullptr;
  uint64_t id = 0;
  uint64_t key = 0;
  TimerCallback callback;
};

class Timers {
 public:
  static constexpr std::string_view kWaitLabel = "Wait: yield";

  // The monotonic clock, in nanoseconds.
  static int64_t Now();
  // Has the host call `callback` once at or after `due`. Returns the record's id (from 1, never
  // reused within one plugin), or 0 when the host did not take it.
  static uint64_t ScheduleAt(PluginBase& plugin, std::string_view label, TimerCallback callback,
                             int64_t due);
  // Starts or restarts the timer `name`: the first tick one period from now, each later one a
  // period after the start of the tick before.
  static void SetTimer(PluginBase& plugin, std::string_view name, double period_seconds,
                       TimerCallback callback);
  // Stops the timer; a tick already handed to the host logs that it found no timer.
  static void KillTimer(PluginBase& plugin, std::string_view name);
  // Lets the host run pending work, then returns.
  static void WaitYield(PluginBase& plugin);
  // Drops every scheduled record of the plugin; the host may still call their entries, which
  // then do nothing.
  static void ForgetScheduled(PluginBase& plugin);

 private:
  static void Fire(void* context);
  static void Tick(PluginBase& plugin, const std::string& name, uint64_t generation,
                   const TimerCallback& callback);
};

}  // namespace Varn

#endif  // ZEK_PLUGIN_TIMERS_H_

#include "plugin/timers.h"

#include <cmath>
#include <exception>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "binding/message_format.h"
#include "plugin/frame_log.h"
#include "plugin/plugin_base.h"
#include "runtime/logger.h"
#include "runtime/runtime_platform.h"

namespace Varn {
namespace {

constexpr double kNanosecondsPerSecond = 1000000000.0;
constexpr std::string_view kTimerLabel = "Timer: %1";
constexpr uint32_t kDebugCategory = 1;

// The host holds a scheduled callback's context for as long as it likes, possibly past the
// plugin's stop and destruction. So the context is not a pointer into the plugin but a key in
// this process-wide directory, from which a plugin removes its keys when it forgets its records:
// a late call then finds nothing and does nothing. Never destroyed, so a call during exit is safe.
struct Directory {
  std::mutex mutex;
  std::unordered_map<uint64_t, std::pair<PluginBase*, uint64_t>> entries;
  uint64_t nextKey = 1;
};

Directory& ScheduledDirectory() {
  static Directory* directory = new Directory;
  return *directory;
}

void* KeyToContext(uint64_t key) { return reinterpret_cast<void*>(static_cast<uintptr_t>(key)); }
uint64_t ContextToKey(void* context) { return reinterpret_cast<uintptr_t>(context); }

int64_t PeriodNanoseconds(double period_seconds) {
  double span = period_seconds * kNanosecondsPerSecond;
  if (!(span > 0.0)) return 0;  // also NaN
  if (span >= 9.2e18) return INT64_MAX / 2;
  return static_cast<int64_t>(span);
}

void RunCallback(const TimerCallback& callback) {
  try {
    callback();
  } catch (const std::exception& error) {
    FrameLog(kFrameLogError, std::string("Scheduled callback failed: ") + error.what());
  } catch (...) {
    FrameLog(kFrameLogError, "Scheduled callback failed");
  }
}

}  // namespace

int64_t Timers::Now() { return Platform::MonotonicNanoseconds(); }

uint64_t Timers::ScheduleAt(PluginBase& plugin, std::string_view label, TimerCallback callback,
                            int64_t due) {
  double delay = static_cast<double>(due - Now()) / kNanosecondsPerSecond;
  if (!(delay > 0.0)) delay = 0.0;

  Directory& directory = ScheduledDirectory();
  uint64_t key = 0;
  {
    std::lock_guard lock(directory.mutex);
    key = directory.nextKey++;
  }
  uint64_t id = 0;
  {
    std::lock_guard lock(plugin.scheduledMutex_);
    id = plugin.nextScheduledId_++;
    plugin.scheduledCallbacks_.emplace(id,
                                       ScheduledCallback{&plugin, id, key, std::move(callback)});
  }
  {
    std::lock_guard lock(directory.mutex);
    directory.entries.emplace(key, std::make_pair(&plugin, id));
  }
  std::string label_text(label);
  if (plugin.ScheduleCallback(label_text.c_str(), &Timers::Fire, KeyToContext(key), delay, 0) ==
      PLUGIN_HOST_OK) {
    return id;
  }
  {
    std::lock_guard lock(directory.mutex);
    directory.entries.erase(key);
  }
  std::lock_guard lock(plugin.scheduledMutex_);
  plugin.scheduledCallbacks_.erase(id);
  return 0;
}

void Timers::Fire(void* context) {
  uint64_t key = ContextToKey(context);
  PluginBase* plugin = nullptr;
  uint64_t id = 0;
  TimerCallback callback;
  {
    // Held while the callback is taken out, so the plugin cannot forget the record halfway.
    Directory& directory = ScheduledDirectory();
    std::lock_guard lock(directory.mutex);
    auto it = directory.entries.find(key);
    if (it == directory.entries.end()) return;
    std::tie(plugin, id) = it->second;
    directory.entries.erase(it);
    std::lock_guard table_lock(plugin->scheduledMutex_);
    auto record = plugin->scheduledCallbacks_.find(id);
    if (record == plugin->scheduledCallbacks_.end()) return;
    // Moved out so that the callback may clear the table (stop, say) while it runs.
    callback = std::move(record->second.callback);
  }
  if (callback) RunCallback(callback);
  std::lock_guard lock(plugin->scheduledMutex_);
  plugin->scheduledCallbacks_.erase(id);
}

void Timers::ForgetScheduled(PluginBase& plugin) {
  std::vector<uint64_t> keys;
  {
    std::lock_guard lock(plugin.scheduledMutex_);
    keys.reserve(plugin.scheduledCallbacks_.size());
    for (const auto& [id, record] : plugin.scheduledCallbacks_) keys.push_back(record.key);
    plugin.scheduledCallbacks_.clear();
  }
  Directory& directory = ScheduledDirectory();
  std::lock_guard lock(directory.mutex);
  for (uint64_t key : keys) directory.entries.erase(key);
}

void Timers::SetTimer(PluginBase& plugin, std::string_view name, double period_seconds,
                      TimerCallback callback) {
  auto it = plugin.timers_.find(name);
  if (it == plugin.timers_.end()) {
    it = plugin.timers_.emplace(std::string(name), NamedTimer{}).first;
    it->second.name = std::string(name);
  }
  NamedTimer& timer = it->second;
  timer.period = period_seconds;
  timer.nextDue = Now() + PeriodNanoseconds(period_seconds);
  // Drawn from one counter for the plugin's life, never from the record: a killed timer's record
  // is gone, and a pending tick of its chain must not find its generation again in a new one.
  timer.generation = ++plugin.lastTimerGeneration_;
  PluginBase* self = &plugin;
  timer.tick = [self, timer_name = timer.name, generation = timer.generation,
                user = std::move(callback)] { Tick(*self, timer_name, generation, user); };
  ScheduleAt(plugin, FormatMessage(kTimerLabel, name), timer.tick, timer.nextDue);
}

void Timers::KillTimer(PluginBase& plugin, std::string_view name) {
  auto it = plugin.timers_.find(name);
  if (it != plugin.timers_.end()) plugin.timers_.erase(it);
}

void Timers::Tick(PluginBase& plugin, const std::string& name, uint64_t generation,
                  const TimerCallback& callback) {
  auto it = plugin.timers_.find(name);
  if (it == plugin.timers_.end()) {
    Log(kFrameLogWarning, kDebugCategory, 0, "%s: Couldn't find timer named %s",
        plugin.ShortName().c_str(), name.c_str());
    return;
  }
  if (it->second.generation != generation) return;
  it->second.nextDue = Now() + PeriodNanoseconds(it->second.period);
  RunCallback(callback);
  // The callback may have killed or restarted the timer; either ends this chain.
  it = plugin.timers_.find(name);
  if (it == plugin.timers_.end() || it->second.generation != generation) return;
  ScheduleAt(plugin, FormatMessage(kTimerLabel, name), it->second.tick, it->second.nextDue);
}

void Timers::WaitYield(PluginBase& plugin) {
  plugin.EnterWait(kWaitLabel.data(), 0);
  plugin.YieldToHost();
  plugin.LeaveWait();
}

}  // namespace Varn

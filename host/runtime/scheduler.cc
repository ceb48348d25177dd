#include "host/runtime/scheduler.h"

#include <cmath>
#include <vector>

namespace Varn::Host {
namespace {

// Longer delays are kept as about three centuries: past any run, and clear of overflow.
constexpr double kMaxDelaySeconds = 1e10;

}  // namespace

void Scheduler::Schedule(std::string label, PluginScheduledCallback callback, void* context,
                         double delay_seconds) {
  if (callback == nullptr) return;
  if (!(delay_seconds > 0.0)) delay_seconds = 0.0;
  if (delay_seconds > kMaxDelaySeconds) delay_seconds = kMaxDelaySeconds;
  int64_t due = clock_.NowNanoseconds() + static_cast<int64_t>(std::llround(delay_seconds * 1e9));
  entries_.emplace(std::make_pair(due, sequence_++), Entry{std::move(label), callback, context});
}

size_t Scheduler::RunDue() {
  size_t ran = 0;
  while (!entries_.empty() && ran < kMaxRunsPerPass) {
    auto first = entries_.begin();
    if (first->first.first > clock_.NowNanoseconds()) break;
    Entry entry = std::move(first->second);
    entries_.erase(first);
    entry.callback(entry.context);
    ++ran;
  }
  return ran;
}

std::optional<int64_t> Scheduler::NextDue() const {
  if (entries_.empty()) return std::nullopt;
  return entries_.begin()->first.first;
}

std::vector<std::string> Scheduler::PendingLabels() const {
  std::vector<std::string> labels;
  labels.reserve(entries_.size());
  for (const auto& [when, entry] : entries_) labels.push_back(entry.label);
  return labels;
}

}  // namespace Varn::Host

// Base of every log target: a destination that the logger offers each accepted record to.
#ifndef ZEK_RUNTIME_LOG_TARGET_H_
#define ZEK_RUNTIME_LOG_TARGET_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "runtime/log_record.h"

namespace Varn {

inline constexpr std::string_view kDefaultLogPattern = "#D| #L| #G| #M";

// A target filters records by its own minimum level and category masks and writes those it
// accepts. Its lock serialises its settings and its writes, so Write runs for one record at a
// time. Targets are not owned by the logger (except the built-in ones): whoever owns a target
// keeps it alive while it is attached; destroying a target detaches it.
class LogTarget {
 public:
  LogTarget() = default;
  LogTarget(const LogTarget&) = delete;
  LogTarget& operator=(const LogTarget&) = delete;
  // Subclasses whose Write uses their own members call Detach in their own destructor, so that no
  // record reaches a half-destroyed target.
  virtual ~LogTarget();

  // Removes the target from the logger's list; harmless when it is not attached.
  virtual void Detach();
  virtual std::string_view Name() const = 0;
  // A copy, taken under the target's lock.
  virtual std::string Pattern() const;
  // Writes one accepted record; called with the target's lock held. Returns true.
  virtual bool Write(const LogRecord& record) = 0;
  virtual void Flush() {}

  // Detaches the target, replaces its settings and attaches it again at the end of the list.
  void Configure(int32_t minimum_level, uint64_t included, uint64_t excluded,
                 std::string_view pattern);
  // Appends the target to the logger's list; harmless when it is already attached.
  void Attach();
  bool IsAttached() const { return attached_.load(std::memory_order_acquire); }

  int32_t MinimumLevel() const;
  uint64_t IncludedCategories() const;
  uint64_t ExcludedCategories() const;

  // Applies the target filter and writes the record when it passes; true when written. The
  // logger calls this for every attached target.
  bool Offer(const LogRecord& record);

 protected:
  // The pattern for use inside Write, where the lock is already held.
  const std::string& PatternLocked() const { return pattern_; }

 private:
  friend class Logger;  // keeps attached_ in step with its list, under its own lock

  mutable std::mutex mutex_;
  std::string pattern_{kDefaultLogPattern};
  int32_t minimum_level_ = kLogWarning;
  uint64_t included_ = 0;  // 0: every category
  uint64_t excluded_ = 0;
  std::atomic<bool> attached_{false};
};

}  // namespace Varn

#endif  // ZEK_RUNTIME_LOG_TARGET_H_

// HostClock: where the host's scheduler reads the time, in monotonic nanoseconds. The daemon uses
// the steady clock; tests use a manual clock they advance themselves, so that timers fire exactly
// when a test says and never by accident.
#ifndef ZEK_HOST_RUNTIME_HOST_CLOCK_H_
#define ZEK_HOST_RUNTIME_HOST_CLOCK_H_

#include <atomic>
#include <cstdint>

namespace Varn::Host {

class HostClock {
 public:
  virtual ~HostClock() = default;
  virtual int64_t NowNanoseconds() const = 0;
};

class SteadyHostClock : public HostClock {
 public:
  int64_t NowNanoseconds() const override;
};

// Starts at 0 and moves only when told. Safe to read and advance from any thread.
class ManualHostClock : public HostClock {
 public:
  int64_t NowNanoseconds() const override { return now_.load(std::memory_order_acquire); }
  void Advance(int64_t nanoseconds) { now_.fetch_add(nanoseconds, std::memory_order_acq_rel); }
  void AdvanceSeconds(double seconds) { Advance(static_cast<int64_t>(seconds * 1e9)); }

 private:
  std::atomic<int64_t> now_{0};
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_RUNTIME_HOST_CLOCK_H_

#include "host/runtime/host_clock.h"

#include <chrono>

namespace Varn::Host {

int64_t SteadyHostClock::NowNanoseconds() const {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace Varn::Host

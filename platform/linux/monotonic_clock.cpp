#include "platform/linux/monotonic_clock.h"

#include <time.h>

namespace lumenfall {

uint64_t MonotonicClock::Nanoseconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

uint32_t MonotonicClock::TickCount() { return TickFromNanoseconds(Nanoseconds()); }

}  // namespace lumenfall

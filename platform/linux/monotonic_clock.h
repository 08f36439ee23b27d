// The Linux saver's millisecond clock: CLOCK_MONOTONIC, wrapping at 2^32 ms.
#pragma once

#include <cstdint>

#include "effect/clock.h"

namespace lumenfall {

// The tick for a monotonic time in nanoseconds. The sequencer reads a last-frame tick
// of 0 as "no frame yet", so the one millisecond in 2^32 that would read 0 reads 1.
inline uint32_t TickFromNanoseconds(uint64_t nanoseconds) {
  const auto tick = static_cast<uint32_t>(nanoseconds / 1000000u);
  return tick == 0 ? 1u : tick;
}

class MonotonicClock final : public MillisecondClock {
 public:
  uint32_t TickCount() override;
  // Nanoseconds of CLOCK_MONOTONIC; the main loop schedules its ticks with it.
  static uint64_t Nanoseconds();
};

}  // namespace lumenfall

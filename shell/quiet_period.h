// The quiet period after a password dialog: close requests in the first 200 ms after
// the dialog returned are refused without showing it again, so the mouse movement or
// click that dismissed it cannot reopen it at once.
#pragma once

#include <cstdint>

namespace lumenfall {

constexpr uint32_t kQuietPeriodMs = 200;
constexpr uint32_t kNeverVerified = 0xFFFFFFFF;  // no dialog has been shown yet

// True while now, a millisecond tick count, is less than 200 ms after lastVerifyTick.
// The difference is taken in unsigned 32-bit arithmetic, so the test holds across
// the wrap of the tick counter after 49.7 days.
constexpr bool InQuietPeriod(uint32_t now, uint32_t lastVerifyTick) {
  return lastVerifyTick != kNeverVerified && static_cast<uint32_t>(now - lastVerifyTick) < kQuietPeriodMs;
}

}  // namespace lumenfall

// The millisecond clock behind the effect's schedule. The Windows saver reads the
// system tick count; the renderer, the Linux saver and the tests supply their own.
#pragma once

#include <cstdint>

namespace lumenfall {

class MillisecondClock {
 public:
  virtual ~MillisecondClock() = default;
  // Milliseconds since some fixed start, wrapping at 2^32.
  virtual uint32_t TickCount() = 0;
};

// A clock that shows whatever time it is set to.
class SimulatedClock final : public MillisecondClock {
 public:
  explicit SimulatedClock(uint32_t start = 0) : now_(start) {}
  uint32_t TickCount() override { return now_; }
  void Set(uint32_t now) { now_ = now; }
  void Advance(uint32_t milliseconds) { now_ += milliseconds; }

 private:
  uint32_t now_;
};

}  // namespace lumenfall

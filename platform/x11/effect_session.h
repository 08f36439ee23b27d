// The effect as the Linux saver runs it: three 400 x 300 in-memory work surfaces in
// an emulated pixel format (8, 16, 24 or 32 bits), whatever the display's own format.
#pragma once

#include <cstdint>
#include <memory>

#include "display/memory_surface.h"
#include "effect/clock.h"
#include "effect/frame_sequencer.h"

namespace lumenfall {

class EffectSession {
 public:
  // depth 8, 16, 24 or 32; layout (565, 555, 556 or 655) matters at 16 bits only.
  // The generator is seeded from the clock, as the saver does at start-up.
  EffectSession(uint32_t depth, uint32_t layout, uint32_t flags, MillisecondClock& clock);

  // One tick: the frame step for the settings word. 1 when a frame ran.
  int Step();

  MemorySurface& Show() { return show_; }
  const DisplayState& Display() const { return engine_->display; }
  const EffectEngine& Engine() const { return *engine_; }

 private:
  std::unique_ptr<EffectEngine> engine_;
  MemorySurface zoom_;
  MemorySurface trail_;
  MemorySurface show_;
  uint32_t flags_;
};

// The channel masks of the emulated format: the layout's masks at 16 bits, none else.
void EmulatedMasks(uint32_t depth, uint32_t layout, uint32_t& red, uint32_t& green, uint32_t& blue);

}  // namespace lumenfall

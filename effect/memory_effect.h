// The effect on three in-memory work surfaces: how every front end without DirectDraw
// (the renderer, the X11 saver, the benchmarks, the tests and the ports to come)
// assembles it. One place decides the emulated pixel format, the palette, the font and
// the seed, so that two front ends given the same choices draw the same bytes.
#pragma once

#include <cstdint>

#include "display/memory_surface.h"
#include "effect/bitmap_font.h"
#include "effect/clock.h"
#include "effect/frame_sequencer.h"
#include "effect/text_file.h"

namespace lumenfall {

// The pixel format the effect is emulated in: 8, 16, 24 or 32 bits per pixel and, at
// 16 bits, the channel layout (565, 555, 556 or 655).
struct EmulatedFormat {
  uint32_t depth = 32;
  uint32_t layout = kLayout565;
};

// The channel masks of an emulated format: the layout's at 16 bits (an unrecognised
// layout is 565), none at the other depths.
void EmulatedMasks(const EmulatedFormat& format, uint32_t& red, uint32_t& green, uint32_t& blue);

class MemoryEffect {
 public:
  // Three all-zero 400 x 300 surfaces in the format (a depth other than 8, 16, 24 or
  // 32 is 32), the grey palette on them at 8 bits, the generator seeded with seed.
  // The clock, and the font when one is given (the program font otherwise), must
  // outlive the effect.
  MemoryEffect(const EmulatedFormat& format, MillisecondClock& clock, uint32_t seed,
               const BitmapFont* font = nullptr);
  MemoryEffect(const MemoryEffect&) = delete;
  MemoryEffect& operator=(const MemoryEffect&) = delete;

  // One tick: the frame step for the settings word. 1 when a frame ran.
  int Step(uint32_t settings);

  // Shows a copy of these lines in place of the text set that the settings word selects
  // (which still gives the colour-decay rule); no lines: the text set's own.
  void ShowOwnLines(const OwnTextSet& lines) { ownLines_ = lines; }

  MemorySurface& Zoom() { return zoom_; }
  MemorySurface& Trail() { return trail_; }
  MemorySurface& Show() { return show_; }
  const MemorySurface& Show() const { return show_; }
  EffectEngine& Engine() { return engine_; }
  const EffectEngine& Engine() const { return engine_; }
  const DisplayState& Display() const { return engine_.display; }

 private:
  EffectEngine engine_;
  MemorySurface zoom_, trail_, show_;
  OwnTextSet ownLines_;
};

}  // namespace lumenfall

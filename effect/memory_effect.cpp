#include "effect/memory_effect.h"

namespace lumenfall {

namespace {

EmulatedFormat Checked(EmulatedFormat format) {
  if (format.depth != 8 && format.depth != 16 && format.depth != 24 && format.depth != 32)
    format.depth = 32;
  return format;
}

MemorySurface WorkSurfaceIn(const EmulatedFormat& format) {
  uint32_t r = 0, g = 0, b = 0;
  EmulatedMasks(format, r, g, b);
  return MemorySurface(kWorkWidth, kWorkHeight, format.depth, 0, r, g, b);
}

}  // namespace

void EmulatedMasks(const EmulatedFormat& format, uint32_t& red, uint32_t& green,
                   uint32_t& blue) {
  red = green = blue = 0;
  if (format.depth == 16 && !MasksForLayout(format.layout, red, green, blue))
    MasksForLayout(kLayout565, red, green, blue);
}

MemoryEffect::MemoryEffect(const EmulatedFormat& format, MillisecondClock& clock,
                           uint32_t seed, const BitmapFont* font)
    : zoom_(WorkSurfaceIn(Checked(format))),
      trail_(WorkSurfaceIn(Checked(format))),
      show_(WorkSurfaceIn(Checked(format))) {
  const EmulatedFormat f = Checked(format);
  uint32_t r = 0, g = 0, b = 0;
  EmulatedMasks(f, r, g, b);
  SetupDisplayState(engine_.display, kWorkWidth, kWorkHeight, f.depth, r, g, b);
  if (f.depth == 8) {
    for (MemorySurface* s : {&zoom_, &trail_, &show_}) s->SetPalette(&engine_.display.greyPalette);
  }
  engine_.surfaces = {&zoom_, &trail_, &show_};
  engine_.clock = &clock;
  engine_.font = font != nullptr ? font : &ProgramFont();
  SeedRandom(engine_.random, seed);
}

int MemoryEffect::Step(uint32_t settings) { return RunFrameStep(engine_, settings, ownLines_.Set()); }

}  // namespace lumenfall

#include "platform/x11/effect_session.h"

#include "effect/bitmap_font.h"
#include "effect/random.h"

namespace lumenfall {

void EmulatedMasks(uint32_t depth, uint32_t layout, uint32_t& red, uint32_t& green,
                   uint32_t& blue) {
  red = green = blue = 0;
  if (depth == 16 && !MasksForLayout(layout, red, green, blue)) MasksForLayout(kLayout565, red, green, blue);
}

namespace {

MemorySurface MakeSurface(uint32_t depth, uint32_t layout) {
  uint32_t r = 0, g = 0, b = 0;
  EmulatedMasks(depth, layout, r, g, b);
  return MemorySurface(kWorkWidth, kWorkHeight, depth, 0, r, g, b);
}

}  // namespace

EffectSession::EffectSession(uint32_t depth, uint32_t layout, uint32_t flags,
                             MillisecondClock& clock)
    : engine_(std::make_unique<EffectEngine>()),
      zoom_(MakeSurface(depth, layout)),
      trail_(MakeSurface(depth, layout)),
      show_(MakeSurface(depth, layout)),
      flags_(flags) {
  uint32_t r = 0, g = 0, b = 0;
  EmulatedMasks(depth, layout, r, g, b);
  SetupDisplayState(engine_->display, kWorkWidth, kWorkHeight, depth, r, g, b);
  if (depth == 8) {
    zoom_.SetPalette(&engine_->display.greyPalette);
    trail_.SetPalette(&engine_->display.greyPalette);
    show_.SetPalette(&engine_->display.greyPalette);
  }
  engine_->surfaces = {&zoom_, &trail_, &show_};
  engine_->clock = &clock;
  engine_->font = &ProgramFont();
  srand(engine_->random, clock.TickCount());
}

int EffectSession::Step() { return RunFrameStep(*engine_, nullptr, flags_); }

}  // namespace lumenfall

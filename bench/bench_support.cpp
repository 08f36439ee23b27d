#include "bench_support.h"

#include "effect/blur/feedback_blur.h"
#include "effect/random.h"

namespace lumenfall::bench {

DisplayState DisplayForDepth(uint32_t bits) {
  DisplayState d;
  uint32_t r = 0, g = 0, b = 0;
  if (bits == 16) MasksForLayout(kLayout565, r, g, b);
  SetupDisplayState(d, 1920, 1080, bits, r, g, b);
  return d;
}

MemorySurface WorkSurfaceFor(const DisplayState& d) {
  return MemorySurface(kWorkWidth, kWorkHeight, d.format.bitsPerPixel, 0, d.pixelInfo.redMask,
                       d.pixelInfo.greenMask, d.pixelInfo.blueMask);
}

void PaintAllLit(const DisplayState& d, MemorySurface& s, uint32_t seed) {
  RandomState random;
  SeedRandom(random, seed);
  const PixelWriter write = PixelWriterForDepth(d.format.bitsPerPixel);
  for (uint32_t y = 0; y < s.Desc().height; ++y) {
    for (uint32_t x = 0; x < s.Desc().width; ++x) {
      // Levels of 64 and more in every channel: lit at every depth and layout.
      const auto level = [&] { return 64 + uint32_t(NextRandom(random)) % 192; };
      write(d, s.PixelAt(x, y), 0xFF000000u | (level() << 16) | (level() << 8) | level());
    }
  }
}

Effect::Effect(uint32_t bits)
    : effect(EmulatedFormat{bits, kLayout565}, clock, 2024),
      engine(effect.Engine()),
      trail(effect.Trail()) {}

void Effect::Tick(uint32_t settings) {
  clock.Advance(40);
  effect.Step(settings);
}

MemorySurface TypicalBlurSource(uint32_t bits, uint32_t settings, int frames) {
  Effect effect(bits);
  for (int i = 0; i < frames; ++i) effect.Tick(settings);
  MemorySurface source = WorkSurfaceFor(effect.engine.display);
  source.Blt(nullptr, &effect.trail, &effect.engine.sequencer.zoomRect);
  return source;
}

double LitShare(const DisplayState& d, const MemorySurface& s) {
  size_t lit = 0;
  const size_t pitch = size_t(s.Desc().pitch), bpp = s.Desc().bitCount / 8;
  for (uint32_t y = 0; y < s.Desc().height; ++y) {
    for (uint32_t x = 0; x < s.Desc().width; ++x) {
      uint32_t r, g, b;
      ReadChannels(d, s.Pixels() + y * pitch + x * bpp, r, g, b);
      if (r + g + b != 0) ++lit;
    }
  }
  return double(lit) / (double(s.Desc().width) * s.Desc().height);
}

namespace {
std::vector<Comparison>& ComparisonList() {
  static std::vector<Comparison> list;
  return list;
}
}  // namespace

void AddComparison(Comparison c) { ComparisonList().push_back(std::move(c)); }
const std::vector<Comparison>& Comparisons() { return ComparisonList(); }

}  // namespace lumenfall::bench

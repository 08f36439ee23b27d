// The real effect run twice in step, one engine on the fast blur and one forced to the
// plain loops: the three work surfaces must hold the same bytes after every frame.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "display/memory_surface.h"
#include "effect/bitmap_font.h"
#include "effect/clock.h"
#include "effect/blur/fast_blur.h"
#include "effect/frame_sequencer.h"
#include "fast_path_support.h"

namespace lumenfall::fasttest {
namespace {

struct RunningEffect {
  RunningEffect(const Format& f, BlurImplementation implementation, uint32_t start)
      : zoom(SurfaceFor(DisplayFor(f))), trail(SurfaceFor(DisplayFor(f))), show(SurfaceFor(DisplayFor(f))),
        clock(start) {
    engine.display = DisplayFor(f);
    engine.surfaces = {&zoom, &trail, &show};
    engine.clock = &clock;
    engine.font = &ProgramFont();
    engine.blur.implementation = implementation;
    SeedRandom(engine.random, 12345);
  }
  EffectEngine engine;
  MemorySurface zoom, trail, show;
  SimulatedClock clock;
};

// Runs both engines for frames ticks of about 40 ms (some late, some early) and
// compares after each. Every restartEvery frames both trails get the same new
// picture, so that the blur always has lit pixels to work on.
void RunSideBySide(const Format& f, uint32_t settings, int frames, int restartEvery) {
  std::mt19937 random(settings ^ f.bits ^ f.redMask);
  RunningEffect fast(f, BlurImplementation::Fast, 1000);
  RunningEffect reference(f, BlurImplementation::Reference, 1000);
  uint32_t now = 1000;
  int drawn = 0;
  for (int frame = 0; frame < frames; ++frame) {
    if (frame % restartEvery == 0) {
      Paint(fast.engine.display, fast.trail, frame % (2 * restartEvery) == 0 ? Picture::AllLit : Picture::Holes,
            random);
      reference.trail.Bytes() = fast.trail.Bytes();
    }
    const auto jitter = static_cast<uint32_t>(random() % 10);
    now += jitter == 0 ? 130 : jitter == 1 ? 5 : 36 + jitter;
    fast.clock.Set(now);
    reference.clock.Set(now);
    const int a = RunFrameStep(fast.engine, settings);
    const int b = RunFrameStep(reference.engine, settings);
    ASSERT_EQ(a, b);
    drawn += a;
    const std::string where = std::string(f.name) + ", settings " + std::to_string(settings) +
                              ", frame " + std::to_string(frame);
    ASSERT_EQ(FirstDifference(reference.trail, fast.trail), "") << "TrailBuffer, " << where;
    ASSERT_EQ(FirstDifference(reference.zoom, fast.zoom), "") << "ZoomBuffer, " << where;
    ASSERT_EQ(FirstDifference(reference.show, fast.show), "") << "ShowBuffer, " << where;
    ASSERT_EQ(fast.engine.blur.BlurPhase, reference.engine.blur.BlurPhase);
    ASSERT_EQ(fast.engine.sequencer.cyclePhase, reference.engine.sequencer.cyclePhase);
  }
  EXPECT_GT(drawn, frames / 2);
}

TEST(EffectSideBySide, EveryFormatFullAndRough) {
  for (const Format& f : AllFormats()) {
    RunSideBySide(f, 1, 60, 30);
    if (HasFatalFailure()) return;
    RunSideBySide(f, 0x10000004, 60, 30);
    if (HasFatalFailure()) return;
  }
}

// Longer runs, through two whole text lines, at the depths a desktop has today.
TEST(EffectSideBySide, SeveralLinesAtThirtyTwoAndSixteenBits) {
  for (const Format& f : AllFormats()) {
    const std::string name = f.name;
    if (name == "32 bits") {
      for (uint32_t settings : {1u, 4u, 0x10000001u}) {
        RunSideBySide(f, settings, 260, 100);
        if (HasFatalFailure()) return;
      }
    } else if (name == "16 bits 565") {
      RunSideBySide(f, 0x10000004, 260, 100);
      if (HasFatalFailure()) return;
    }
  }
}

// The same runs with the vector kernels capped, so that each one meets the real effect
// (16 bits in its most common layout, 565).
TEST(EffectSideBySide, EveryVectorLevelAtSixteenTwentyFourAndThirtyTwoBits) {
  for (const Format& f : AllFormats()) {
    if (f.bits < 16 || (f.bits == 16 && f.expectedLayout != kLayout565)) continue;
    for (const KernelVariant& kernels : VariantsToTry(f.bits)) {
      SCOPED_TRACE(VariantName(kernels));
      VariantCap cap(kernels);
      RunSideBySide(f, 1, 40, 20);
      RunSideBySide(f, 0x10000001, 40, 20);
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace lumenfall::fasttest

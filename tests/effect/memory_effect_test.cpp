// The in-memory effect: the emulated format, palette, clock and seed that every front
// end without DirectDraw gets from it.
#include <gtest/gtest.h>

#include <cstdint>

#include "effect/memory_effect.h"

namespace lumenfall {
namespace {

TEST(MemoryEffect, RunsInTheEmulatedFormatWithItsClockAndSeed) {
  SimulatedClock clock(5000);
  MemoryEffect s16(EmulatedFormat{16, 655}, clock, 5000);
  EXPECT_EQ(s16.Show().Desc().bitCount, 16u);
  EXPECT_EQ(s16.Show().Desc().redMask, 0xFC00u);
  EXPECT_EQ(s16.Display().pixelInfo.redMask, 0xFC00u);
  EXPECT_EQ(s16.Display().pixelInfo.redDownshift, 8u);
  EXPECT_EQ(s16.Display().pixelInfo.greenDownshift, 6u);
  EXPECT_EQ(s16.Engine().random.state, 5000u);  // the seed is the generator's state

  MemoryEffect s8(EmulatedFormat{8}, clock, 1);
  EXPECT_EQ(s8.Show().Desc().bitCount, 8u);
  EXPECT_EQ(s8.Show().Palette(), &s8.Display().greyPalette);
  EXPECT_EQ(s8.Step(4), 1);  // the first frame runs
  clock.Advance(7);
  EXPECT_EQ(s8.Step(4), 0);  // 7 ms later: skipped
  clock.Advance(33);
  EXPECT_EQ(s8.Step(4), 1);
  EXPECT_EQ(s8.Engine().sequencer.cyclePhase, 5u);  // 40 ms from the first frame

  MemoryEffect odd(EmulatedFormat{12}, clock, 1);  // no such depth: 32 bits
  EXPECT_EQ(odd.Display().format.bitsPerPixel, 32u);
  EXPECT_EQ(odd.Show().Desc().bitCount, 32u);
}

TEST(MemoryEffect, EmulatedMasks) {
  uint32_t r = 1, g = 1, b = 1;
  EmulatedMasks(EmulatedFormat{16, 555}, r, g, b);
  EXPECT_EQ(r, 0x7C00u);
  EXPECT_EQ(g, 0x03E0u);
  EXPECT_EQ(b, 0x001Fu);
  EmulatedMasks(EmulatedFormat{16, 556}, r, g, b);
  EXPECT_EQ(g, 0x07C0u);
  EXPECT_EQ(b, 0x003Fu);
  EmulatedMasks(EmulatedFormat{16, 123}, r, g, b);  // an unknown layout falls back to 565
  EXPECT_EQ(r, 0xF800u);
  EmulatedMasks(EmulatedFormat{32, 555}, r, g, b);
  EXPECT_EQ(r | g | b, 0u);
}

}  // namespace
}  // namespace lumenfall

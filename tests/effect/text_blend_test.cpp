// The text blend at every depth gives the same bytes as the display's pixel writers for
// the colour word (effective alpha, text colour); alpha 0 draws nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "effect/bitmap_font.h"
#include "font_test_support.h"

namespace lumenfall::test {
namespace {

constexpr int kCellW = 32;
constexpr int kCellH = 12;
constexpr int kGlyphW = 24;

// Glyph 'A' runs through the coverage range 0..254, row by row.
uint8_t Ramp(int, int r, int i) { return uint8_t((r * kGlyphW + i) * 254 / ((kCellH - 1) * kGlyphW - 1)); }

struct Depth {
  uint32_t bits;
  uint32_t layout;
  const char* name;
};

const Depth kDepths[] = {{8, 0, "8"},         {16, kLayout565, "16/565"}, {16, kLayout555, "16/555"},
                         {16, kLayout556, "16/556"}, {16, kLayout655, "16/655"}, {24, 0, "24"},
                         {32, 0, "32"}};

TEST(TextBlend, EqualsThePixelWritersAtEveryDepthAndLayout) {
  OwnedFont owned(BuildFont(kCellW, kCellH, [](int) { return kGlyphW; }, Ramp));
  std::mt19937 random(20240607u);
  const uint32_t alphas[] = {1, 2, 127, 128, 200, 254, 255};
  for (const Depth& depth : kDepths) {
    SCOPED_TRACE(depth.name);
    for (int trial = 0; trial < 120; ++trial) {
      Canvas canvas(30, 14, depth.bits, depth.layout);
      std::vector<uint8_t>& bytes = canvas.surface.Bytes();
      for (uint8_t& b : bytes) b = uint8_t(random());
      const uint32_t alpha = trial < 7 ? alphas[trial] : random() % 256;
      const ArgbColour colour = (alpha << 24) | (random() & 0xFFFFFF);

      // The expected picture, written pixel by pixel with the display's writer.
      std::vector<uint8_t> expected = bytes;
      const PixelWriter write = PixelWriterForDepth(depth.bits);
      const int x0 = 3, y0 = 1;
      for (int r = 0; r < kCellH - 1; ++r) {
        for (int i = 0; i < kGlyphW; ++i) {
          const uint32_t v = Ramp('A', r, i);
          const uint32_t a = (v * alpha) >> 8;
          if (v == 0 || a == 0) continue;
          const size_t at = size_t(y0 + r) * size_t(canvas.surface.Desc().pitch) +
                            size_t(x0 + i) * (depth.bits / 8);
          write(canvas.display, expected.data() + at, (a << 24) | (colour & 0xFFFFFF));
        }
      }
      ASSERT_EQ(canvas.Draw("A", {x0, y0, 30, 14}, owned.get(), 0, colour), 1);
      ASSERT_EQ(bytes, expected) << "trial " << trial << " colour " << std::hex << colour;
    }
  }
}

TEST(TextBlend, AlphaZeroDrawsNothing) {
  OwnedFont owned(SolidFont(12, 10, 8));
  for (const Depth& depth : kDepths) {
    Canvas canvas(30, 12, depth.bits, depth.layout);
    for (size_t i = 0; i < canvas.surface.Bytes().size(); ++i) canvas.surface.Bytes()[i] = uint8_t(i * 7);
    const auto before = canvas.surface.Bytes();
    EXPECT_EQ(canvas.Draw("AAA", {0, 0, 30, 12}, owned.get(), 0, 0x00FFFFFF), 1) << depth.name;
    EXPECT_EQ(canvas.surface.Bytes(), before) << depth.name;
  }
}

// Full coverage (254) at text alpha 255 gives a = 253: never a plain overwrite.
TEST(TextBlend, FullAlphaWhiteStaysTranslucent) {
  OwnedFont owned(SolidFont(12, 10, 8));
  for (uint32_t bits : {24u, 32u}) {
    Canvas black(12, 10, bits);
    black.Draw("A", {0, 0, 12, 10}, owned.get(), 0, 0xFFFFFFFF);
    const uint8_t* p = black.surface.PixelAt(3, 3);
    EXPECT_EQ(p[0], 252);
    EXPECT_EQ(p[1], 252);
    EXPECT_EQ(p[2], 252);
    if (bits == 32) {
      EXPECT_EQ(p[3], 0xFF);
    }

    Canvas white(12, 10, bits);
    for (uint8_t& b : white.surface.Bytes()) b = 0xFF;
    white.Draw("A", {0, 0, 12, 10}, owned.get(), 0, 0xFFFFFFFF);
    const uint8_t* q = white.surface.PixelAt(3, 3);
    EXPECT_EQ(q[0], 254);
    EXPECT_EQ(q[1], 254);
    EXPECT_EQ(q[2], 254);
  }
}

TEST(TextBlend, ThirtyTwoBitsSetsTheFourthByteOnlyWhereItBlends) {
  OwnedFont owned(BuildFont(12, 10, [](int) { return 8; },
                            [](int, int, int i) { return uint8_t(i == 0 ? 0 : i == 1 ? 1 : 254); }));
  Canvas canvas(12, 10, 32);
  canvas.Draw("A", {0, 0, 12, 10}, owned.get(), 0, 0xFF102030);
  EXPECT_EQ(canvas.surface.PixelAt(0, 0)[3], 0);     // coverage 0: skipped
  EXPECT_EQ(canvas.surface.PixelAt(1, 0)[3], 0);     // a = (1 x 255) >> 8 = 0: skipped
  EXPECT_EQ(canvas.surface.PixelAt(2, 0)[3], 0xFF);
  // (0 x 3 >> 8) + (c x 253 >> 8): 0x10 -> 15, 0x20 -> 31, 0x30 -> 47.
  EXPECT_EQ(canvas.surface.PixelAt(2, 0)[2], 15);
  EXPECT_EQ(canvas.surface.PixelAt(2, 0)[1], 31);
  EXPECT_EQ(canvas.surface.PixelAt(2, 0)[0], 47);
  EXPECT_EQ(canvas.surface.PixelAt(8, 0)[3], 0);     // the gap column
}

TEST(TextBlend, EightBitsGoesThroughThePaletteAndTheRamp) {
  OwnedFont owned(SolidFont(12, 10, 8));
  Canvas canvas(12, 10, 8);
  for (uint8_t& b : canvas.surface.Bytes()) b = 128;  // grey 128: S_old = 384
  canvas.Draw("A", {0, 0, 12, 10}, owned.get(), 0, 0x80FFFFFF);
  // a = 254 x 128 >> 8 = 127: level = 765 x 127 / 765 + 384 x 128 / 765 = 127 + 64 = 191,
  // ramp entry 236 x 191 / 256 + 10 = 186.
  EXPECT_EQ(canvas.surface.PixelAt(0, 0)[0], 186);
  EXPECT_EQ(canvas.surface.PixelAt(8, 0)[0], 128);
}

}  // namespace
}  // namespace lumenfall::test

// Pixel formats, the grey ramp and palette, and the four pixel writers.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "display/pixel_format.h"
#include "tests/display/display_support.h"

namespace lumenfall {
namespace {

// The records of a 640 x 480 display.
DisplayState MakeDisplay(uint32_t bits, uint32_t layout = kLayout565) {
  return test::MakeDisplay(bits, layout, 640, 480);
}

uint16_t Blend16(const DisplayState& d, uint16_t old, ArgbColour c) {
  uint8_t p[2] = {static_cast<uint8_t>(old), static_cast<uint8_t>(old >> 8)};
  BlendPixel16(d, p, c);
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

TEST(PixelFormatAnalysis, RecognisesTheFourLayouts) {
  // Each channel's shift, width, largest value and the left shift that brings its top
  // bit to bit 7 of its byte (red in bits 16-23, green in 8-15, blue in 0-7).
  struct Layout {
    uint32_t redMask, greenMask, blueMask, code;
    uint32_t shift[3], bits[3], max[3], downshift[3];
  };
  const Layout layouts[] = {
      {0xF800, 0x07E0, 0x001F, 565, {11, 5, 0}, {5, 6, 5}, {31, 63, 31}, {8, 5, 3}},
      {0x7C00, 0x03E0, 0x001F, 555, {10, 5, 0}, {5, 5, 5}, {31, 31, 31}, {9, 6, 3}},
      {0xF800, 0x07C0, 0x003F, 556, {11, 6, 0}, {5, 5, 6}, {31, 31, 63}, {8, 5, 2}},
      {0xFC00, 0x03E0, 0x001F, 655, {10, 5, 0}, {6, 5, 5}, {63, 31, 31}, {8, 6, 3}},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.code);
    PixelFormatInfo info;
    EXPECT_EQ(AnalyzePixelFormat(info, l.redMask, l.greenMask, l.blueMask), l.code);
    EXPECT_EQ((std::array{info.redShift, info.greenShift, info.blueShift}), std::to_array(l.shift));
    EXPECT_EQ((std::array{info.redBits, info.greenBits, info.blueBits}), std::to_array(l.bits));
    EXPECT_EQ((std::array{info.redMax, info.greenMax, info.blueMax}), std::to_array(l.max));
    EXPECT_EQ((std::array{info.redDownshift, info.greenDownshift, info.blueDownshift}),
              std::to_array(l.downshift));
  }
}

TEST(PixelFormatAnalysis, UnrecognisedLayoutsGiveZeroAndNoDownshifts) {
  PixelFormatInfo info;
  // Blue on top.
  EXPECT_EQ(AnalyzePixelFormat(info, 0x001F, 0x07E0, 0xF800), 0u);
  EXPECT_EQ(info.redDownshift + info.greenDownshift + info.blueDownshift, 0u);
  EXPECT_EQ(info.redBits + info.greenBits + info.blueBits, 0u);
  EXPECT_EQ(info.blueMask, 0xF800u);  // the masks are kept all the same
  // A zero mask and masks of fewer than five bits end the search.
  EXPECT_EQ(AnalyzePixelFormat(info, 0, 0x07E0, 0x001F), 0u);
  EXPECT_EQ(AnalyzePixelFormat(info, 0xF000, 0x0F00, 0x000F), 0u);
  EXPECT_EQ(AnalyzePixelFormat(info, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF), 0u);
  // A mask with a hole is never 0x1F or 0x3F at any shift.
  EXPECT_EQ(AnalyzePixelFormat(info, 0xF800, 0x05E0, 0x001F), 0u);
}

TEST(GreyRamp, EightBitsIndexesThePaletteGreys) {
  const DisplayState d = MakeDisplay(8);
  EXPECT_EQ(d.greyRamp.entry[0], 10u);
  EXPECT_EQ(d.greyRamp.entry[1], 10u);
  EXPECT_EQ(d.greyRamp.entry[2], 11u);
  EXPECT_EQ(d.greyRamp.entry[128], 128u);
  EXPECT_EQ(d.greyRamp.entry[255], 245u);
}

TEST(GreyRamp, SixteenBitsPacksEachChannel) {
  const DisplayState d = MakeDisplay(16, kLayout565);
  EXPECT_EQ(d.greyRamp.entry[128], 0x8410u);
  EXPECT_EQ(d.greyRamp.entry[255], 0xFFFFu);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(d.greyRamp.entry[i], 0u) << i;
  EXPECT_EQ(d.greyRamp.entry[4], 0x0020u);  // green has six bits and shows 4 first
  const DisplayState d555 = MakeDisplay(16, kLayout555);
  EXPECT_EQ(d555.greyRamp.entry[255], 0x7FFFu);
  EXPECT_EQ(d555.greyRamp.entry[8], 0x0421u);
}

TEST(GreyRamp, TrueColourAndUnknownDepths) {
  EXPECT_EQ(MakeDisplay(24).greyRamp.entry[0x12], 0x121212u);
  EXPECT_EQ(MakeDisplay(32).greyRamp.entry[0x12], 0xFF121212u);
  EXPECT_EQ(MakeDisplay(32).greyRamp.entry[0], 0xFF000000u);
  const DisplayState d = MakeDisplay(15);
  for (uint32_t v : d.greyRamp.entry) ASSERT_EQ(v, 0u);
}

TEST(GreyPalette, ReservedEntriesAndGreys) {
  GreyPalette p;
  BuildGreyPaletteTable(p);
  EXPECT_EQ(p.entry[5], (PaletteEntry{5, 0, 0, 2}));
  EXPECT_EQ(p.entry[0], (PaletteEntry{0, 0, 0, 2}));
  EXPECT_EQ(p.entry[255], (PaletteEntry{255, 0, 0, 2}));
  EXPECT_EQ(p.entry[246], (PaletteEntry{246, 0, 0, 2}));
  EXPECT_EQ(p.entry[10], (PaletteEntry{0, 0, 0, 4}));
  EXPECT_EQ(p.entry[11], (PaletteEntry{1, 1, 1, 4}));
  EXPECT_EQ(p.entry[12], (PaletteEntry{3, 3, 3, 4}));
  EXPECT_EQ(p.entry[245], (PaletteEntry{255, 255, 255, 4}));
  // The 20 greys that have no entry.
  std::array<bool, 256> present{};
  for (int i = 10; i <= 245; ++i) present[p.entry[i].peRed] = true;
  const int missing[] = {2, 15, 28, 41, 53, 66, 79, 92, 105, 117,
                         130, 143, 156, 169, 181, 194, 207, 220, 233, 245};
  int count = 0;
  for (int g = 0; g < 256; ++g) count += present[g] ? 0 : 1;
  EXPECT_EQ(count, 20);
  for (int g : missing) EXPECT_FALSE(present[g]) << g;
}

TEST(PixelWriters, AlphaZeroLeavesThePixelAtEveryDepth) {
  for (uint32_t bits : {8u, 16u, 24u, 32u}) {
    const DisplayState d = MakeDisplay(bits);
    uint8_t p[4] = {0x12, 0x34, 0x56, 0x78};
    PixelWriterForDepth(bits)(d, p, 0x00FFFFFF);
    EXPECT_EQ(p[0], 0x12);
    EXPECT_EQ(p[1], 0x34);
    EXPECT_EQ(p[2], 0x56);
    EXPECT_EQ(p[3], 0x78) << bits;
  }
  EXPECT_EQ(PixelWriterForDepth(15), nullptr);
  EXPECT_EQ(PixelWriterForDepth(0), nullptr);
}

TEST(PixelWriters, EightBitPlainWrites) {
  const DisplayState d = MakeDisplay(8);
  uint8_t p = 0;
  BlendPixel8(d, &p, 0xFF0A0B0C);
  EXPECT_EQ(p, 20);  // level 11
  BlendPixel8(d, &p, 0xFFFFFFFF);
  EXPECT_EQ(p, 245);
  BlendPixel8(d, &p, 0xFF000000);
  EXPECT_EQ(p, 10);
  BlendPixel8(d, &p, 0xFF010101);
  EXPECT_EQ(p, 10);
  BlendPixel8(d, &p, 0xFF808080);
  EXPECT_EQ(p, 128);
}

TEST(PixelWriters, EightBitBlendWeighsTheOldGreyBy255MinusAlpha) {
  const DisplayState d = MakeDisplay(8);
  uint8_t p = 128;  // grey 128: S_old 384
  BlendPixel8(d, &p, 0x7FFFFFFF);
  EXPECT_EQ(p, 186);  // level 64 + 127 = 191
  EXPECT_EQ(d.greyPalette.entry[186].peRed, 191);
  p = 0;  // entry 0 reports (0, 0, 0)
  BlendPixel8(d, &p, 0x7FFFFFFF);
  EXPECT_EQ(p, d.greyRamp.entry[127]);
  p = 250;  // reserved entry 250 reads as red 250 alone
  BlendPixel8(d, &p, 0x01000000);
  EXPECT_EQ(p, d.greyRamp.entry[250 * 254 / 765]);
}

TEST(PixelWriters, SixteenBit565) {
  const DisplayState d = MakeDisplay(16, kLayout565);
  EXPECT_EQ(Blend16(d, 0x1234, 0xFFFFFFFF), 0xFFFF);
  EXPECT_EQ(Blend16(d, 0x1234, 0xFF808080), 0x8410);
  EXPECT_EQ(Blend16(d, 0x0000, 0x7FFFFFFF), 0x7BEF);
  EXPECT_EQ(Blend16(d, 0xFFFF, 0x7F000000), 0x7BEF);
  EXPECT_EQ(Blend16(d, 0x8410, 0x7F646464), 0x738E);
  EXPECT_EQ(Blend16(d, 0xFFFF, 0x7FFFFFFF), 0xFFFF);
  // Blue is floored in two parts; red and green once.
  EXPECT_EQ(Blend16(d, 0x0841, 0x7F080808), 0x0840);
  EXPECT_EQ(Blend16(d, 0x0001, 0x7F000008), 0x0000);
}

TEST(PixelWriters, SixteenBitOtherLayoutsUseTheirOwnFields) {
  const DisplayState d555 = MakeDisplay(16, kLayout555);
  EXPECT_EQ(Blend16(d555, 0, 0xFFFFFFFF), 0x7FFF);
  EXPECT_EQ(Blend16(d555, 0, 0xFFFF0000), 0x7C00);
  EXPECT_EQ(Blend16(d555, 0, 0xFF00FF00), 0x03E0);
  const DisplayState d556 = MakeDisplay(16, kLayout556);
  EXPECT_EQ(Blend16(d556, 0, 0xFF0000FF), 0x003F);
  EXPECT_EQ(Blend16(d556, 0, 0xFF00FF00), 0x07C0);
  const DisplayState d655 = MakeDisplay(16, kLayout655);
  EXPECT_EQ(Blend16(d655, 0, 0xFFFF0000), 0xFC00);
  EXPECT_EQ(Blend16(d655, 0, 0xFF040000), 0x0400);  // six red bits keep level 4
  // 0x7F white over black in 555: each channel 126 -> 15 in five bits.
  EXPECT_EQ(Blend16(d555, 0, 0x7FFFFFFF), (15 << 10) | (15 << 5) | 15);
}

TEST(PixelWriters, SixteenBitUnrecognisedLayoutComputesWithZeroDownshifts) {
  DisplayState d;
  SetupDisplayState(d, 640, 480, 16, 0x001F, 0x07E0, 0xF800);
  // With downshift 0 only blue's low bits reach its mask; nothing crashes.
  EXPECT_EQ(Blend16(d, 0, 0xFF123456), 0x3400 & 0x07E0);
}

TEST(PixelWriters, TrueColour) {
  const DisplayState d24 = MakeDisplay(24);
  uint8_t p[4] = {100, 100, 100, 7};
  BlendPixel24(d24, p, 0x7FC8C8C8);
  EXPECT_EQ(p[0], 149);
  EXPECT_EQ(p[1], 149);
  EXPECT_EQ(p[2], 149);
  EXPECT_EQ(p[3], 7);  // 24 bits touch three bytes only

  const DisplayState d32 = MakeDisplay(32);
  uint8_t w[4] = {255, 255, 255, 0};
  BlendPixel32(d32, w, 0x7FFFFFFF);
  EXPECT_EQ(w[0], 254);
  EXPECT_EQ(w[3], 0xFF);
  uint8_t k[4] = {0, 0, 0, 0};
  BlendPixel32(d32, k, 0x7FFFFFFF);
  EXPECT_EQ(k[1], 126);
  EXPECT_EQ(k[3], 0xFF);
  uint8_t c[4] = {9, 9, 9, 9};
  BlendPixel32(d32, c, 0xFF102030);
  EXPECT_EQ(c[0], 0x30);  // blue, green, red, then 0xFF
  EXPECT_EQ(c[1], 0x20);
  EXPECT_EQ(c[2], 0x10);
  EXPECT_EQ(c[3], 0xFF);
}

TEST(PixelToRgb, ConvertsThroughTheDisplayFormat) {
  uint8_t rgb[3];
  const DisplayState d8 = MakeDisplay(8);
  const uint8_t index = 12;
  PixelToRgb(d8, &index, rgb);
  EXPECT_EQ(rgb[0], 3);
  const DisplayState d16 = MakeDisplay(16, kLayout565);
  const uint8_t px[2] = {0x10, 0x84};  // 0x8410
  PixelToRgb(d16, px, rgb);
  EXPECT_EQ(rgb[0], 128);
  EXPECT_EQ(rgb[1], 128);
  EXPECT_EQ(rgb[2], 128);
  const uint8_t bgr[4] = {1, 2, 3, 4};
  PixelToRgb(MakeDisplay(32), bgr, rgb);
  EXPECT_EQ(rgb[0], 3);
  EXPECT_EQ(rgb[2], 1);
}

}  // namespace
}  // namespace lumenfall

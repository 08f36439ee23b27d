// The display-free half of the Linux saver: converting the effect's pixels to an X
// visual, stretching them over a window, and the clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "display/stretch.h"
#include "effect/random.h"
#include "effect/memory_effect.h"
#include "platform/x11/monitors.h"
#include "platform/linux/monotonic_clock.h"
#include "platform/linux/visual_converter.h"
#include "tests/display/display_support.h"

namespace lumenfall {
namespace {

constexpr VisualFormat kRgb888{32, 0xFF0000, 0x00FF00, 0x0000FF, false};
constexpr VisualFormat kRgb565{16, 0xF800, 0x07E0, 0x001F, false};

DisplayState Effect(uint32_t depth, uint32_t layout = 565) {
  DisplayState display;
  uint32_t r = 0, g = 0, b = 0;
  EmulatedMasks(EmulatedFormat{depth, layout}, r, g, b);
  SetupDisplayState(display, 400, 300, depth, r, g, b);
  return display;
}

// The whole window picture as the server puts it together: the strip of distinct rows,
// each window row a copy of the strip row that RowsOfStrip names for it.
bool Scale(VisualConverter& picture, uint8_t* out, uint32_t width, uint32_t height, int32_t pitch) {
  const uint32_t rows = picture.DistinctRows(height);
  if (rows == 0 || rows > height) return false;
  std::vector<uint8_t> strip(size_t(pitch) * rows, 0x5A);
  if (!picture.ScaleDistinctRows(strip.data(), width, height, pitch)) return false;
  const std::vector<uint32_t>& rowOf = picture.RowsOfStrip();
  if (rowOf.size() != height) return false;
  const size_t rowBytes = size_t{width} * picture.BytesPerPixel();
  for (size_t k = 0; k < rows; ++k)  // nothing written past a row's pixels
    for (size_t b = rowBytes; b < size_t(pitch); ++b)
      if (strip[k * size_t(pitch) + b] != 0x5A) return false;
  for (uint32_t j = 0; j < height; ++j) {
    if (rowOf[j] >= rows) return false;
    std::memcpy(out + size_t{j} * size_t(pitch), strip.data() + size_t{rowOf[j]} * size_t(pitch), rowBytes);
  }
  return true;
}

// Converts one source pixel (given as its bytes) and returns the visual's bytes.
std::vector<uint8_t> ConvertOne(uint32_t depth, std::vector<uint8_t> source, const VisualFormat& visual,
                                uint32_t layout = 565) {
  VisualConverter picture;
  EXPECT_TRUE(picture.Configure(Effect(depth, layout), visual));
  EXPECT_TRUE(picture.Convert(source.data(), 1, 1, int32_t(source.size())));
  std::vector<uint8_t> out(picture.BytesPerPixel(), 0xAA);
  EXPECT_TRUE(Scale(picture, out.data(), 1, 1, int32_t(out.size())));
  return out;
}

TEST(X11Visual, OnlyTrueColourPixelsOf16To32BitsWithSoundMasks) {
  EXPECT_EQ(VisualProblem(kRgb888), "");
  EXPECT_EQ(VisualProblem(kRgb565), "");
  EXPECT_EQ(VisualProblem({16, 0x7C00, 0x03E0, 0x001F, true}), "");
  EXPECT_EQ(VisualProblem({24, 0xFF0000, 0xFF00, 0xFF, false}), "");
  EXPECT_EQ(VisualProblem({32, 0x3FF00000, 0x000FFC00, 0x000003FF, false}), "");
  EXPECT_NE(VisualProblem({8, 0xE0, 0x1C, 0x03, false}), "");
  EXPECT_NE(VisualProblem({1, 1, 1, 1, false}), "");
  EXPECT_NE(VisualProblem({0, 0, 0, 0, false}), "");
  EXPECT_NE(VisualProblem({16, 0xFF0000, 0xFF00, 0xFF, false}), "");  // red beyond 16 bits
  EXPECT_NE(VisualProblem({32, 0, 0xFF00, 0xFF, false}), "");         // no red
  EXPECT_NE(VisualProblem({32, 0xF0F000, 0xFF00, 0xFF, false}), "");  // a gap in red
  EXPECT_NE(VisualProblem({32, 0xFFFF00, 0x00FF00, 0xFF, false}), "");  // overlap
}

TEST(X11Picture, PixelValuesKeepEachChannelsTopBits) {
  VisualConverter p;
  ASSERT_TRUE(p.Configure(Effect(32), kRgb565));
  EXPECT_EQ(p.PixelValue(255, 255, 255), 0xFFFFu);
  EXPECT_EQ(p.PixelValue(0x80, 0x80, 0x80), 0x8410u);
  EXPECT_EQ(p.PixelValue(0x07, 0x03, 0x07), 0x0000u);  // below one step of each field
  EXPECT_EQ(p.PixelValue(0x08, 0x04, 0x08), 0x0821u);
  ASSERT_TRUE(p.Configure(Effect(32), kRgb888));
  EXPECT_EQ(p.PixelValue(1, 2, 3), 0x010203u);
  ASSERT_TRUE(p.Configure(Effect(32), {32, 0x0000FF, 0x00FF00, 0xFF0000, false}));
  EXPECT_EQ(p.PixelValue(1, 2, 3), 0x030201u);
  // Ten bits a channel: 255 fills the field, the rest scales (truncating).
  ASSERT_TRUE(p.Configure(Effect(32), {32, 0x3FF00000, 0x000FFC00, 0x000003FF, false}));
  EXPECT_EQ(p.PixelValue(255, 0, 128), 0x3FF00000u | 513u);
}

TEST(X11Picture, EachEmulatedDepthShowsTheColourItsFormatMeans) {
  // 32 and 24 bits: bytes B, G, R.
  EXPECT_EQ(ConvertOne(32, {0x30, 0x20, 0x10, 0xFF}, kRgb888), (std::vector<uint8_t>{0x30, 0x20, 0x10, 0x00}));
  EXPECT_EQ(ConvertOne(24, {0x30, 0x20, 0x10}, kRgb888), (std::vector<uint8_t>{0x30, 0x20, 0x10, 0x00}));
  // 8 bits through the grey palette: index 128 is grey 128, 10 is black, 245 white,
  // and the reserved index 5 reports red 5.
  EXPECT_EQ(ConvertOne(8, {128}, kRgb888), (std::vector<uint8_t>{0x80, 0x80, 0x80, 0}));
  EXPECT_EQ(ConvertOne(8, {10}, kRgb888), (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(ConvertOne(8, {12}, kRgb888), (std::vector<uint8_t>{3, 3, 3, 0}));
  EXPECT_EQ(ConvertOne(8, {245}, kRgb888), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0}));
  EXPECT_EQ(ConvertOne(8, {5}, kRgb888), (std::vector<uint8_t>{0, 0, 5, 0}));
  // 16 bits: each field widened with zero low bits.
  EXPECT_EQ(ConvertOne(16, {0xFF, 0x7F}, kRgb888, 555), (std::vector<uint8_t>{0xF8, 0xF8, 0xF8, 0}));
  EXPECT_EQ(ConvertOne(16, {0x00, 0x7C}, kRgb888, 555), (std::vector<uint8_t>{0, 0, 0xF8, 0}));
  EXPECT_EQ(ConvertOne(16, {0xE0, 0x07}, kRgb888, 565), (std::vector<uint8_t>{0, 0xFC, 0, 0}));
  EXPECT_EQ(ConvertOne(16, {0x3F, 0x00}, kRgb888, 556), (std::vector<uint8_t>{0xFC, 0, 0, 0}));
  EXPECT_EQ(ConvertOne(16, {0x00, 0xFC}, kRgb888, 655), (std::vector<uint8_t>{0, 0, 0xFC, 0}));
}

TEST(X11Picture, PixelsAreStoredInTheImagesByteOrder) {
  EXPECT_EQ(ConvertOne(32, {0x30, 0x20, 0x10, 0xFF}, {32, 0xFF0000, 0xFF00, 0xFF, true}),
            (std::vector<uint8_t>{0x00, 0x10, 0x20, 0x30}));
  EXPECT_EQ(ConvertOne(32, {0x30, 0x20, 0x10, 0xFF}, {24, 0xFF0000, 0xFF00, 0xFF, false}),
            (std::vector<uint8_t>{0x30, 0x20, 0x10}));
  EXPECT_EQ(ConvertOne(32, {0x30, 0x20, 0x10, 0xFF}, {24, 0xFF0000, 0xFF00, 0xFF, true}),
            (std::vector<uint8_t>{0x10, 0x20, 0x30}));
  // Red 0xF8 alone at 565 is 0xF800: low byte first, or high byte first.
  EXPECT_EQ(ConvertOne(32, {0, 0, 0xF8, 0xFF}, kRgb565), (std::vector<uint8_t>{0x00, 0xF8}));
  EXPECT_EQ(ConvertOne(32, {0, 0, 0xF8, 0xFF}, {16, 0xF800, 0x07E0, 0x001F, true}),
            (std::vector<uint8_t>{0xF8, 0x00}));
}

// A 32-bit effect on the usual B, G, R, X visual skips the channel tables; every
// pixel, whatever its unused byte holds, must still come out as the tables say.
TEST(X11Picture, ThirtyTwoBitsOnTheirOwnVisualMatchTheTables) {
  RandomState random;
  SeedRandom(random, 77);
  std::vector<uint8_t> source(401 * 3 * 4);
  for (uint8_t& b : source) b = static_cast<uint8_t>(NextRandom(random) >> 3);
  VisualConverter picture;
  ASSERT_TRUE(picture.Configure(Effect(32), kRgb888));
  ASSERT_TRUE(picture.Convert(source.data(), 400, 3, 401 * 4));  // a pitch wider than a row
  std::vector<uint8_t> out(400 * 3 * 4, 0xAA);
  ASSERT_TRUE(Scale(picture, out.data(), 400, 3, 400 * 4));
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 400; ++x) {
      const uint8_t* in = &source[(y * 401 + x) * 4];
      const uint32_t value = picture.PixelValue(in[2], in[1], in[0]);
      uint32_t got = 0;
      std::memcpy(&got, &out[(y * 400 + x) * 4], 4);
      ASSERT_EQ(got, value) << x << ", " << y;
    }
}

TEST(X11Picture, StretchesExactlyAsTheWorkSurfacesDo) {
  std::vector<uint8_t> source = test::DistinctPixels(0xFF);
  VisualConverter picture;
  ASSERT_TRUE(picture.Configure(Effect(32), kRgb888));
  ASSERT_TRUE(picture.Convert(source.data(), 400, 300, 400 * 4));
  // The reference: the core's stretch over the same pixels (their fourth byte 0, as
  // the visual has no alpha).
  for (size_t i = 3; i < source.size(); i += 4) source[i] = 0;
  const PixelBuffer src{source.data(), 400, 300, 400 * 4, 4};
  const uint32_t sizes[][2] = {{1, 1}, {3, 7}, {400, 300}, {401, 299}, {800, 600}, {1000, 37},
                               {7, 1000}, {1366, 768}, {400, 300}};
  for (const auto& size : sizes) {
    const uint32_t w = size[0], h = size[1];
    const int32_t pitch = int32_t(w * 4 + 12);  // rows padded, as X images may be
    std::vector<uint8_t> out(size_t(pitch) * h, 0xEE), expected(size_t(pitch) * h, 0xEE);
    ASSERT_TRUE(Scale(picture, out.data(), w, h, pitch));
    const PixelBuffer dst{expected.data(), w, h, pitch, 4};
    ASSERT_TRUE(StretchCopy(dst, Rect{0, 0, int32_t(w), int32_t(h)}, src, Rect{0, 0, 400, 300}));
    EXPECT_EQ(out, expected) << w << " x " << h;  // padding bytes untouched in both
  }
}

TEST(X11Picture, StretchesTwoAndThreeBytePixels) {
  std::vector<uint8_t> source = test::DistinctPixels(0xFF);
  for (const VisualFormat& visual : {kRgb565, VisualFormat{24, 0xFF0000, 0xFF00, 0xFF, false}}) {
    VisualConverter picture;
    ASSERT_TRUE(picture.Configure(Effect(32), visual));
    ASSERT_TRUE(picture.Convert(source.data(), 400, 300, 400 * 4));
    const uint32_t bpp = visual.bitsPerPixel / 8;
    // The same-size picture is the reference for the stretched one.
    std::vector<uint8_t> same(400 * 300 * bpp);
    ASSERT_TRUE(Scale(picture, same.data(), 400, 300, int32_t(400 * bpp)));
    for (uint32_t x = 0; x < 400; ++x) {
      std::vector<uint8_t> one(bpp);
      picture.Convert(&source[(299 * 400 + x) * 4], 1, 1, 4);
      Scale(picture, one.data(), 1, 1, int32_t(bpp));
      ASSERT_EQ(0, std::memcmp(one.data(), &same[(299 * 400 + x) * bpp], bpp)) << x;
    }
    ASSERT_TRUE(picture.Convert(source.data(), 400, 300, 400 * 4));
    const uint32_t w = 999, h = 451;
    std::vector<uint8_t> out(size_t{w} * h * bpp), expected(size_t{w} * h * bpp);
    ASSERT_TRUE(Scale(picture, out.data(), w, h, int32_t(w * bpp)));
    const PixelBuffer src{same.data(), 400, 300, int32_t(400 * bpp), bpp};
    const PixelBuffer dst{expected.data(), w, h, int32_t(w * bpp), bpp};
    ASSERT_TRUE(StretchCopy(dst, Rect{0, 0, int32_t(w), int32_t(h)}, src, Rect{0, 0, 400, 300}));
    EXPECT_EQ(out, expected) << bpp;
  }
}

TEST(X11Picture, RefusesWhatItCannotReadOrWrite) {
  VisualConverter picture;
  uint8_t pixel[8] = {};
  EXPECT_FALSE(picture.Convert(pixel, 1, 1, 4));  // not configured
  EXPECT_FALSE(picture.Configure(Effect(32), {8, 0xE0, 0x1C, 0x03, false}));
  DisplayState odd = Effect(32);
  odd.format.bitsPerPixel = 15;
  EXPECT_FALSE(picture.Configure(odd, kRgb888));
  ASSERT_TRUE(picture.Configure(Effect(32), kRgb888));
  EXPECT_FALSE(picture.ScaleDistinctRows(pixel, 1, 1, 4));  // nothing converted yet
  EXPECT_EQ(picture.DistinctRows(1), 0u);
  EXPECT_FALSE(picture.Convert(nullptr, 1, 1, 4));
  EXPECT_FALSE(picture.Convert(pixel, 2, 1, 4));     // pitch shorter than a row
  EXPECT_FALSE(picture.Convert(pixel, 0, 1, 4));
  EXPECT_FALSE(picture.Convert(pixel, 1, 1, -4));
  ASSERT_TRUE(picture.Convert(pixel, 1, 1, 4));
  EXPECT_FALSE(picture.ScaleDistinctRows(nullptr, 1, 1, 4));
  EXPECT_FALSE(picture.ScaleDistinctRows(pixel, 2, 1, 4));  // strip pitch too short
  EXPECT_FALSE(picture.ScaleDistinctRows(pixel, 0, 1, 4));
  EXPECT_FALSE(picture.ScaleDistinctRows(pixel, 1, 0, 4));
  EXPECT_EQ(picture.DistinctRows(0), 0u);
  EXPECT_TRUE(picture.ScaleDistinctRows(pixel, 2, 1, 8));
}

// The strip holds each distinct picture row once, in order, and the window rows name
// them in runs: what lets the server repeat rows and send runs of distinct rows whole.
TEST(X11Picture, StripHoldsEachDistinctRowOnceAndTheWindowRowsNameThemInOrder) {
  std::vector<uint8_t> source = test::DistinctPixels(0xFF);
  VisualConverter picture;
  ASSERT_TRUE(picture.Configure(Effect(32), kRgb888));
  ASSERT_TRUE(picture.Convert(source.data(), 400, 300, 400 * 4));
  const uint32_t cases[][2] = {{1080, 300}, {2160, 300}, {600, 300}, {300, 300}, {299, 299},
                               {150, 150}, {1, 1}, {4320, 300}};
  for (const auto& c : cases) {
    const uint32_t height = c[0];
    ASSERT_EQ(picture.DistinctRows(height), c[1]) << height;
    std::vector<uint8_t> strip(size_t{c[1]} * 8 * 4, 0);
    ASSERT_TRUE(picture.ScaleDistinctRows(strip.data(), 8, height, 8 * 4));
    const std::vector<uint32_t>& rowOf = picture.RowsOfStrip();
    ASSERT_EQ(rowOf.size(), height);
    EXPECT_EQ(rowOf.front(), 0u);
    EXPECT_EQ(rowOf.back(), c[1] - 1);
    for (uint32_t j = 1; j < height; ++j) {
      ASSERT_LE(rowOf[j] - rowOf[j - 1], 1u) << height << " row " << j;
      ASSERT_GE(rowOf[j], rowOf[j - 1]);
    }
    // Each strip row is the picture row that the work surfaces' sampling takes for the
    // window rows that name it (its first column is the source's column StretchSample(0)).
    for (uint32_t j = 0; j < height; j += 7) {
      const uint32_t y = StretchSample(j, 300, height), x = StretchSample(0, 400, 8);
      const uint8_t* expected = &source[(size_t{y} * 400 + x) * 4];
      const uint8_t* got = &strip[size_t{rowOf[j]} * 8 * 4];
      ASSERT_EQ(0, std::memcmp(got, expected, 3)) << height << " row " << j;
    }
  }
}

TEST(X11Clock, MillisecondsThatWrapAndNeverReadZero) {
  EXPECT_EQ(TickFromNanoseconds(0), 1u);
  EXPECT_EQ(TickFromNanoseconds(999999), 1u);
  EXPECT_EQ(TickFromNanoseconds(1000000), 1u);
  EXPECT_EQ(TickFromNanoseconds(1999999), 1u);
  EXPECT_EQ(TickFromNanoseconds(2000000), 2u);
  EXPECT_EQ(TickFromNanoseconds(40000000), 40u);
  const uint64_t wrap = (uint64_t{1} << 32) * 1000000u;
  EXPECT_EQ(TickFromNanoseconds(wrap - 1000000), 0xFFFFFFFFu);
  EXPECT_EQ(TickFromNanoseconds(wrap), 1u);  // 0 after the wrap reads 1
  EXPECT_EQ(TickFromNanoseconds(wrap + 7000000), 7u);
  MonotonicClock clock;
  const uint32_t a = clock.TickCount();
  const uint32_t b = clock.TickCount();
  EXPECT_NE(a, 0u);
  EXPECT_LE(b - a, 1000u);  // consecutive reads are close, across a wrap too
}

TEST(X11Monitors, EachMonitorClippedOnceAndTheWholeWindowWhenNoneIsLeft) {
  using M = MonitorRect;
  // Two heads side by side, a mirrored copy, one of zero size, one half off the window.
  EXPECT_EQ(LayOutMonitors({{0, 0, 800, 600}, {800, 0, 640, 480}, {0, 0, 800, 600}, {100, 0, 0, 600},
                            {1200, 400, 500, 500}},
                           1440, 600),
            (std::vector<M>{{0, 0, 800, 600}, {800, 0, 640, 480}, {1200, 400, 240, 200}}));
  // The whole of a split screen is left to its halves.
  EXPECT_EQ(LayOutMonitors({{0, 0, 800, 800}, {800, 0, 800, 400}, {0, 0, 1600, 800}}, 1600, 800),
            (std::vector<M>{{0, 0, 800, 800}, {800, 0, 800, 400}}));
  for (const std::vector<M>& none : {std::vector<M>{}, std::vector<M>{{0, 0, 0, 0}, {-50, -50, 40, 40}}})
    EXPECT_EQ(LayOutMonitors(none, 640, 480), (std::vector<M>{{0, 0, 640, 480}}));
  EXPECT_TRUE(LayOutMonitors({}, 0, 480).empty());
}

}  // namespace
}  // namespace lumenfall

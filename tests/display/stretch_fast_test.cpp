// The stretch against a naive per-pixel copy built on StretchSample alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "display/stretch.h"

namespace lumenfall {
namespace {

struct Buffer {
  Buffer(uint32_t w, uint32_t h, uint32_t bpp, uint32_t extraPitch, std::mt19937& random)
      : bytes(size_t(w * bpp + extraPitch) * h + 1) {
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    view = PixelBuffer{bytes.data(), w, h, static_cast<int32_t>(w * bpp + extraPitch), bpp};
  }
  std::vector<uint8_t> bytes;  // one byte more than the rows need, to catch overruns
  PixelBuffer view;
};

// Destination pixel (dl + i, dt + j) takes source pixel (sl + sample(i), st + sample(j)).
void NaiveStretch(const PixelBuffer& dst, const Rect& d, const PixelBuffer& src, const Rect& s) {
  const auto dw = uint32_t(d.right - d.left), dh = uint32_t(d.bottom - d.top);
  const auto sw = uint32_t(s.right - s.left), sh = uint32_t(s.bottom - s.top);
  const size_t bpp = dst.bytesPerPixel;
  for (uint32_t j = 0; j < dh; ++j) {
    for (uint32_t i = 0; i < dw; ++i) {
      const size_t sx = size_t(s.left) + StretchSample(i, sw, dw);
      const size_t sy = size_t(s.top) + StretchSample(j, sh, dh);
      std::memcpy(dst.pixels + (size_t(d.top) + j) * size_t(dst.pitch) + (size_t(d.left) + i) * bpp,
                  src.pixels + sy * size_t(src.pitch) + sx * bpp, bpp);
    }
  }
}

struct StretchCase {
  uint32_t srcWidth, srcHeight, dstWidth, dstHeight;
  Rect srcRect, dstRect;
};

void ExpectSameAsNaive(const StretchCase& c, uint32_t bpp, std::mt19937& random) {
  Buffer src(c.srcWidth, c.srcHeight, bpp, 3, random);
  Buffer fast(c.dstWidth, c.dstHeight, bpp, 5, random);
  Buffer naive = fast;
  naive.view.pixels = naive.bytes.data();
  Buffer plain = fast;
  plain.view.pixels = plain.bytes.data();
  ASSERT_TRUE(StretchCopy(fast.view, c.dstRect, src.view, c.srcRect));
  ASSERT_TRUE(StretchCopyReference(plain.view, c.dstRect, src.view, c.srcRect));
  NaiveStretch(naive.view, c.dstRect, src.view, c.srcRect);
  const auto describe = [&] {
    return std::to_string(bpp) + " bytes, " + std::to_string(c.srcRect.right - c.srcRect.left) +
           "x" + std::to_string(c.srcRect.bottom - c.srcRect.top) + " -> " +
           std::to_string(c.dstRect.right - c.dstRect.left) + "x" +
           std::to_string(c.dstRect.bottom - c.dstRect.top);
  };
  ASSERT_TRUE(fast.bytes == naive.bytes) << describe();
  ASSERT_TRUE(plain.bytes == naive.bytes) << describe();
}

TEST(FastStretch, ChosenSizesMatchTheNaiveCopy) {
  std::mt19937 random(1);
  const StretchCase cases[] = {
      {1, 1, 1, 1, {0, 0, 1, 1}, {0, 0, 1, 1}},
      {1, 1, 7, 5, {0, 0, 1, 1}, {0, 0, 7, 5}},
      {9, 9, 1, 1, {0, 0, 9, 9}, {0, 0, 1, 1}},                // one pixel takes the middle
      {400, 300, 400, 300, {0, 0, 400, 300}, {0, 0, 400, 300}},  // the per-frame copy
      {400, 300, 400, 300, {20, 25, 380, 275}, {0, 0, 400, 300}},  // the zoom
      {400, 300, 400, 300, {7, 0, 393, 300}, {0, 0, 400, 300}},    // width only
      {400, 300, 400, 300, {0, 11, 400, 289}, {0, 0, 400, 300}},   // height only
      {400, 300, 37, 23, {0, 0, 400, 300}, {0, 0, 37, 23}},        // a preview shrinks it
      {400, 300, 1920, 1080, {0, 0, 400, 300}, {0, 0, 1920, 1080}},
      {400, 300, 7680, 4, {0, 0, 400, 300}, {0, 0, 7680, 4}},      // wider than the stack table
      {3, 2, 5, 4320, {0, 0, 3, 2}, {0, 0, 5, 4320}},
      {50, 40, 60, 70, {3, 5, 47, 39}, {11, 13, 59, 68}},          // offsets in both
      {400, 300, 4096, 3, {0, 0, 400, 300}, {0, 0, 4096, 3}},      // the stack table's limit
      {400, 300, 4097, 3, {0, 0, 400, 300}, {0, 0, 4097, 3}},
  };
  for (uint32_t bpp = 1; bpp <= 4; ++bpp) {
    for (const StretchCase& c : cases) {
      ExpectSameAsNaive(c, bpp, random);
      if (HasFatalFailure()) return;
    }
  }
}

TEST(FastStretch, RandomSizesMatchTheNaiveCopy) {
  std::mt19937 random(2);
  for (int n = 0; n < 400; ++n) {
    auto below = [&](uint32_t limit) { return static_cast<uint32_t>(random() % limit); };
    const uint32_t bpp = 1 + below(4);
    StretchCase c{};
    c.srcWidth = 1 + below(60);
    c.srcHeight = 1 + below(60);
    c.dstWidth = 1 + below(130);
    c.dstHeight = 1 + below(130);
    auto rect = [&](uint32_t w, uint32_t h) {
      const auto l = int32_t(random() % w), t = int32_t(random() % h);
      const auto r = l + 1 + int32_t(random() % (w - uint32_t(l)));
      const auto b = t + 1 + int32_t(random() % (h - uint32_t(t)));
      return Rect{l, t, r, b};
    };
    c.srcRect = rect(c.srcWidth, c.srcHeight);
    c.dstRect = rect(c.dstWidth, c.dstHeight);
    ExpectSameAsNaive(c, bpp, random);
    if (HasFatalFailure()) return;
  }
}

// A full 7680 x 4320 destination at one byte per pixel: the largest screens.
TEST(FastStretch, EightKDestination) {
  std::mt19937 random(3);
  ExpectSameAsNaive({400, 300, 7680, 4320, {0, 0, 400, 300}, {0, 0, 7680, 4320}}, 1, random);
}

// Every refusal of the plain copy is a refusal of the fast one, and neither touches
// the destination then.
TEST(FastStretch, RefusesWhatThePlainCopyRefuses) {
  std::mt19937 random(4);
  Buffer src(20, 10, 4, 0, random), dst(30, 20, 4, 0, random);
  Buffer narrow(20, 10, 2, 0, random);
  const std::vector<uint8_t> before = dst.bytes;
  const Rect good{0, 0, 20, 10};
  struct Bad {
    PixelBuffer dst;
    Rect dstRect;
    PixelBuffer src;
    Rect srcRect;
  };
  PixelBuffer nullPixels = src.view;
  nullPixels.pixels = nullptr;
  PixelBuffer fiveBytes = src.view;
  fiveBytes.bytesPerPixel = 5;
  PixelBuffer zeroBytes = src.view;
  zeroBytes.bytesPerPixel = 0;
  PixelBuffer shortPitch = src.view;
  shortPitch.pitch = 79;
  PixelBuffer negativePitch = src.view;
  negativePitch.pitch = -80;
  const Bad bad[] = {
      {dst.view, good, narrow.view, good},                    // depths differ
      {dst.view, Rect{0, 0, 0, 10}, src.view, good},          // empty destination
      {dst.view, good, src.view, Rect{5, 5, 5, 6}},           // empty source
      {dst.view, Rect{-1, 0, 10, 10}, src.view, good},        // outside on the left
      {dst.view, Rect{0, 0, 31, 10}, src.view, good},         // beyond the right edge
      {dst.view, good, src.view, Rect{0, 0, 20, 11}},         // beyond the bottom
      {dst.view, good, nullPixels, good},
      {dst.view, good, fiveBytes, good},
      {dst.view, good, zeroBytes, good},
      {dst.view, good, shortPitch, good},
      {dst.view, good, negativePitch, good},
      {dst.view, Rect{3, 3, 2, 4}, src.view, good},           // right before left
  };
  for (const Bad& b : bad) {
    EXPECT_FALSE(StretchCopyReference(b.dst, b.dstRect, b.src, b.srcRect));
    EXPECT_FALSE(StretchCopy(b.dst, b.dstRect, b.src, b.srcRect));
    ASSERT_EQ(dst.bytes, before);
  }
}

// Within one buffer, rectangles that do not overlap copy as between two buffers.
TEST(FastStretch, SameBufferWithSeparateRectangles) {
  std::mt19937 random(5);
  Buffer a(100, 40, 4, 4, random);
  Buffer b = a;
  b.view.pixels = b.bytes.data();
  const Rect from{0, 0, 30, 20}, to{40, 0, 100, 40};
  ASSERT_TRUE(StretchCopy(a.view, to, a.view, from));
  NaiveStretch(b.view, to, b.view, from);
  EXPECT_TRUE(a.bytes == b.bytes);
}

}  // namespace
}  // namespace lumenfall

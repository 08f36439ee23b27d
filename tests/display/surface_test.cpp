// In-memory work surfaces: lock, unlock, clear and the stretch-blit's sampling.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "display/memory_surface.h"
#include "display/stretch.h"
#include "display/surface_ops.h"

namespace lumenfall {
namespace {

// Fills every pixel's bytes with a value made of its coordinates.
void Paint(MemorySurface& s) {
  const uint32_t bpp = s.Desc().bitCount / 8;
  for (uint32_t y = 0; y < s.Desc().height; ++y)
    for (uint32_t x = 0; x < s.Desc().width; ++x)
      for (uint32_t b = 0; b < bpp; ++b) s.PixelAt(x, y)[b] = static_cast<uint8_t>(x * 7 + y * 13 + b);
}

TEST(MemorySurface, StartsAllZeroAndDescribesItself) {
  MemorySurface s(5, 3, 16, 14, 0xF800, 0x07E0, 0x001F);
  SurfaceDesc d;
  ASSERT_EQ(s.Describe(d), kSurfaceOk);
  EXPECT_EQ(d.width, 5u);
  EXPECT_EQ(d.height, 3u);
  EXPECT_EQ(d.pitch, 14);
  EXPECT_EQ(d.bitCount, 16u);
  EXPECT_EQ(d.greenMask, 0x07E0u);
  ASSERT_EQ(s.Bytes().size(), 42u);
  for (uint8_t b : s.Bytes()) EXPECT_EQ(b, 0);
  MemorySurface tight(7, 2, 24);
  EXPECT_EQ(tight.Desc().pitch, 21);
}

TEST(MemorySurface, UnsoundFormatsCannotBeLocked) {
  MemorySurface odd(4, 4, 15);
  EXPECT_EQ(LockSurface(&odd), nullptr);
  MemorySurface narrow(10, 4, 32, 39);  // pitch narrower than a row
  EXPECT_EQ(LockSurface(&narrow), nullptr);
  EXPECT_EQ(ClearSurface(&narrow), 1);
  EXPECT_EQ(LockSurface(nullptr), nullptr);
  EXPECT_EQ(UnlockSurface(nullptr), 0);
  EXPECT_EQ(ClearSurface(nullptr), 0);
}

TEST(MemorySurface, LockUnlockPairs) {
  MemorySurface s(4, 4, 32);
  uint8_t* p = LockSurface(&s);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p, s.Pixels());
  EXPECT_TRUE(s.IsLocked());
  EXPECT_EQ(LockSurface(&s), nullptr);  // a second lock is refused
  EXPECT_EQ(UnlockSurface(&s), 1);
  EXPECT_EQ(UnlockSurface(&s), 0);  // nothing left to unlock
}

TEST(SurfaceOps, StillDrawingYieldsNullWithoutWriting) {
  MemorySurface s(4, 4, 32);
  s.Bytes().assign(s.Bytes().size(), 0xAB);
  s.FailLocks(kSurfaceWasStillDrawing);
  EXPECT_EQ(LockSurface(&s), nullptr);
  EXPECT_EQ(ClearSurface(&s), 1);
  for (uint8_t b : s.Bytes()) ASSERT_EQ(b, 0xAB);
  s.FailLocks(kSurfaceLost);
  EXPECT_EQ(LockSurface(&s), nullptr);
}

TEST(SurfaceOps, ClearLeavesTheBytesPastEachRow) {
  for (uint32_t bits : {8u, 16u, 24u, 32u}) {
    const uint32_t width = 7, height = 5, bpp = bits / 8;
    const int32_t pitch = static_cast<int32_t>(width * bpp + 5);
    MemorySurface s(width, height, bits, pitch);
    s.Bytes().assign(s.Bytes().size(), 0xEE);
    ASSERT_EQ(ClearSurface(&s), 1);
    EXPECT_FALSE(s.IsLocked());
    for (uint32_t y = 0; y < height; ++y) {
      for (uint32_t i = 0; i < uint32_t(pitch); ++i) {
        const uint8_t expected = i < width * bpp ? 0 : 0xEE;
        ASSERT_EQ(s.Bytes()[y * uint32_t(pitch) + i], expected) << bits << " " << y << " " << i;
      }
    }
  }
}

TEST(Stretch, SampleFormula) {
  // Destination pixel i of DW takes source (2i + 1) SW / (2 DW).
  EXPECT_EQ(StretchSample(0, 360, 400), 0u);
  EXPECT_EQ(StretchSample(1, 360, 400), 1u);    // 1080 / 800
  EXPECT_EQ(StretchSample(10, 360, 400), 9u);   // 7560 / 800
  EXPECT_EQ(StretchSample(399, 360, 400), 359u);
  EXPECT_EQ(StretchSample(0, 400, 1920), 0u);
  EXPECT_EQ(StretchSample(1919, 400, 1920), 399u);
  EXPECT_EQ(StretchSample(2, 400, 1920), 0u);   // 2000 / 3840
  EXPECT_EQ(StretchSample(3, 400, 1920), 0u);   // 2800 / 3840
  EXPECT_EQ(StretchSample(4, 400, 1920), 0u);   // 3600 / 3840
  EXPECT_EQ(StretchSample(5, 400, 1920), 1u);   // 4400 / 3840
  EXPECT_EQ(StretchSample(0, 3, 1), 1u);        // a single pixel takes the middle
}

TEST(Stretch, SameSizeWholeCopyIsExact) {
  for (uint32_t bits : {8u, 16u, 24u, 32u}) {
    MemorySurface src(400, 300, bits), dst(400, 300, bits, int32_t(400 * bits / 8 + 3));
    Paint(src);
    ASSERT_EQ(dst.Blt(nullptr, &src, nullptr), kSurfaceOk);
    for (uint32_t y = 0; y < 300; y += 7)
      for (uint32_t x = 0; x < 400; x += 3)
        for (uint32_t b = 0; b < bits / 8; ++b) ASSERT_EQ(dst.PixelAt(x, y)[b], src.PixelAt(x, y)[b]);
    EXPECT_FALSE(src.IsLocked());
  }
}

TEST(Stretch, ZoomTakesTheSampledPixels) {
  MemorySurface src(400, 300, 32), dst(400, 300, 32);
  Paint(src);
  const Rect zoom{20, 25, 380, 275};
  ASSERT_EQ(dst.Blt(nullptr, &src, &zoom), kSurfaceOk);
  for (uint32_t j : {0u, 1u, 150u, 299u}) {
    for (uint32_t i : {0u, 1u, 10u, 200u, 399u}) {
      const uint32_t sx = 20 + (2 * i + 1) * 360 / 800;
      const uint32_t sy = 25 + (2 * j + 1) * 250 / 600;
      ASSERT_EQ(0, std::memcmp(dst.PixelAt(i, j), src.PixelAt(sx, sy), 4)) << i << "," << j;
    }
  }
}

TEST(Stretch, DestinationRectangleLeavesTheRest) {
  MemorySurface src(4, 4, 8), dst(10, 10, 8);
  Paint(src);
  dst.Bytes().assign(dst.Bytes().size(), 0x5A);
  const Rect to{2, 3, 6, 5};  // 4 x 2: every column, rows 1 and 3 of the source
  ASSERT_EQ(dst.Blt(&to, &src, nullptr), kSurfaceOk);
  for (uint32_t y = 0; y < 10; ++y) {
    for (uint32_t x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x < 6 && y >= 3 && y < 5;
      const uint8_t expected = inside ? *src.PixelAt(x - 2, (2 * (y - 3) + 1) * 4 / 4) : 0x5A;
      ASSERT_EQ(*dst.PixelAt(x, y), expected) << x << "," << y;
    }
  }
}

TEST(Stretch, RefusesRectanglesOutsideEitherSurface) {
  MemorySurface src(8, 8, 32), dst(8, 8, 32);
  Paint(src);
  const std::vector<uint8_t> before = dst.Bytes();
  const Rect bad[] = {{-1, 0, 4, 4}, {0, 0, 9, 4}, {0, 0, 4, 9}, {4, 4, 4, 6},
                      {5, 0, 3, 4}, {0, 0, 0, 0}, {INT32_MIN, 0, INT32_MAX, 4}};
  for (const Rect& r : bad) {
    EXPECT_NE(dst.Blt(&r, &src, nullptr), kSurfaceOk);
    EXPECT_NE(dst.Blt(nullptr, &src, &r), kSurfaceOk);
  }
  EXPECT_EQ(dst.Bytes(), before);
  MemorySurface other(8, 8, 16);
  EXPECT_NE(dst.Blt(nullptr, &other, nullptr), kSurfaceOk);  // depths differ
  EXPECT_NE(dst.Blt(nullptr, nullptr, nullptr), kSurfaceOk);
  EXPECT_NE(dst.Blt(nullptr, &dst, nullptr), kSurfaceOk);  // a self-copy is refused
  EXPECT_EQ(dst.Bytes(), before);
  EXPECT_FALSE(src.IsLocked());
}

TEST(Stretch, ShrinkAndGrowOnRawBuffers) {
  std::vector<uint8_t> s(6 * 2), d(3 * 4);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint8_t>(i);
  const PixelBuffer src{s.data(), 6, 2, 6, 1};
  const PixelBuffer dst{d.data(), 3, 4, 3, 1};
  ASSERT_TRUE(StretchCopy(dst, Rect{0, 0, 3, 4}, src, Rect{0, 0, 6, 2}));
  // Columns 1, 3, 5; rows 0, 0, 1, 1.
  const std::vector<uint8_t> expected = {1, 3, 5, 1, 3, 5, 7, 9, 11, 7, 9, 11};
  EXPECT_EQ(d, expected);
}

}  // namespace
}  // namespace lumenfall

// The low-quality pass: rotating sample offsets, 2 x 2 blocks with fringes, borders.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "blur_test_support.h"
#include "effect/blur/feedback_blur.h"

namespace lumenfall {
namespace {

using testing::At;
using testing::Compose;
using testing::Decayed;
using testing::MakeDisplay;
using testing::MakeSurface;
using testing::Put;

const Rect kWhole{0, 0, 400, 300};

bool IsZero(MemorySurface& s, uint32_t x, uint32_t y) {
  for (uint8_t b : At(s, x, y))
    if (b != 0) return false;
  return true;
}

TEST(RoughBlur, OffsetsRotateThroughFourPhases) {
  const DisplayState d = MakeDisplay(32);
  MemorySurface src = MakeSurface(d);
  // One lit pixel for each offset: (101, 101) is sampled only at (1, 1), and so on.
  const uint32_t xs[4] = {101, 102, 102, 101}, ys[4] = {101, 102, 101, 102};
  for (int i = 0; i < 4; ++i) Put(d, src, xs[i] + 40 * uint32_t(i), ys[i], 0xFFFFFF);
  BlurState state;
  for (int pass = 0; pass < 5; ++pass) {
    MemorySurface dst = MakeSurface(d);
    EXPECT_EQ(state.BlurPhase, pass % 4);
    ASSERT_EQ(RoughFeedbackBlur(d, state, &src, &dst, kWhole, FadeToRed), 1);
    for (int i = 0; i < 4; ++i) {
      const bool sampled = i == pass % 4;
      EXPECT_EQ(!IsZero(dst, xs[i] + 40 * uint32_t(i), ys[i]), sampled) << pass << " " << i;
    }
  }
  EXPECT_EQ(state.BlurPhase, 1);
}

TEST(RoughBlur, SingleSampleGivesBlockAndEightFringePixels) {
  for (uint32_t bits : {8u, 16u, 24u, 32u}) {
    const DisplayState d = MakeDisplay(bits);
    MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
    Put(d, src, 201, 151, 0x30C0F0);
    Put(d, src, 200, 150, 0xFFFFFF);  // never sampled at offset (1, 1)
    BlurState state;
    ASSERT_EQ(RoughFeedbackBlur(d, state, &src, &dst, kWhole, FadeToRed), 1);
    const uint32_t c = Decayed(d, src, 201, 151);
    const auto opaque = Compose(d, {0xFF000000 + c});
    const auto half = Compose(d, {0x7F000000 + c});
    for (uint32_t y = 145; y < 158; ++y) {
      for (uint32_t x = 195; x < 208; ++x) {
        const bool block = (x == 201 || x == 202) && (y == 151 || y == 152);
        const bool fringe = ((x == 200 || x == 203) && (y == 151 || y == 152)) ||
                            ((y == 150 || y == 153) && (x == 201 || x == 202));
        const std::vector<uint8_t> expected =
            block ? opaque : fringe ? half : std::vector<uint8_t>(bits / 8, 0);
        ASSERT_EQ(At(dst, x, y), expected) << bits << " bits at " << x << "," << y;
      }
    }
  }
}

TEST(RoughBlur, BlocksTileAndMixWithRightThenLowerNeighbours) {
  const DisplayState d = MakeDisplay(32);
  MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
  for (uint32_t y = 0; y < 300; ++y)
    for (uint32_t x = 0; x < 400; ++x) Put(d, src, x, y, 0x404040 + ((x * 5) << 16) + ((y * 3) % 200));
  BlurState state;  // offset (1, 1): samples at odd x and y
  RoughFeedbackBlur(d, state, &src, &dst, kWhole, FadeToRed);
  const uint32_t x = 101, y = 51;
  const uint32_t own = Decayed(d, src, x, y), right = Decayed(d, src, x + 2, y),
                 below = Decayed(d, src, x, y + 2);
  EXPECT_EQ(At(dst, x, y), Compose(d, {0xFF000000 + own}));
  EXPECT_EQ(At(dst, x + 1, y), Compose(d, {0xFF000000 + own, 0x7F000000 + right}));
  EXPECT_EQ(At(dst, x, y + 1), Compose(d, {0xFF000000 + own, 0x7F000000 + below}));
  EXPECT_EQ(At(dst, x + 1, y + 1),
            Compose(d, {0xFF000000 + own, 0x7F000000 + right, 0x7F000000 + below}));
  // The last column of blocks (x = 395) has no block to its right.
  const uint32_t last = Decayed(d, src, 395, y);
  EXPECT_EQ(At(dst, 396, y), Compose(d, {0xFF000000 + last}));
  EXPECT_EQ(At(dst, 397, y), Compose(d, {0x7F000000 + last}));  // its fringe
}

TEST(RoughBlur, EachPhaseLeavesItsOwnBorderAndCornersUntouched) {
  const DisplayState d = MakeDisplay(32);
  MemorySurface src = MakeSurface(d);
  for (uint32_t y = 0; y < 300; ++y)
    for (uint32_t x = 0; x < 400; ++x) Put(d, src, x, y, 0xFFFFFF);
  struct Border {
    std::vector<uint32_t> columns, rows;
  };
  const Border borders[4] = {{{398, 399}, {298, 299}}, {{0, 399}, {0, 299}},
                             {{0, 399}, {298, 299}}, {{398, 399}, {0, 299}}};
  const int dxs[4] = {1, 2, 2, 1}, dys[4] = {1, 2, 1, 2};
  BlurState state;
  for (int phase = 0; phase < 4; ++phase) {
    MemorySurface dst = MakeSurface(d);
    RoughFeedbackBlur(d, state, &src, &dst, kWhole, FadeToRed);
    for (uint32_t c : borders[phase].columns)
      for (uint32_t y = 0; y < 300; ++y) ASSERT_TRUE(IsZero(dst, c, y)) << phase << " column " << c;
    for (uint32_t r : borders[phase].rows)
      for (uint32_t x = 0; x < 400; ++x) ASSERT_TRUE(IsZero(dst, x, r)) << phase << " row " << r;
    const int dx = dxs[phase], dy = dys[phase];
    const std::pair<int, int> corners[4] = {
        {dx - 1, dy - 1}, {dx + 396, dy - 1}, {dx - 1, dy + 296}, {dx + 396, dy + 296}};
    for (auto [cx, cy] : corners) EXPECT_TRUE(IsZero(dst, uint32_t(cx), uint32_t(cy))) << phase;
    // Just inside the corners the fringe does arrive.
    EXPECT_FALSE(IsZero(dst, uint32_t(dx - 1), uint32_t(dy)));
    EXPECT_FALSE(IsZero(dst, uint32_t(dx), uint32_t(dy - 1)));
    EXPECT_FALSE(IsZero(dst, uint32_t(dx + 395), uint32_t(dy + 295)));
  }
}

TEST(RoughBlur, PhaseAdvancesEvenWhenNothingCanBeDrawn) {
  DisplayState d = MakeDisplay(32);
  d.format.bitsPerPixel = 12;
  MemorySurface src(400, 300, 32), dst(400, 300, 32);
  BlurState state;
  state.BlurPhase = 3;
  EXPECT_EQ(RoughFeedbackBlur(d, state, &src, &dst, kWhole, FadeToRed), 1);
  EXPECT_EQ(state.BlurPhase, 0);
  EXPECT_EQ(src.LockCount(), 0);
}

TEST(RoughBlur, OddRegionsStayInsideTheRegion) {
  const DisplayState d = MakeDisplay(24);
  MemorySurface src = MakeSurface(d, 31, 17, 100), dst = MakeSurface(d, 31, 17, 100);
  for (uint32_t y = 0; y < 17; ++y)
    for (uint32_t x = 0; x < 31; ++x) Put(d, src, x, y, 0xFFFFFF);
  const Rect region{3, 2, 28, 15};  // odd width and height
  BlurState state;
  for (int pass = 0; pass < 4; ++pass) {
    dst.Bytes().assign(dst.Bytes().size(), 0);
    RoughFeedbackBlur(d, state, &src, &dst, region, FadeToRed);
    for (uint32_t y = 0; y < 17; ++y)
      for (uint32_t i = 0; i < 100; ++i) {
        const uint32_t x = i / 3;
        const bool inside = i < 93 && x >= 3 && x < 28 && y >= 2 && y < 15;
        if (!inside) {
          ASSERT_EQ(dst.Bytes()[y * 100 + i], 0) << pass << " at " << x << "," << y;
        }
      }
    EXPECT_FALSE(IsZero(dst, 10, 8));
  }
}

}  // namespace
}  // namespace lumenfall

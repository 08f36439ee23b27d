// The full feedback pass: what each destination pixel receives, and in which order.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "blur_test_support.h"
#include "display/memory_surface.h"
#include "effect/blur/feedback_blur.h"

namespace lumenfall {
namespace {

using testing::At;
using testing::Compose;
using testing::Decayed;
using testing::JournalSurface;
using testing::MakeDisplay;
using testing::MakeSurface;
using testing::Put;

const Rect kWhole{0, 0, 400, 300};

int RunFull(const DisplayState& d, MemorySurface& src, MemorySurface& dst, uint32_t settings = 1) {
  BlurState state;
  return BlurDispatch(d, state, &src, &dst, kWhole, settings);
}

TEST(BlurDispatch, SelectorsWithoutARuleTouchNothing) {
  const DisplayState d = MakeDisplay(32);
  MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
  src.Bytes().assign(src.Bytes().size(), 0x80);
  dst.Bytes().assign(dst.Bytes().size(), 0x33);
  for (uint32_t s : {0u, 3u, 64u, 255u, 0x10000000u, 0x10000003u}) {
    BlurState state;
    EXPECT_EQ(BlurDispatch(d, state, &src, &dst, kWhole, s), 0) << s;
    EXPECT_EQ(state.BlurPhase, 0);
  }
  EXPECT_EQ(src.LockCount(), 0);
  EXPECT_EQ(dst.LockCount(), 0);
  for (uint8_t b : dst.Bytes()) ASSERT_EQ(b, 0x33);
}

TEST(BlurDispatch, BitTwentyEightChoosesTheRoughPassWithTheSameRule) {
  const DisplayState d = MakeDisplay(32);
  MemorySurface src = MakeSurface(d), viaDispatch = MakeSurface(d), direct = MakeSurface(d);
  Put(d, src, 101, 101, 0x808080);
  BlurState a, b;
  EXPECT_EQ(BlurDispatch(d, a, &src, &viaDispatch, kWhole, 0x10000004), 1);
  EXPECT_EQ(RoughFeedbackBlur(d, b, &src, &direct, kWhole, FadeToBlue), 1);
  EXPECT_EQ(a.BlurPhase, 1);
  EXPECT_EQ(viaDispatch.Bytes(), direct.Bytes());
  // FadeToBlue: red and green step first.
  EXPECT_EQ(At(viaDispatch, 101, 101), Compose(d, {0xFF747480}));
}

TEST(FeedbackBlur, SingleLitPixelAtEveryDepth) {
  for (uint32_t bits : {8u, 16u, 24u, 32u}) {
    const DisplayState d = MakeDisplay(bits);
    MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
    Put(d, src, 200, 150, 0xC86432);
    uint32_t r, g, b;
    ReadChannels(d, src.PixelAt(200, 150), r, g, b);
    FadeToRed(r, g, b);
    const uint32_t colour = r + g + b;
    ASSERT_EQ(RunFull(d, src, dst), 1);
    const auto opaque = Compose(d, {0xFF000000 + colour});
    const auto half = Compose(d, {0x7F000000 + colour});
    for (uint32_t y = 0; y < 300; ++y) {
      for (uint32_t x = 0; x < 400; ++x) {
        std::vector<uint8_t> expected(bits / 8, 0);
        if (x == 200 && y == 150) expected = opaque;
        if ((x == 199 || x == 201) && y == 150) expected = half;
        if (x == 200 && (y == 149 || y == 151)) expected = half;
        ASSERT_EQ(At(dst, x, y), expected) << bits << " bits at " << x << "," << y;
      }
    }
  }
}

TEST(FeedbackBlur, SingleLitPixelExactBytesAt32Bits) {
  const DisplayState d = MakeDisplay(32);
  MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
  Put(d, src, 10, 10, 0xC86432);  // red 200, green 100, blue 50
  RunFull(d, src, dst);
  // FadeToRed: green 100 -> 88, blue 50 -> 38, red waits.
  EXPECT_EQ(At(dst, 10, 10), (std::vector<uint8_t>{38, 88, 200, 0xFF}));
  // 0x7F over black: c * 127 >> 8.
  EXPECT_EQ(At(dst, 9, 10), (std::vector<uint8_t>{18, 43, 99, 0xFF}));
  EXPECT_EQ(At(dst, 10, 11), (std::vector<uint8_t>{18, 43, 99, 0xFF}));
  EXPECT_EQ(At(dst, 11, 11), (std::vector<uint8_t>{0, 0, 0, 0}));  // no diagonal
}

// Lights the left, right, upper and lower neighbours of (50, 50), each in its own colour.
void PutFourNeighbours(const DisplayState& d, MemorySurface& src) {
  Put(d, src, 49, 50, 0x2060A0);
  Put(d, src, 51, 50, 0xF0F0F0);
  Put(d, src, 50, 49, 0x10FF10);
  Put(d, src, 50, 51, 0x4040FF);
}

TEST(FeedbackBlur, RightAndLowerNeighboursMixLastLeftAndUpperAreOverwritten) {
  for (uint32_t bits : {8u, 16u, 32u}) {
    const DisplayState d = MakeDisplay(bits);
    MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
    // A plus-shaped group around (50, 50), all lit with different colours.
    Put(d, src, 50, 50, 0x80C040);
    PutFourNeighbours(d, src);
    auto decayed = [&](uint32_t x, uint32_t y) { return Decayed(d, src, x, y); };
    RunFull(d, src, dst);
    // Own colour, then mixed with the right neighbour's, then with the lower one's.
    EXPECT_EQ(At(dst, 50, 50), Compose(d, {0xFF000000 + decayed(50, 50), 0x7F000000 + decayed(51, 50),
                                           0x7F000000 + decayed(50, 51)}))
        << bits;
    // The left pixel: own colour, then the centre's 0x7F write from its right.
    EXPECT_EQ(At(dst, 49, 50), Compose(d, {0xFF000000 + decayed(49, 50), 0x7F000000 + decayed(50, 50)}));
    // The upper pixel: own colour, then the centre's write from below.
    EXPECT_EQ(At(dst, 50, 49), Compose(d, {0xFF000000 + decayed(50, 49), 0x7F000000 + decayed(50, 50)}));
  }
}

TEST(FeedbackBlur, BlackSourcePixelMixesUpperLeftRightLowerInTurn) {
  for (uint32_t bits : {8u, 16u, 24u, 32u}) {
    const DisplayState d = MakeDisplay(bits);
    MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
    PutFourNeighbours(d, src);
    auto decayed = [&](uint32_t x, uint32_t y) { return Decayed(d, src, x, y); };
    RunFull(d, src, dst);
    EXPECT_EQ(At(dst, 50, 50),
              Compose(d, {0x7F000000 + decayed(50, 49), 0x7F000000 + decayed(49, 50),
                          0x7F000000 + decayed(51, 50), 0x7F000000 + decayed(50, 51)}))
        << bits;
  }
}

TEST(FeedbackBlur, ColourThatDecaysToBlackStillWritesAndDarkens) {
  const DisplayState d = MakeDisplay(32);
  MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
  Put(d, src, 60, 60, 0x00000C);   // blue 12: FadeToRed takes it to 0
  Put(d, src, 59, 60, 0xFFFFFF);   // its left neighbour
  RunFull(d, src, dst);
  EXPECT_EQ(At(dst, 60, 60), (std::vector<uint8_t>{0, 0, 0, 0xFF}));  // opaque black
  // White decays to (255, 243, 243); then 0x7F black: c * 129 >> 8.
  EXPECT_EQ(At(dst, 59, 60), (std::vector<uint8_t>{122, 122, 128, 0xFF}));
  EXPECT_EQ(At(dst, 61, 60), (std::vector<uint8_t>{0, 0, 0, 0xFF}));  // black mixed over zero
  EXPECT_EQ(At(dst, 60, 61), (std::vector<uint8_t>{0, 0, 0, 0xFF}));
}

TEST(FeedbackBlur, OuterRingIsNeverReadAndCornersNeverWritten) {
  const DisplayState d = MakeDisplay(32);
  MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
  for (uint32_t y = 0; y < 300; ++y)
    for (uint32_t x = 0; x < 400; ++x) Put(d, src, x, y, 0xFFFFFF);
  // Make the ring itself a colour that would show if it were read.
  for (uint32_t x = 0; x < 400; ++x) {
    Put(d, src, x, 0, 0x0000FF);
    Put(d, src, x, 299, 0x0000FF);
  }
  RunFull(d, src, dst);
  const std::vector<uint8_t> zero{0, 0, 0, 0};
  EXPECT_EQ(At(dst, 0, 0), zero);
  EXPECT_EQ(At(dst, 399, 0), zero);
  EXPECT_EQ(At(dst, 0, 299), zero);
  EXPECT_EQ(At(dst, 399, 299), zero);
  // A ring pixel holds only the 0x7F write of its one interior neighbour (white decayed).
  const auto half = Compose(d, {0x7FFFF3F3});
  EXPECT_EQ(At(dst, 1, 0), half);
  EXPECT_EQ(At(dst, 200, 299), half);
  EXPECT_EQ(At(dst, 0, 150), half);
  EXPECT_EQ(At(dst, 399, 1), half);
  // The interior pixel next to the bottom ring has no lower interior neighbour.
  EXPECT_EQ(At(dst, 200, 298), Compose(d, {0xFFFFF3F3, 0x7FFFF3F3}));
  EXPECT_EQ(At(dst, 398, 150), Compose(d, {0xFFFFF3F3, 0x7FFFF3F3}));
  EXPECT_EQ(At(dst, 200, 150), Compose(d, {0xFFFFF3F3, 0x7FFFF3F3, 0x7FFFF3F3}));
}

TEST(FeedbackBlur, LocksSourceFirstAndUnlocksSourceFirst) {
  const DisplayState d = MakeDisplay(24);
  MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
  std::vector<std::string> journal;
  JournalSurface s(src, "source", journal), t(dst, "destination", journal);
  BlurState state;
  EXPECT_EQ(BlurDispatch(d, state, &s, &t, kWhole, 1), 1);
  EXPECT_EQ(journal, (std::vector<std::string>{"lock source", "lock destination", "unlock source",
                                               "unlock destination"}));
}

TEST(FeedbackBlur, FailedLockTouchesNothingAndLeavesNothingLocked) {
  const DisplayState d = MakeDisplay(32);
  MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
  Put(d, src, 10, 10, 0xFFFFFF);
  dst.Bytes().assign(dst.Bytes().size(), 0x11);
  dst.FailLocks(kSurfaceWasStillDrawing);
  EXPECT_EQ(RunFull(d, src, dst), 1);
  EXPECT_FALSE(src.IsLocked());
  for (uint8_t b : dst.Bytes()) ASSERT_EQ(b, 0x11);
  dst.FailLocks(kSurfaceOk);
  src.FailLocks(kSurfaceLost);
  EXPECT_EQ(RunFull(d, src, dst), 1);
  EXPECT_FALSE(dst.IsLocked());
  for (uint8_t b : dst.Bytes()) ASSERT_EQ(b, 0x11);
}

TEST(FeedbackBlur, UnsoundRegionsDepthsAndSurfacesAreRefused) {
  const DisplayState d = MakeDisplay(32);
  MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
  for (uint32_t y = 0; y < 300; ++y)
    for (uint32_t x = 0; x < 400; ++x) Put(d, src, x, y, 0xFFFFFF);
  const std::vector<uint8_t> clean = dst.Bytes();
  BlurState state;
  for (const Rect& r : {Rect{-1, 0, 400, 300}, Rect{0, 0, 401, 300}, Rect{0, 0, 400, 301},
                        Rect{10, 10, 10, 20}, Rect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}}) {
    EXPECT_EQ(FeedbackBlur(d, &src, &dst, r, FadeToRed), 1);
    EXPECT_EQ(RoughFeedbackBlur(d, state, &src, &dst, r, FadeToRed), 1);
  }
  EXPECT_EQ(dst.Bytes(), clean);
  // A surface of another depth than the display's, or a smaller one.
  MemorySurface other(400, 300, 16), small(100, 100, 32);
  EXPECT_EQ(FeedbackBlur(d, &src, &other, kWhole, FadeToRed), 1);
  EXPECT_EQ(FeedbackBlur(d, &src, &small, kWhole, FadeToRed), 1);
  for (uint8_t b : other.Bytes()) ASSERT_EQ(b, 0);
  for (uint8_t b : small.Bytes()) ASSERT_EQ(b, 0);
  // A display depth without a writer reads and writes nothing.
  DisplayState odd = d;
  odd.format.bitsPerPixel = 15;
  EXPECT_EQ(FeedbackBlur(odd, &src, &dst, kWhole, FadeToRed), 1);
  EXPECT_EQ(src.LockCount(), 0);
  EXPECT_EQ(dst.Bytes(), clean);
}

TEST(FeedbackBlur, SmallerRegionAndWidePitchStayInside) {
  const DisplayState d = MakeDisplay(16, kLayout555);
  MemorySurface src = MakeSurface(d, 40, 30, 90), dst = MakeSurface(d, 40, 30, 90);
  for (uint32_t y = 0; y < 30; ++y)
    for (uint32_t x = 0; x < 40; ++x) Put(d, src, x, y, 0xFFFFFF);
  dst.Bytes().assign(dst.Bytes().size(), 0);
  BlurState state;
  const Rect region{5, 7, 17, 20};
  EXPECT_EQ(BlurDispatch(d, state, &src, &dst, region, 1), 1);
  for (uint32_t y = 0; y < 30; ++y) {
    for (uint32_t i = 0; i < 90; ++i) {
      const bool pixel = i < 80;
      const uint32_t x = i / 2;
      const bool inRegion = pixel && x >= 5 && x < 17 && y >= 7 && y < 20;
      const bool corner = (x == 5 || x == 16) && (y == 7 || y == 19);
      if (!inRegion || corner) {
        ASSERT_EQ(dst.Bytes()[y * 90 + i], 0) << x << "," << y << " byte " << i;
      }
    }
  }
  // White in 555 reads back as level 248; FadeToRed takes green and blue to 236.
  EXPECT_EQ(At(dst, 10, 10), Compose(d, {0xFFF8ECEC, 0x7FF8ECEC, 0x7FF8ECEC}));
}

TEST(FeedbackBlur, EightBitWritesGreyRampIndicesWhateverTheHue) {
  const DisplayState d = MakeDisplay(8);
  MemorySurface src = MakeSurface(d), dst = MakeSurface(d);
  *src.PixelAt(100, 100) = 245;  // grey 255
  *src.PixelAt(300, 100) = 5;    // reserved entry: reads as red 5 alone
  RunFull(d, src, dst);
  // White decays to (255, 243, 243): level (255 + 243 + 243) * 255 / 765 = 247.
  EXPECT_EQ(*dst.PixelAt(100, 100), d.greyRamp.entry[247]);
  // Red 5 with FadeToRed steps to 0: opaque black, grey-ramp index 10.
  EXPECT_EQ(*dst.PixelAt(300, 100), 10);
  EXPECT_EQ(*dst.PixelAt(301, 100), d.greyRamp.entry[0]);
}

}  // namespace
}  // namespace lumenfall

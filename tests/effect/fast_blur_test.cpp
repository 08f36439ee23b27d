// The closed-form blur passes against the plain per-write loops: the same bytes, for
// every depth and 16-bit layout, every rule, all four rough phases, many pictures,
// regions and pitches, and every vector level the processor has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "display/memory_surface.h"
#include "effect/blur/colour_decay.h"
#include "effect/blur/fast_blur.h"
#include "effect/blur/feedback_blur.h"
#include "fast_path_support.h"

namespace lumenfall {
namespace {

using fasttest::AllFormats;
using fasttest::DisplayFor;
using fasttest::FirstDifference;
using fasttest::Format;
using fasttest::Paint;
using fasttest::Picture;
using fasttest::PictureName;
using fasttest::SurfaceFor;
using fasttest::KernelVariant;
using fasttest::VariantCap;
using fasttest::VariantName;
using fasttest::VariantsToTry;

constexpr uint32_t kSelectors[] = {1, 2, 4, 8, 16, 32};
constexpr int32_t kOffsetX[4] = {1, 2, 2, 1};
constexpr int32_t kOffsetY[4] = {1, 2, 1, 2};

// Restores the vector level cap when a test ends.
class SimdCap {
 public:
  explicit SimdCap(SimdLevel level) : previous_(SetSimdLimit(level)) {}
  ~SimdCap() { SetSimdLimit(previous_); }
  SimdCap(const SimdCap&) = delete;
  SimdCap& operator=(const SimdCap&) = delete;

 private:
  SimdLevel previous_;
};

PassMemory MemoryOf(MemorySurface& src, MemorySurface& dst) {
  return PassMemory{src.Pixels(), src.Desc().pitch, src.Bytes().size(),
                    dst.Pixels(), dst.Desc().pitch, dst.Bytes().size()};
}

struct Case {
  uint32_t srcWidth, srcHeight, dstWidth, dstHeight;
  int32_t srcExtraPitch, dstExtraPitch;
  Rect region;
};

// Runs the reference pass and the closed form on copies of the same destination and
// compares every byte, padding included. Returns false after reporting a difference.
// changed counts the cases in which the reference wrote something.
bool SameAsReference(const DisplayState& d, MemorySurface& src, const MemorySurface& dstStart,
                     const Rect& region, uint32_t selector, int phase /* -1: full pass */,
                     const std::string& what, int& changed) {
  const ColourDecayRule rule = RuleForSelector(selector);
  MemorySurface expected = dstStart, actual = dstStart;
  bool took = false;
  if (phase < 0) {
    FeedbackBlurReference(d, &src, &expected, region, rule);
    took = FastFeedbackPass(d, MemoryOf(src, actual), region, rule);
  } else {
    BlurState state;
    state.BlurPhase = static_cast<uint8_t>(phase);
    RoughFeedbackBlurReference(d, state, &src, &expected, region, rule);
    EXPECT_EQ(state.BlurPhase, (phase + 1) % 4);
    took = FastRoughPass(d, MemoryOf(src, actual), region, kOffsetX[phase], kOffsetY[phase], rule);
  }
  EXPECT_TRUE(took) << what << ": the closed form declined one of the six rules";
  if (expected.Bytes() != dstStart.Bytes()) ++changed;
  const std::string difference = FirstDifference(expected, actual);
  EXPECT_EQ(difference, "") << what;
  return took && difference.empty();
}

std::string Describe(const Format& f, Picture p, uint32_t selector, int phase,
                     const KernelVariant& kernels,
                     const Rect& r, bool randomDestination) {
  std::ostringstream out;
  out << f.name << ", " << PictureName(p) << ", selector " << selector
      << (phase < 0 ? ", full" : ", rough phase ") << (phase < 0 ? "" : std::to_string(phase))
      << ", " << VariantName(kernels) << ", region {" << r.left << "," << r.top << ","
      << r.right << "," << r.bottom << "}"
      << (randomDestination ? ", random destination" : ", zero destination");
  return out.str();
}

TEST(FastBlurSetup, FormatsAreWhatTheTestsClaim) {
  for (const Format& f : AllFormats()) {
    DisplayState d;
    EXPECT_EQ(SetupDisplayState(d, 400, 300, f.bits, f.redMask, f.greenMask, f.blueMask),
              f.expectedLayout)
        << f.name;
  }
}

// Small surfaces with odd sizes and pitches, the region away from the origin, source
// and destination of different sizes: every format, picture, rule and pass.
TEST(FastBlur, MatchesReferenceOnEveryFormatPictureAndRule) {
  const Case cases[] = {
      {29, 19, 29, 19, 3, 0, Rect{2, 1, 27, 18}},     // odd width, wide source pitch
      {33, 24, 40, 22, 0, 5, Rect{4, 3, 31, 21}},     // different surfaces, odd region
      {20, 12, 20, 12, 0, 0, Rect{0, 0, 20, 12}},     // the whole surface, even width
  };
  std::mt19937 random(20240611);
  for (const Format& f : AllFormats()) {
    int changed = 0, runs = 0;
    const DisplayState d = DisplayFor(f);
    for (Picture p : {Picture::Random, Picture::AllLit, Picture::Holes, Picture::Sparse,
                      Picture::Thresholds, Picture::Reserved8}) {
      if (p == Picture::Reserved8 && f.bits != 8) continue;
      for (const Case& c : cases) {
        MemorySurface src = SurfaceFor(d, c.srcWidth, c.srcHeight, c.srcExtraPitch);
        Paint(d, src, p, random);
        for (bool randomDestination : {false, true}) {
          MemorySurface dst = SurfaceFor(d, c.dstWidth, c.dstHeight, c.dstExtraPitch);
          if (randomDestination) Paint(d, dst, Picture::Random, random);
          for (const KernelVariant& level : VariantsToTry(f.bits)) {
            VariantCap cap(level);
            for (uint32_t selector : kSelectors) {
              for (int phase = -1; phase < 4; ++phase) {
                ++runs;
                if (!SameAsReference(d, src, dst, c.region, selector, phase,
                                     Describe(f, p, selector, phase, level, c.region,
                                              randomDestination),
                                     changed))
                  return;
              }
            }
          }
        }
      }
    }
    // Nearly every run must have written something, or the comparison proves little.
    // The two unrecognised 16-bit layouts keep so few colour bits that many of their
    // pictures read as black; they only need to have written at all.
    if (f.bits != 16 || f.expectedLayout != 0) {
      EXPECT_GT(changed, runs * 9 / 10) << f.name;
    }
    EXPECT_GT(changed, 0) << f.name;
  }
}

// Every region size from 0 to 37 pixels wide and 0 to 9 high: the empty interiors,
// the vector kernels' remainders (4, 8 and 16 pixels), and the rough pass's block counts.
TEST(FastBlur, MatchesReferenceOnEveryRegionSize) {
  std::mt19937 random(77);
  int changed = 0;
  for (const Format& f : AllFormats()) {
    const DisplayState d = DisplayFor(f);
    MemorySurface src = SurfaceFor(d, 42, 13, 1);
    Paint(d, src, Picture::AllLit, random);
    MemorySurface dst = SurfaceFor(d, 42, 13, 2);
    Paint(d, dst, Picture::Random, random);
    for (const KernelVariant& level : VariantsToTry(f.bits)) {
      VariantCap cap(level);
      for (int32_t w = 0; w <= 37; ++w) {
        for (int32_t h = 0; h <= 9; ++h) {
          const Rect region{3, 2, 3 + w, 2 + h};
          for (int phase = -1; phase < 4; ++phase) {
            const uint32_t selector = kSelectors[(w + h) % 6];
            if (!SameAsReference(d, src, dst, region, selector, phase,
                                 Describe(f, Picture::AllLit, selector, phase, level, region, true),
                                 changed))
              return;
          }
        }
      }
    }
  }
  EXPECT_GT(changed, 0);
}

// The real size, at every format, on the pictures that matter most for speed.
TEST(FastBlur, MatchesReferenceOnTheWorkSurfaceSize) {
  std::mt19937 random(5);
  const Rect whole{0, 0, 400, 300};
  for (const Format& f : AllFormats()) {
    int changed = 0, runs = 0;
    const DisplayState d = DisplayFor(f);
    for (Picture p : {Picture::AllLit, Picture::Holes, Picture::Sparse}) {
      MemorySurface src = SurfaceFor(d, 400, 300);
      Paint(d, src, p, random);
      // Old destination content shows through every mix, so it is random here.
      MemorySurface dst = SurfaceFor(d, 400, 300);
      Paint(d, dst, Picture::Random, random);
      for (const KernelVariant& level : VariantsToTry(f.bits)) {
        VariantCap cap(level);
        for (uint32_t selector : {1u, 4u, 32u}) {
          for (int phase : {-1, 0, 1, 2, 3}) {
            // A sparse picture may have no lit pixel where a rough phase samples.
            int sparseChanges = 0;
            if (p != Picture::Sparse) ++runs;
            if (!SameAsReference(d, src, dst, whole, selector, phase,
                                 Describe(f, p, selector, phase, level, whole, true),
                                 p == Picture::Sparse ? sparseChanges : changed))
              return;
          }
        }
      }
    }
    EXPECT_EQ(changed, runs) << f.name;
  }
}

// A single lit pixel at every interior position of a small region, at every depth:
// each neighbour's surviving writes are replayed at the edges and corners too.
TEST(FastBlur, SingleLitPixelAnywhereMatchesReference) {
  int changed = 0;
  for (const Format& f : AllFormats()) {
    const DisplayState d = DisplayFor(f);
    const Rect region{1, 1, 10, 9};
    for (const KernelVariant& level : VariantsToTry(f.bits)) {
      VariantCap cap(level);
      for (uint32_t y = 1; y < 9; ++y) {
        for (uint32_t x = 1; x < 10; ++x) {
          MemorySurface src = SurfaceFor(d, 11, 10);
          PixelWriterForDepth(f.bits)(d, src.PixelAt(x, y), 0xFFC0A0E0);
          const MemorySurface dst = SurfaceFor(d, 11, 10);
          for (int phase = -1; phase < 4; ++phase) {
            if (!SameAsReference(d, src, dst, region, 16, phase,
                                 Describe(f, Picture::Sparse, 16, phase, level, region, false),
                                 changed))
              return;
          }
        }
      }
    }
  }
  EXPECT_GT(changed, 0);
}

// The public passes and the dispatch take the closed form and give the reference's bytes.
TEST(FastBlur, PublicPassesAndDispatchAgreeWithTheReference) {
  std::mt19937 random(9);
  const Rect whole{0, 0, 400, 300};
  for (const Format& f : AllFormats()) {
    const DisplayState d = DisplayFor(f);
    MemorySurface src = SurfaceFor(d, 400, 300);
    Paint(d, src, Picture::Holes, random);
    for (uint32_t settings : {1u, 4u, 0x10000001u, 0x10000004u}) {
      MemorySurface fast = SurfaceFor(d, 400, 300), reference = SurfaceFor(d, 400, 300);
      BlurState fastState, referenceState;
      referenceState.implementation = BlurImplementation::Reference;
      for (int pass = 0; pass < 5; ++pass) {
        ASSERT_EQ(BlurDispatch(d, fastState, &src, &fast, whole, settings), 1);
        ASSERT_EQ(BlurDispatch(d, referenceState, &src, &reference, whole, settings), 1);
        ASSERT_EQ(FirstDifference(reference, fast), "") << f.name << " settings " << settings;
        ASSERT_EQ(fastState.BlurPhase, referenceState.BlurPhase);
      }
    }
  }
}

int gCountedCalls = 0;
int CountingFadeToRed(uint32_t& r, uint32_t& g, uint32_t& b) {
  ++gCountedCalls;
  return FadeToRed(r, g, b);
}

// A rule that is not one of the six is not taken apart: the closed form declines
// without touching the destination, and the public pass runs the plain loop.
TEST(FastBlur, UnknownRuleFallsBackToThePlainLoop) {
  std::mt19937 random(3);
  const DisplayState d = DisplayFor(AllFormats().back());
  MemorySurface src = SurfaceFor(d, 40, 30);
  Paint(d, src, Picture::Holes, random);
  MemorySurface dst = SurfaceFor(d, 40, 30);
  Paint(d, dst, Picture::Random, random);
  const MemorySurface before = dst;
  const Rect region{0, 0, 40, 30};
  EXPECT_FALSE(FastFeedbackPass(d, MemoryOf(src, dst), region, CountingFadeToRed));
  EXPECT_FALSE(FastRoughPass(d, MemoryOf(src, dst), region, 1, 1, CountingFadeToRed));
  EXPECT_EQ(gCountedCalls, 0);
  EXPECT_EQ(dst.Bytes(), before.Bytes());

  MemorySurface viaRule = before, viaReference = before;
  FeedbackBlur(d, &src, &viaRule, region, CountingFadeToRed);
  const int calls = gCountedCalls;
  FeedbackBlurReference(d, &src, &viaReference, region, FadeToRed);
  EXPECT_GT(calls, 0);
  EXPECT_EQ(FirstDifference(viaReference, viaRule), "");
}

// A source and destination that share memory: the closed form, which reads ahead of
// its writes, must decline; the plain loop's in-place result is kept.
TEST(FastBlur, OverlappingSurfacesAreLeftToThePlainLoop) {
  std::mt19937 random(4);
  const DisplayState d = DisplayFor(AllFormats().back());
  MemorySurface s = SurfaceFor(d, 40, 30);
  Paint(d, s, Picture::AllLit, random);
  const MemorySurface before = s;
  // The destination view starts one row below the source: the two overlap.
  PassMemory shared{s.Pixels(), s.Desc().pitch, s.Bytes().size() - size_t(s.Desc().pitch),
                    s.Pixels() + s.Desc().pitch, s.Desc().pitch,
                    s.Bytes().size() - size_t(s.Desc().pitch)};
  const Rect region{0, 0, 40, 29};
  EXPECT_FALSE(FastFeedbackPass(d, shared, region, FadeToRed));
  EXPECT_FALSE(FastRoughPass(d, shared, region, 1, 1, FadeToRed));
  EXPECT_EQ(s.Bytes(), before.Bytes());
  // Adjacent but separate memory is fine.
  PassMemory adjacent{s.Pixels(), s.Desc().pitch, 15 * size_t(s.Desc().pitch),
                      s.Pixels() + 15 * s.Desc().pitch, s.Desc().pitch,
                      15 * size_t(s.Desc().pitch)};
  EXPECT_TRUE(FastFeedbackPass(d, adjacent, Rect{0, 0, 40, 15}, FadeToRed));
}

// A depth without a writer has no closed form either.
TEST(FastBlur, DepthWithoutWriterIsDeclined) {
  DisplayState d;
  SetupDisplayState(d, 400, 300, 15, 0, 0, 0);
  std::vector<uint8_t> src(64 * 64, 0x55), dst(64 * 64, 0x22);
  const PassMemory m{src.data(), 64, src.size(), dst.data(), 64, dst.size()};
  EXPECT_FALSE(FastFeedbackPass(d, m, Rect{0, 0, 20, 20}, FadeToRed));
  EXPECT_FALSE(FastRoughPass(d, m, Rect{0, 0, 20, 20}, 1, 1, FadeToRed));
  for (uint8_t b : dst) ASSERT_EQ(b, 0x22);
}

// The kernel table takes the highest level at or below the cap (and the processor's)
// that has kernels for the format: AVX2, SSE2, MMX, then none.
TEST(FastBlurKernelTable, ChoosesTheHighestLevelWithKernels) {
  struct FormatTop {
    const char* name;
    uint32_t bits, redMask, greenMask, blueMask;
    SimdLevel top;  // the highest level with kernels for the format
  };
  const FormatTop cases[] = {
      {"8 bits", 8, 0, 0, 0, SimdLevel::None},
      {"16 bits 565", 16, 0xF800, 0x07E0, 0x001F, SimdLevel::Avx2},
      {"16 bits 655 with overlapping fields", 16, 0xFC00, 0x07E0, 0x001F, SimdLevel::None},
      // Found as 565, so green keeps level bits 2-6 only: 8-bit lanes, which only the
      // kernels without vector instructions have.
      {"16 bits 565 with a five-bit green", 16, 0xF800, 0x03E0, 0x001F, SimdLevel::None},
      {"24 bits", 24, 0, 0, 0, SimdLevel::Avx2},
      {"32 bits", 32, 0, 0, 0, SimdLevel::Avx2},
  };
  std::mt19937 random(8);
  for (const FormatTop& c : cases) {
    DisplayState d;
    SetupDisplayState(d, 400, 300, c.bits, c.redMask, c.greenMask, c.blueMask);
    MemorySurface src = SurfaceFor(d, 24, 10);
    Paint(d, src, Picture::Holes, random);
    MemorySurface dst = SurfaceFor(d, 24, 10);
    Paint(d, dst, Picture::Random, random);
    for (SimdLevel cap : {SimdLevel::None, SimdLevel::Mmx, SimdLevel::Sse2, SimdLevel::Avx2}) {
      SimdCap limit(cap);
      const SimdLevel expected = std::min({cap, c.top, DetectedSimdLevel()});
      EXPECT_EQ(FastBlurLevel(d), expected) << c.name << ", cap " << SimdLevelName(cap);
      // The kernels it falls back to are exact there too.
      int changed = 0;
      for (int phase = -1; phase < 4; ++phase) {
        ASSERT_TRUE(SameAsReference(d, src, dst, Rect{1, 1, 23, 10}, 8, phase,
                                    std::string(c.name) + ", cap " + SimdLevelName(cap), changed));
      }
      EXPECT_GT(changed, 0) << c.name;
    }
  }
}

// Every program's cap starts at what LUMENFALL_SIMD names; anything else leaves AVX2.
TEST(SimdLevel, TheEnvironmentNamesTheCap) {
  EXPECT_EQ(SimdLimitForEnvironment("none"), SimdLevel::None);
  EXPECT_EQ(SimdLimitForEnvironment("mmx"), SimdLevel::Mmx);
  EXPECT_EQ(SimdLimitForEnvironment("sse2"), SimdLevel::Sse2);
  EXPECT_EQ(SimdLimitForEnvironment("avx2"), SimdLevel::Avx2);
  for (const char* other : {"SSE2", "sse", " none", "", "avx512"})
    EXPECT_EQ(SimdLimitForEnvironment(other), SimdLevel::Avx2) << other;
  EXPECT_EQ(SimdLimitForEnvironment(nullptr), SimdLevel::Avx2);
}

// A destination wider than the cells kept on the stack takes the heap path.
TEST(FastBlur, WideRegionMatchesReference) {
  std::mt19937 random(6);
  for (uint32_t bits : {8u, 32u}) {
    const Format& f = bits == 8 ? AllFormats().front() : AllFormats().back();
    const DisplayState d = DisplayFor(f);
    MemorySurface src = SurfaceFor(d, 2600, 7);
    Paint(d, src, Picture::Holes, random);
    const MemorySurface dst = SurfaceFor(d, 2600, 7);
    int changed = 0;
    const Rect region{1, 0, 2599, 7};
    for (int phase = -1; phase < 4; ++phase)
      ASSERT_TRUE(SameAsReference(d, src, dst, region, 1, phase, f.name, changed));
    EXPECT_EQ(changed, 5);
  }
}

}  // namespace
}  // namespace lumenfall

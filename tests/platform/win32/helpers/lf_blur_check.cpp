// The blur's kernels as the 32-bit Windows build compiles them, against the plain loops:
// every format, rule, pass and rough phase, on pictures that light every path, at every
// kernel set the processor runs (both Swar words without vector instructions). Prints
// the first difference of each failing case and the count of cases, and exits with the
// number of failures (0: every byte equal).
#include <cstdio>
#include <random>
#include <string>

#include "effect/blur/fast_blur.h"
#include "effect/blur/feedback_blur.h"
#include "tests/effect/fast_path_support.h"

namespace {

using namespace lumenfall;
using namespace lumenfall::fasttest;

constexpr int32_t kOffsetX[4] = {1, 2, 2, 1};
constexpr int32_t kOffsetY[4] = {1, 2, 1, 2};

}  // namespace

int main() {
  std::mt19937 random(29);
  int failures = 0, cases = 0;
  for (const Format& f : AllFormats()) {
    const DisplayState d = DisplayFor(f);
    for (Picture p : {Picture::AllLit, Picture::Holes, Picture::Thresholds, Picture::Sparse}) {
      // Odd sizes and a wide source pitch: every kernel's last pixels and both passes'
      // ends of rows.
      MemorySurface src = SurfaceFor(d, 45, 17, 3);
      Paint(d, src, p, random);
      MemorySurface start = SurfaceFor(d, 45, 17);
      Paint(d, start, Picture::Random, random);
      const Rect region{1, 1, 44, 16};
      for (const KernelVariant& kernels : VariantsToTry(f.bits)) {
        VariantCap cap(kernels);
        for (uint32_t selector : {1u, 2u, 4u, 8u, 16u, 32u}) {
          const ColourDecayRule rule = RuleForSelector(selector);
          for (int phase = -1; phase < 4; ++phase) {
            MemorySurface expected = start, actual = start;
            const PassMemory m{src.Pixels(), src.Desc().pitch, src.Bytes().size(),
                               actual.Pixels(), actual.Desc().pitch, actual.Bytes().size()};
            bool took;
            if (phase < 0) {
              FeedbackBlurReference(d, &src, &expected, region, rule);
              took = FastFeedbackPass(d, m, region, rule);
            } else {
              BlurState state;
              state.BlurPhase = static_cast<uint8_t>(phase);
              RoughFeedbackBlurReference(d, state, &src, &expected, region, rule);
              took = FastRoughPass(d, m, region, kOffsetX[phase], kOffsetY[phase], rule);
            }
            ++cases;
            const std::string difference = took ? FirstDifference(expected, actual) : "declined";
            if (!difference.empty()) {
              ++failures;
              // The phase as one digit: GCC 12 takes a number appended to a string
              // here for an overlapping copy.
              const char pass[] = {char('0' + phase), '\0'};
              std::printf("%s, %s, selector %u, %s%s, %s: %s\n", f.name, PictureName(p), selector,
                          phase < 0 ? "full" : "rough phase ", phase < 0 ? "" : pass,
                          VariantName(kernels).c_str(), difference.c_str());
            }
          }
        }
      }
    }
  }
  std::printf("%d cases, %d differ\n", cases, failures);
  return failures;
}

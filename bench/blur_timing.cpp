// lumenfall-blur-timing: the blurs and the frame step timed without Google Benchmark,
// so that the 32-bit Windows build measures itself (under Wine or on Windows). For
// every depth and every vector level the processor has: the full and the rough blur of
// an all-lit picture against the plain loops, and the frame step with an all-lit trail
// against the memcpy of its three surfaces. Every time is the median of five batches.
//
//   lumenfall-blur-timing [--quick] [--simd LEVEL]
// --quick: shorter batches, for a smoke run; --simd (or LUMENFALL_SIMD): the levels up to
// LEVEL only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"
#include "effect/blur/simd_level.h"
#include "shell/simd_choice.h"
#include "effect/blur/feedback_blur.h"

namespace lumenfall::bench {

namespace {

double gBatchSeconds = 0.05;

// Microseconds per call of work: the median of five batches of a calibrated length.
template <class Work>
double Time(Work work) {
  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
  size_t calls = 1;
  for (;;) {
    const auto start = Clock::now();
    for (size_t i = 0; i < calls; ++i) work();
    if (seconds(Clock::now() - start) >= gBatchSeconds / 4 || calls >= (size_t{1} << 24)) break;
    calls *= 2;
  }
  calls *= 4;
  std::vector<double> batches;
  for (int b = 0; b < 5; ++b) {
    const auto start = Clock::now();
    for (size_t i = 0; i < calls; ++i) work();
    batches.push_back(seconds(Clock::now() - start) / double(calls) * 1e6);
  }
  std::sort(batches.begin(), batches.end());
  return batches[2];
}

double TimeBlur(uint32_t bits, bool rough, BlurImplementation implementation) {
  const DisplayState d = DisplayForDepth(bits);
  MemorySurface source = WorkSurfaceFor(d), destination = WorkSurfaceFor(d);
  PaintAllLit(d, source, 7);
  BlurState blur;
  blur.implementation = implementation;
  const Rect whole{0, 0, kWorkWidth, kWorkHeight};
  const uint32_t settings = rough ? 0x10000001u : 1u;
  return Time([&] { BlurDispatch(d, blur, &source, &destination, whole, settings); });
}

double TimeFrame(uint32_t bits) {
  Effect effect(bits);
  MemorySurface lit = WorkSurfaceFor(effect.engine.display);
  PaintAllLit(effect.engine.display, lit, 11);
  for (int i = 0; i < 100; ++i) effect.Tick(1);
  // The repaint is timed apart and taken off.
  const double repaint =
      Time([&] { std::memcpy(effect.trail.Pixels(), lit.Pixels(), lit.Bytes().size()); });
  const double both = Time([&] {
    std::memcpy(effect.trail.Pixels(), lit.Pixels(), lit.Bytes().size());
    effect.Tick(1);
  });
  return both - repaint;
}

double TimeThreeCopies(uint32_t bits) {
  const DisplayState d = DisplayForDepth(bits);
  MemorySurface a = WorkSurfaceFor(d), b = WorkSurfaceFor(d);
  const size_t n = a.Bytes().size();
  return Time([&] {
    for (int i = 0; i < 3; ++i) std::memcpy(b.Pixels(), a.Pixels(), n);
    volatile uint8_t sink = b.Pixels()[n - 1];
    (void)sink;
  });
}

}  // namespace

}  // namespace lumenfall::bench

int main(int argc, char** argv) {
  using namespace lumenfall;
  using namespace lumenfall::bench;
  std::string error = SimdEnvironmentProblem(std::getenv(kSimdEnvironmentVariable));
  for (int i = 1; i < argc && error.empty(); ++i) {
    const std::string arg = argv[i];
    SimdLevel level;
    if (arg == "--quick") {
      gBatchSeconds = 0.005;
    } else if (arg == "--simd" && i + 1 < argc) {
      if (ParseSimdOption(argv[++i], level, error)) SetSimdLimit(level);
    } else {
      error = "unknown argument '" + arg + "' (--quick, --simd LEVEL)";
    }
  }
  if (!error.empty()) {
    std::fprintf(stderr, "lumenfall-blur-timing: %s\n", error.c_str());
    return 2;
  }
  const SimdLevel top = ActiveSimdLevel();
  std::vector<SimdLevel> levels;
  for (SimdLevel l : {SimdLevel::None, SimdLevel::Mmx, SimdLevel::Sse2, SimdLevel::Avx2})
    if (l <= top) levels.push_back(l);
  std::printf("processor offers: %s (%zu-bit program)\n\n", SimdLevelName(DetectedSimdLevel()),
              sizeof(void*) * 8);
  std::printf("| benchmark | level | fast (us) | baseline | baseline (us) | ratio |\n");
  std::printf("|---|---|---:|---|---:|---:|\n");
  for (uint32_t bits : {32u, 24u, 16u, 8u}) {
    for (bool rough : {false, true}) {
      const double reference = TimeBlur(bits, rough, BlurImplementation::Reference);
      for (SimdLevel level : levels) {
        const SimdLevel previous = SetSimdLimit(level);
        const double fast = TimeBlur(bits, rough, BlurImplementation::Fast);
        SetSimdLimit(previous);
        std::printf("| %sBlur/%ubit/all-lit | %s | %.1f | reference | %.1f | speedup %.2fx |\n",
                    rough ? "Rough" : "Full", bits, SimdLevelName(level), fast, reference,
                    reference / fast);
        if (bits == 8) break;  // one kernel at every level
      }
    }
  }
  for (uint32_t bits : {32u, 24u, 16u, 8u}) {
    const double copies = TimeThreeCopies(bits);
    for (SimdLevel level : levels) {
      const SimdLevel previous = SetSimdLimit(level);
      const double frame = TimeFrame(bits);
      SetSimdLimit(previous);
      std::printf("| FrameStep/%ubit/full/all-lit | %s | %.1f | memcpy-three-surfaces | %.1f | %.2fx |\n",
                  bits, SimdLevelName(level), frame, copies, frame / copies);
      if (bits == 8) break;
    }
  }
  return 0;
}

// The full and the rough blur over one 400 x 300 work surface, fast and plain, on an
// all-lit picture and on a picture from the running effect.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench_support.h"
#include "effect/blur/colour_decay.h"
#include "effect/blur/feedback_blur.h"

namespace lumenfall::bench {

namespace {

constexpr Rect kWhole{0, 0, kWorkWidth, kWorkHeight};
// 115 ticks of 40 ms: 4.6 s into the first line, late in its burn-in, when the trail
// carries the most.
constexpr int kTypicalFrames = 115;

struct BlurCase {
  uint32_t bits;
  bool rough;
  bool typical;
  BlurImplementation implementation;
};

void RunBlur(benchmark::State& state, BlurCase c) {
  const DisplayState d = DisplayForDepth(c.bits);
  const uint32_t settings = c.rough ? 0x10000001u : 1u;
  MemorySurface source = c.typical ? TypicalBlurSource(c.bits, settings, kTypicalFrames)
                                   : WorkSurfaceFor(d);
  if (!c.typical) PaintAllLit(d, source, 7);
  MemorySurface destination = WorkSurfaceFor(d);
  BlurState blur;
  blur.implementation = c.implementation;
  for (auto _ : state) {
    BlurDispatch(d, blur, &source, &destination, kWhole, settings);
    benchmark::DoNotOptimize(destination.Pixels());
    benchmark::ClobberMemory();
  }
  state.counters["lit"] = LitShare(d, source);
  state.SetItemsProcessed(int64_t(state.iterations()) * kWorkWidth * kWorkHeight);
}

std::string BlurName(const BlurCase& c) {
  return std::string(c.rough ? "RoughBlur/" : "FullBlur/") + std::to_string(c.bits) + "bit/" +
         (c.typical ? "typical/" : "all-lit/") +
         (c.implementation == BlurImplementation::Fast ? "fast" : "reference");
}

}  // namespace

void RegisterBlurBenchmarks() {
  for (bool rough : {false, true}) {
    for (bool typical : {false, true}) {
      for (uint32_t bits : {32u, 24u, 16u, 8u}) {
        const BlurCase fast{bits, rough, typical, BlurImplementation::Fast};
        const BlurCase reference{bits, rough, typical, BlurImplementation::Reference};
        benchmark::RegisterBenchmark(BlurName(fast).c_str(), RunBlur, fast)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(BlurName(reference).c_str(), RunBlur, reference)
            ->Unit(benchmark::kMicrosecond);
        const double goal = (bits == 32 && !typical) ? (rough ? 5.0 : 10.0) : 0.0;
        AddComparison({BlurName(fast), BlurName(reference), Comparison::Kind::Speedup, goal});
      }
    }
  }
}

}  // namespace lumenfall::bench

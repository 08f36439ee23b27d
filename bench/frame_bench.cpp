// One whole frame step (zoom, clear, blur, compose, text) per depth, against copying
// the three work surfaces with memcpy.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"
#include "effect/bitmap_font.h"
#include "effect/blur/feedback_blur.h"
#include "effect/text_sets.h"

namespace lumenfall::bench {

namespace {

struct FrameCase {
  uint32_t bits;
  bool rough;
  bool allLit;  // the trail repainted all lit before every step; otherwise the effect runs on
  BlurImplementation implementation;
};

// The all-lit steps time themselves (manual time), around the step alone: pausing the
// framework's timers for the repaint costs two system calls for the processor time,
// and about 2 us of that landed in every timed step.
void RunFrame(benchmark::State& state, FrameCase c) {
  using Clock = std::chrono::steady_clock;
  Effect effect(c.bits);
  effect.engine.blur.implementation = c.implementation;
  const uint32_t settings = c.rough ? 0x10000001u : 1u;
  MemorySurface lit = WorkSurfaceFor(effect.engine.display);
  PaintAllLit(effect.engine.display, lit, 11);
  for (int i = 0; i < 100; ++i) effect.Tick(settings);  // into the first line
  for (auto _ : state) {
    if (!c.allLit) {
      effect.Tick(settings);
      benchmark::ClobberMemory();
      continue;
    }
    std::memcpy(effect.trail.Pixels(), lit.Pixels(), lit.Bytes().size());
    benchmark::ClobberMemory();
    const Clock::time_point start = Clock::now();
    effect.Tick(settings);
    benchmark::ClobberMemory();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
}

// The floor: the bytes of the three work surfaces copied once each.
void RunCopyThree(benchmark::State& state, uint32_t bits) {
  const size_t bytes = size_t{kWorkWidth} * kWorkHeight * (bits / 8);
  std::vector<uint8_t> from(3 * bytes, 0x5A), to(3 * bytes);
  for (auto _ : state) {
    for (int i = 0; i < 3; ++i) std::memcpy(to.data() + i * bytes, from.data() + i * bytes, bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(3 * bytes));
}

// The text of a frame: the first line blended at half strength into an all-lit surface,
// as while it fades in.
void RunText(benchmark::State& state, uint32_t bits) {
  Effect effect(bits);
  EffectEngine& e = effect.engine;
  PaintAllLit(e.display, effect.trail, 11);
  const char* line = TextSetForSettings(1)[0];
  for (auto _ : state) {
    TextBox box = e.sequencer.textBox;
    DrawBitmapText(e.display, line, &effect.trail, &box, e.font, 0x80000000u | kTextColour,
                   kSequencerTextFlags);
    benchmark::ClobberMemory();
  }
}

std::string FrameName(const FrameCase& c) {
  return "FrameStep/" + std::to_string(c.bits) + "bit/" + (c.rough ? "rough/" : "full/") +
         (c.allLit ? "all-lit/" : "running/") +
         (c.implementation == BlurImplementation::Fast ? "fast" : "reference");
}

std::string CopyName(uint32_t bits) {
  return "FrameStep/" + std::to_string(bits) + "bit/memcpy-three-surfaces";
}

}  // namespace

void RegisterFrameBenchmarks() {
  for (uint32_t bits : {32u, 24u, 16u, 8u}) {
    benchmark::RegisterBenchmark(CopyName(bits).c_str(), RunCopyThree, bits)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Text/" + std::to_string(bits) + "bit/line").c_str(), RunText,
                                 bits)
        ->Unit(benchmark::kMicrosecond);
    for (bool rough : {false, true}) {
      for (bool allLit : {true, false}) {
        for (BlurImplementation impl : {BlurImplementation::Fast, BlurImplementation::Reference}) {
          const FrameCase c{bits, rough, allLit, impl};
          auto* b = benchmark::RegisterBenchmark(FrameName(c).c_str(), RunFrame, c)
                        ->Unit(benchmark::kMicrosecond);
          if (allLit) b->UseManualTime();
        }
        const FrameCase fast{bits, rough, allLit, BlurImplementation::Fast};
        const FrameCase reference{bits, rough, allLit, BlurImplementation::Reference};
        const double goal = (bits == 32 && !rough && allLit) ? 8.0 : 0.0;
        AddComparison({FrameName(fast), CopyName(bits), Comparison::Kind::TimesBaseline, goal});
        AddComparison({FrameName(fast), FrameName(reference), Comparison::Kind::Speedup, 0.0});
      }
    }
  }
}

}  // namespace lumenfall::bench

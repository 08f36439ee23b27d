// What the benchmark programs share: displays, pictures, running effects, and the
// table of comparisons printed after a run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/memory_surface.h"
#include "display/pixel_format.h"
#include "effect/clock.h"
#include "effect/frame_sequencer.h"
#include "effect/memory_effect.h"

namespace lumenfall::bench {

// The display of a depth; 16 bits is the 565 layout.
DisplayState DisplayForDepth(uint32_t bits);

MemorySurface WorkSurfaceFor(const DisplayState& display);

// Every pixel lit with a different colour, none of them black.
void PaintAllLit(const DisplayState& display, MemorySurface& surface, uint32_t seed);

// The in-memory effect at a depth (16 bits: 565) on a clock that each tick moves by 40 ms.
struct Effect {
  explicit Effect(uint32_t bits);
  // Runs one frame step 40 ms after the last one.
  void Tick(uint32_t settings);
  SimulatedClock clock{1000};
  MemoryEffect effect;
  EffectEngine& engine;
  MemorySurface& trail;
};

// The picture the blur reads in a real frame: the effect run for frames ticks of 40 ms,
// then the next frame's zoom of the trail.
MemorySurface TypicalBlurSource(uint32_t bits, uint32_t settings, int frames);

// Share of the pixels of a surface that are not black.
double LitShare(const DisplayState& display, const MemorySurface& surface);

// A line of the table printed after the run: how one benchmark compares with another
// measured in the same run.
struct Comparison {
  std::string name;      // the benchmark
  std::string baseline;  // what it is measured against
  enum class Kind { Speedup, TimesBaseline } kind;
  double goal;  // at least this speedup, or at most this many times the baseline; 0: none
};

void AddComparison(Comparison c);
const std::vector<Comparison>& Comparisons();

void RegisterBlurBenchmarks();
void RegisterFrameBenchmarks();
void RegisterStretchBenchmarks();

}  // namespace lumenfall::bench

// The headless run of the effect: the engine on a simulated clock, and the loop that
// turns every kept ShowBuffer into the chosen output.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "display/memory_surface.h"
#include "effect/clock.h"
#include "effect/frame_sequencer.h"
#include "effect/memory_effect.h"
#include "platform/render/image_writers.h"
#include "platform/render/options.h"
#include "shell/options.h"

namespace lumenfall {

constexpr int kExitDone = 0;
constexpr int kExitIoFailure = 1;
constexpr int kExitInterrupted = 130;

// The effect as the renderer runs it: SeedRandom(seed) once, three fresh all-zero 400 x 300
// surfaces in the display format, and frame k at tick count start + k x tick.
class EffectRun {
 public:
  explicit EffectRun(const RenderOptions& options);
  EffectRun(const EffectRun&) = delete;
  EffectRun& operator=(const EffectRun&) = delete;

  // Runs the present step of frame k (nothing when the settings word selects no set).
  void Step(uint32_t k);

  const MemorySurface& Show() const { return effect_.Show(); }
  const DisplayState& Display() const { return effect_.Display(); }
  const EffectEngine& Engine() const { return effect_.Engine(); }

 private:
  RenderOptions options_;
  SimulatedClock clock_;
  MemoryEffect effect_;
};

// Stretches a surface's pixels to width x height in its own format (a copy at 400 x 300),
// rows packed.
void ScaleFrame(const MemorySurface& surface, uint32_t width, uint32_t height,
                std::vector<uint8_t>& native);

// Converts packed pixels of the display format to RGB through PixelToRgb.
void NativeToRgb(const DisplayState& display, const std::vector<uint8_t>& native,
                 uint32_t width, uint32_t height, RgbImage& image);

// The file name of frame k in a PNG series: "-NNNNN" before the extension.
std::string NumberedPath(const std::string& path, uint32_t k);

// Called after every frame with (frames done, frames in all).
using RenderProgress = std::function<void(uint32_t, uint32_t)>;

// Renders as the options say. Returns an exit status (kExitDone, kExitIoFailure,
// kExitInterrupted) with a one-line reason in error when it is not kExitDone. Polls
// *stop, when given, between frames; a non-zero value abandons the output.
int RunRender(const RenderOptions& options, std::string& error,
              const RenderProgress& progress = {},
              const volatile std::sig_atomic_t* stop = nullptr);

// Writes the text set that the settings word selects (or the own lines that stand in for
// it), one entry per line (nothing when it selects none). kExitDone, or kExitIoFailure with a reason.
int ListLines(const RenderOptions& options, FILE* out, std::string& error);

}  // namespace lumenfall

// The feedback blur: rebuilds the trail from the zoomed picture, fading every lit
// pixel by one step of a colour-decay rule and spreading it onto its neighbours.
#pragma once

#include <cstdint>

#include "display/pixel_format.h"
#include "display/types.h"
#include "display/work_surface.h"
#include "effect/blur/colour_decay.h"

namespace lumenfall {

// Which code runs a pass. Fast is the normal choice: it picks, once per pass, a
// closed-form path that gives the same bytes as the plain loops and falls back to
// them for anything unusual. Reference always runs the plain per-write loops; the
// differential tests and benchmarks use it as the yardstick.
enum class BlurImplementation : uint8_t { Fast, Reference };

// State of the rough pass: which pixel of each 2 x 2 cell it samples next (0-3),
// and which implementation the dispatch runs.
struct BlurState {
  uint8_t BlurPhase = 0;
  BlurImplementation implementation = BlurImplementation::Fast;
};

// Sets the channel accumulators from one source pixel of the display's format.
// At a depth without a decoder all three are 0.
void ReadChannels(const DisplayState& display, const uint8_t* pixel, uint32_t& red,
                  uint32_t& green, uint32_t& blue);

// Picks the rule from the settings word's low byte and the pass from bit 28.
// 0 when the selector names no rule (nothing is touched); otherwise the pass's result.
int BlurDispatch(const DisplayState& display, BlurState& state, WorkSurface* source,
                 WorkSurface* destination, const Rect& region, uint32_t settings);

// The full pass over the region's interior.
int FeedbackBlur(const DisplayState& display, WorkSurface* source, WorkSurface* destination,
                 const Rect& region, ColourDecayRule rule);

// The low-quality pass: one sample per 2 x 2 cell, painted as a block with a fringe.
int RoughFeedbackBlur(const DisplayState& display, BlurState& state, WorkSurface* source,
                      WorkSurface* destination, const Rect& region, ColourDecayRule rule);

// The plain passes: every write made in order through the pixel writers. Same
// arguments, results and bytes as FeedbackBlur and RoughFeedbackBlur.
int FeedbackBlurReference(const DisplayState& display, WorkSurface* source,
                          WorkSurface* destination, const Rect& region, ColourDecayRule rule);
int RoughFeedbackBlurReference(const DisplayState& display, BlurState& state, WorkSurface* source,
                               WorkSurface* destination, const Rect& region, ColourDecayRule rule);

}  // namespace lumenfall

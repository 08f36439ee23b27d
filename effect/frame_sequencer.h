// The frame sequencer: one call per timer tick runs the zoom-feedback pass over the
// three work surfaces and composes the visible picture of the current text line.
#pragma once

#include <cstdint>

#include "display/pixel_format.h"
#include "display/types.h"
#include "display/work_surface.h"
#include "effect/bitmap_font.h"
#include "effect/clock.h"
#include "effect/blur/feedback_blur.h"
#include "effect/random.h"
#include "effect/text_sets.h"

namespace lumenfall {

constexpr int32_t kWorkWidth = 400;
constexpr int32_t kWorkHeight = 300;
constexpr uint32_t kStepMs = 8;
constexpr uint32_t kCycleSteps = 640;
constexpr uint32_t kFadeInEnd = 256;   // steps 0-255 fade the line in over ShowBuffer
constexpr uint32_t kBurnInEnd = 512;   // steps 256-511 burn it into TrailBuffer
constexpr int kSequencerTextFlags = TEXT_HCENTRE | TEXT_VCENTRE;
constexpr ArgbColour kTextColour = 0x00FFFFFF;

struct SequencerState {
  uint32_t lastFrameTick = 0;          // 0: no frame has run yet
  uint32_t cyclePhase = 0xFFFFFFFF;    // 8 ms steps into the current line's cycle
  int32_t lineIndex = -1;              // entry of the text set being shown
  Rect zoomRect{20, 25, 380, 275};     // part of TrailBuffer stretched over ZoomBuffer
  TextBox textBox{0, 0, kWorkWidth, kWorkHeight};
};

struct WorkSurfaces {
  WorkSurface* ZoomBuffer = nullptr;
  WorkSurface* TrailBuffer = nullptr;
  WorkSurface* ShowBuffer = nullptr;
};

// Everything one running effect owns or uses. Plain data: a test makes a fresh one.
struct EffectEngine {
  DisplayState display;
  SequencerState sequencer;
  BlurState blur;
  RandomState random;
  WorkSurfaces surfaces;
  MillisecondClock* clock = nullptr;
  const BitmapFont* font = nullptr;
};

// One frame. 0 when skipped (less than 8 ms since the last frame), 1 when run.
int FrameSequencer(EffectEngine& engine, uint32_t settings, TextSet textSet);

// The presenters' frame step: runs the sequencer on the set that the settings word's
// low byte selects (1 or 4), or on own lines in its place when given, and nothing for
// any other value. Returns the sequencer's result, or 0 when no step was run.
int RunFrameStep(EffectEngine& engine, uint32_t settings, TextSet ownLines = nullptr);

}  // namespace lumenfall

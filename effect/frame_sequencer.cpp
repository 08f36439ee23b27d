#include "effect/frame_sequencer.h"

#include "display/surface_ops.h"

namespace lumenfall {

namespace {

// The current line, or null when the set holds no line to draw.
const char* CurrentLine(const SequencerState& s, TextSet textSet) {
  if (s.LineIndex < 0 || s.LineIndex >= TextSetLength(textSet)) return nullptr;
  return textSet[s.LineIndex];
}

void DrawLine(EffectEngine& engine, const char* line, WorkSurface* target, ArgbColour colour) {
  if (line == nullptr) return;
  DrawBitmapText(engine.display, line, target, &engine.sequencer.textBox, engine.font, colour,
                 kSequencerTextFlags);
}

void CopyWhole(WorkSurface* destination, WorkSurface* source) {
  if (destination != nullptr && source != nullptr) destination->Blt(nullptr, source, nullptr);
}

}  // namespace

int FrameSequencer(EffectEngine& engine, void* window, uint32_t settings, TextSet textSet) {
  SequencerState& s = engine.sequencer;
  WorkSurfaces& w = engine.surfaces;
  const uint32_t now = engine.clock != nullptr ? engine.clock->TickCount() : 0;

  // 1. Timing: whole 8 ms steps of measured time; the remainder is dropped.
  if (s.LastFrameTick == 0) {
    s.LastFrameTick = now;
  } else {
    const uint32_t elapsed = now - s.LastFrameTick;
    if (elapsed < kStepMs) return 0;
    s.LastFrameTick = now;
    s.CyclePhase += elapsed / kStepMs;
  }

  // 2-4. Zoom, clear, blur.
  if (w.ZoomBuffer != nullptr && w.TrailBuffer != nullptr)
    w.ZoomBuffer->Blt(nullptr, w.TrailBuffer, &s.ZoomRect);
  ddClearSurface(w.TrailBuffer);
  BlurDispatch(engine.display, engine.blur, window, w.ZoomBuffer, w.TrailBuffer, s.textBox,
               settings);

  // 5. Compose.
  const char* line = CurrentLine(s, textSet);
  if (s.CyclePhase < kFadeInEnd) {
    CopyWhole(w.ShowBuffer, w.TrailBuffer);
    DrawLine(engine, line, w.ShowBuffer, (s.CyclePhase << 24) | kTextColour);
  } else if (s.CyclePhase < kBurnInEnd) {
    DrawLine(engine, line, w.TrailBuffer, 0xFF000000u | kTextColour);
    CopyWhole(w.ShowBuffer, w.TrailBuffer);
  } else {
    CopyWhole(w.ShowBuffer, w.TrailBuffer);
  }

  // 6. End of the cycle: next line, new zoom rectangle.
  if (s.CyclePhase >= kCycleSteps) {
    s.CyclePhase = 0;
    s.LineIndex += 1;
    if (s.LineIndex < 0 || s.LineIndex >= TextSetLength(textSet)) s.LineIndex = 0;
    const int32_t left = rand(engine.random) * 20 / 32767;
    const int32_t top = rand(engine.random) * 25 / 32767;
    s.ZoomRect = Rect{left, top, kWorkWidth - left, kWorkHeight - top};
  }
  return 1;
}

int RunFrameStep(EffectEngine& engine, void* window, uint32_t settings) {
  const TextSet set = TextSetForSettings(settings);
  if (set == nullptr) return 0;
  return FrameSequencer(engine, window, settings, set);
}

}  // namespace lumenfall

#include "effect/frame_sequencer.h"

#include "display/surface_ops.h"

namespace lumenfall {

namespace {

// The current line, or null when the set holds no line to draw.
const char* CurrentLine(const SequencerState& s, TextSet textSet) {
  if (s.lineIndex < 0 || s.lineIndex >= TextSetLength(textSet)) return nullptr;
  return textSet[s.lineIndex];
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

int FrameSequencer(EffectEngine& engine, uint32_t settings, TextSet textSet) {
  SequencerState& s = engine.sequencer;
  WorkSurfaces& w = engine.surfaces;
  const uint32_t now = engine.clock != nullptr ? engine.clock->TickCount() : 0;

  // 1. Timing: whole 8 ms steps of measured time; the remainder is dropped.
  if (s.lastFrameTick == 0) {
    s.lastFrameTick = now;
  } else {
    const uint32_t elapsed = now - s.lastFrameTick;
    if (elapsed < kStepMs) return 0;
    s.lastFrameTick = now;
    s.cyclePhase += elapsed / kStepMs;
  }

  // 2-4. Zoom, clear, blur.
  if (w.ZoomBuffer != nullptr && w.TrailBuffer != nullptr)
    w.ZoomBuffer->Blt(nullptr, w.TrailBuffer, &s.zoomRect);
  ClearSurface(w.TrailBuffer);
  BlurDispatch(engine.display, engine.blur, w.ZoomBuffer, w.TrailBuffer, s.textBox,
               settings);

  // 5. Compose.
  const char* line = CurrentLine(s, textSet);
  if (s.cyclePhase < kFadeInEnd) {
    CopyWhole(w.ShowBuffer, w.TrailBuffer);
    DrawLine(engine, line, w.ShowBuffer, (s.cyclePhase << 24) | kTextColour);
  } else if (s.cyclePhase < kBurnInEnd) {
    DrawLine(engine, line, w.TrailBuffer, 0xFF000000u | kTextColour);
    CopyWhole(w.ShowBuffer, w.TrailBuffer);
  } else {
    CopyWhole(w.ShowBuffer, w.TrailBuffer);
  }

  // 6. End of the cycle: next line, new zoom rectangle.
  if (s.cyclePhase >= kCycleSteps) {
    s.cyclePhase = 0;
    s.lineIndex += 1;
    if (s.lineIndex < 0 || s.lineIndex >= TextSetLength(textSet)) s.lineIndex = 0;
    const int32_t left = NextRandom(engine.random) * 20 / 32767;
    const int32_t top = NextRandom(engine.random) * 25 / 32767;
    s.zoomRect = Rect{left, top, kWorkWidth - left, kWorkHeight - top};
  }
  return 1;
}

int RunFrameStep(EffectEngine& engine, uint32_t settings, TextSet ownLines) {
  const TextSet set = TextSetForSettings(settings, ownLines);
  if (set == nullptr) return 0;
  return FrameSequencer(engine, settings, set);
}

}  // namespace lumenfall

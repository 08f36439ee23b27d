// The DirectDraw side of the display: the device in the normal cooperative level,
// the primary surface with a clipper bound to the saver window, ScreenTemplate,
// the 8-bit grey palette, the three work surfaces, presentation and teardown.
// One set of module state, alive from window creation to window destruction.
#pragma once

#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "effect/frame_sequencer.h"
#include "platform/win32/dd_work_surface.h"

namespace lumenfall {

struct DirectDrawState {
  IDirectDraw2* device = nullptr;
  IDirectDrawSurface2* primary = nullptr;
  IDirectDrawClipper* clipper = nullptr;
  IDirectDrawSurface2* ScreenTemplate = nullptr;
  IDirectDrawPalette* palette = nullptr;  // only at 8 bits per pixel
  DirectDrawWorkSurface ZoomBuffer;
  DirectDrawWorkSurface TrailBuffer;
  DirectDrawWorkSurface ShowBuffer;
  RECT FullScreenRect{};
  bool fullScreenRectSet = false;
  RECT previewRect{};
  // Times the lost surfaces were given back their memory (for tests and curiosity).
  uint32_t restoreCount = 0;
};

// The module state and the effect that draws into it.
DirectDrawState& DirectDraw();
EffectEngine& DisplayEngine();

// The palette object holding the grey palette; the dump runs before it is returned.
IDirectDrawPalette* ddCreateGreyPalette(IDirectDraw2* device);
int ddDumpPalette(IDirectDrawPalette* palette);

int ddCreate();
int ddSetNormalMode(HWND window);
int ddCreatePrimary(HWND window);
int ddReleasePrimary();
int ddRestoreMode(HWND window);
int ddShutdown(HWND window);
int CreateWorkSurfaces();
int ReleaseWorkSurfaces();
int PresentFullScreen(HWND window, uint32_t settings);
int PresentPreview(HWND window, uint32_t settings);

}  // namespace lumenfall

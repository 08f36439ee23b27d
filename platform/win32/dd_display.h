// The DirectDraw side of the display: the device in the normal cooperative level,
// the primary surface with a clipper bound to the saver window, screenTemplate,
// the 8-bit grey palette, the three work surfaces, presentation and teardown.
// One set of module state, alive from window creation to window destruction.
#pragma once

#include <windows.h>
#include <ddraw.h>

#include <cstdint>
#include <vector>

#include "effect/frame_sequencer.h"
#include "platform/win32/dd_work_surface.h"
#include "platform/win32/screen_layout.h"

namespace lumenfall {

struct DirectDrawState {
  IDirectDraw2* device = nullptr;
  IDirectDrawSurface2* primary = nullptr;
  IDirectDrawClipper* clipper = nullptr;
  IDirectDrawSurface2* screenTemplate = nullptr;
  IDirectDrawPalette* palette = nullptr;  // only at 8 bits per pixel
  // The same greys as a GDI palette, for the monitors drawn by GDI (8 bits per pixel only).
  HPALETTE gdiPalette = nullptr;
  DirectDrawWorkSurface zoomBuffer;
  DirectDrawWorkSurface trailBuffer;
  DirectDrawWorkSurface showBuffer;
  // The part of the screen that the primary surface reaches, and the monitors; both
  // read at the first full-screen presentation after each (re)build.
  RECT fullScreenRect{};
  bool fullScreenRectSet = false;
  RECT monitors[kMaxMonitors]{};
  int monitorCount = 0;
  RECT previewRect{};
  // ShowBuffer's pixels for the monitors that the primary does not reach, as a DIB.
  std::vector<uint8_t> showCopy;
  // Times the lost surfaces were given back their memory (for tests and curiosity).
  uint32_t restoreCount = 0;
  // A rebuild is due: a Restore answered that the display mode changed, or the last
  // rebuild failed. Only a rebuild that succeeds clears it.
  bool rebuildPending = false;
  uint32_t rebuildCount = 0;  // attempts, successful or not
  DWORD lastRebuildTick = 0;
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

// Everything released and built again for the display's current mode: device, primary,
// clipper, screenTemplate, palettes, formats, the work surfaces (cleared to black) and,
// at the next presentation, fullScreenRect and the monitors. The effect's own state
// (the sequencer, the random generator) goes on. Returns 1 when the work surfaces exist.
// Otherwise nothing of the attempt is kept, the window is painted black and the rebuild
// stays pending.
int ddRebuild(HWND window);

// True when a rebuild is pending and the last attempt is at least kRebuildPauseMs old,
// so that a display that keeps refusing is not rebuilt on every tick.
bool ddRebuildDue();
constexpr DWORD kRebuildPauseMs = 1000;

}  // namespace lumenfall

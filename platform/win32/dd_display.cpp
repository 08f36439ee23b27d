#include "platform/win32/dd_display.h"

#include <cstdio>
#include <initializer_list>
#include <cstring>

#include "display/diagnostic.h"
#include "display/pixel_format.h"
#include "display/surface_ops.h"
#include "effect/random.h"

namespace lumenfall {

namespace {

// The effect's clock: the system tick count.
class TickCountClock final : public MillisecondClock {
 public:
  uint32_t TickCount() override { return GetTickCount(); }
};

DirectDrawState directDraw;
EffectEngine displayEngine;
TickCountClock tickClock;

constexpr DWORD kOffscreenFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;  // 0x1007
constexpr DWORD kOffscreenCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;            // 0x840
constexpr RECT kShowRect{0, 0, kWorkWidth, kWorkHeight};

void Trace(const char* text, HRESULT result) { DiagnosticTrace(text, static_cast<int32_t>(result)); }

DDSURFACEDESC EmptyDesc() {
  DDSURFACEDESC desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  return desc;
}

// CreateSurface, then the second-version interface; the first one is released.
IDirectDrawSurface2* CreateSurface2(DDSURFACEDESC& desc) {
  IDirectDrawSurface* first = nullptr;
  Trace("IDirectDraw2_CreateSurface", directDraw.device->CreateSurface(&desc, &first, nullptr));
  if (first == nullptr) return nullptr;
  void* second = nullptr;
  Trace("IDirectDrawSurface_QueryInterface",
        first->QueryInterface(IID_IDirectDrawSurface2, &second));
  first->Release();
  return static_cast<IDirectDrawSurface2*>(second);
}

template <typename T>
void ReleaseHandle(T*& handle) {
  if (handle != nullptr) {
    handle->Release();
    handle = nullptr;
  }
}

bool WorkSurfacesExist() {
  return directDraw.ZoomBuffer.Exists() && directDraw.TrailBuffer.Exists() &&
         directDraw.ShowBuffer.Exists();
}

// The frame step, run only when every work surface exists.
void FrameStep(HWND window, uint32_t settings) {
  if (WorkSurfacesExist()) RunFrameStep(displayEngine, window, settings);
}

// A display mode change by another program takes the memory of the surfaces away.
// Rather than stay frozen until teardown, the lost surfaces get their memory back;
// the work surfaces start again from black and the next tick draws as usual.
void RestoreLostSurfaces(HRESULT presentResult) {
  DirectDrawState& d = directDraw;
  bool lost = presentResult == DDERR_SURFACELOST;
  for (DirectDrawWorkSurface* s : {&d.ZoomBuffer, &d.TrailBuffer, &d.ShowBuffer}) {
    if (s->SawSurfaceLost()) lost = true;
  }
  if (!lost) return;
  if (d.primary != nullptr && d.primary->IsLost() == DDERR_SURFACELOST) d.primary->Restore();
  if (d.ScreenTemplate != nullptr && d.ScreenTemplate->IsLost() == DDERR_SURFACELOST)
    d.ScreenTemplate->Restore();
  for (DirectDrawWorkSurface* s : {&d.ZoomBuffer, &d.TrailBuffer, &d.ShowBuffer}) {
    s->ForgetSurfaceLost();
    if (s->Surface() != nullptr && s->Surface()->IsLost() == DDERR_SURFACELOST) {
      s->Restore();
      ddClearSurface(s);
    }
  }
  d.restoreCount += 1;
}

HRESULT PresentShowBuffer(const RECT& destination) {
  DirectDrawState& d = directDraw;
  if (d.primary == nullptr || !d.ShowBuffer.Exists()) return DD_OK;
  RECT dst = destination;
  RECT src = kShowRect;
  return d.primary->Blt(&dst, d.ShowBuffer.Surface(), &src, DDBLT_WAIT, nullptr);
}

}  // namespace

DirectDrawState& DirectDraw() { return directDraw; }
EffectEngine& DisplayEngine() { return displayEngine; }

IDirectDrawPalette* ddCreateGreyPalette(IDirectDraw2* device) {
  if (device == nullptr) return nullptr;
  GreyPalette table;
  BuildGreyPaletteTable(table);
  static_assert(sizeof(PaletteEntry) == sizeof(PALETTEENTRY), "palette records share a layout");
  PALETTEENTRY entries[256];
  std::memcpy(entries, table.entry, sizeof entries);
  IDirectDrawPalette* palette = nullptr;
  Trace("IDirectDraw2_CreatePalette", device->CreatePalette(DDPCAPS_8BIT, entries, &palette, nullptr));
  if (palette != nullptr) ddDumpPalette(palette);
  return palette;
}

int ddDumpPalette(IDirectDrawPalette* palette) {
  PALETTEENTRY entries[256];
  std::memset(entries, 0, sizeof entries);
  if (palette == nullptr) return 1;
  Trace("IDirectDrawPalette_GetEntries", palette->GetEntries(0, 0, 256, entries));
  char text[256];
  for (int i = 0; i < 256; ++i) {
    std::snprintf(text, sizeof text, "Index %d has RGB %3d %3d %3d, flags %d\n", i,
                  entries[i].peRed, entries[i].peGreen, entries[i].peBlue, entries[i].peFlags);
    DiagnosticTrace(text);
  }
  return 1;
}

int ddCreate() {
  IDirectDraw* first = nullptr;
  Trace("DirectDrawCreate", DirectDrawCreate(nullptr, &first, nullptr));
  if (first == nullptr) return 0;
  void* second = nullptr;
  Trace("IDirectDraw_QueryInterface", first->QueryInterface(IID_IDirectDraw2, &second));
  first->Release();
  directDraw.device = static_cast<IDirectDraw2*>(second);
  return directDraw.device != nullptr ? 1 : 0;
}

int ddSetNormalMode(HWND window) {
  if (directDraw.device == nullptr) return 0;
  Trace("IDirectDraw2_SetCooperativeLevel",
        directDraw.device->SetCooperativeLevel(window, DDSCL_NORMAL));
  ddCreatePrimary(window);
  return 1;
}

int ddCreatePrimary(HWND window) {
  DirectDrawState& d = directDraw;
  if (d.device == nullptr) return 0;
  ddReleasePrimary();

  DDSURFACEDESC desc = EmptyDesc();
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  d.primary = CreateSurface2(desc);
  if (d.primary == nullptr) return 0;

  Trace("CreateClipper", d.device->CreateClipper(0, &d.clipper, nullptr));
  if (d.clipper != nullptr) {
    Trace("SetHWND", d.clipper->SetHWnd(0, window));
    Trace("SetClipper", d.primary->SetClipper(d.clipper));
  }

  Trace("IDirectDrawSurface2_GetSurfaceDesc", d.primary->GetSurfaceDesc(&desc));
  desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  Trace("IDirectDrawSurface2_GetPixelFormat", d.primary->GetPixelFormat(&desc.ddpfPixelFormat));
  const DDPIXELFORMAT primaryFormat = desc.ddpfPixelFormat;

  desc.dwFlags = kOffscreenFlags;
  desc.ddsCaps.dwCaps = kOffscreenCaps;
  d.ScreenTemplate = CreateSurface2(desc);
  if (d.ScreenTemplate == nullptr) return 1;  // no format to build work surfaces from

  DDSURFACEDESC templateDesc = EmptyDesc();
  Trace("IDirectDrawSurface2_GetSurfaceDesc", d.ScreenTemplate->GetSurfaceDesc(&templateDesc));
  templateDesc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  Trace("IDirectDrawSurface2_GetPixelFormat",
        d.primary->GetPixelFormat(&templateDesc.ddpfPixelFormat));

  // The format records: the screen size from ScreenTemplate, the depth and masks from
  // the primary; the palette table at 8 bits, the layout at 16, the ramp at every depth.
  const DDPIXELFORMAT& format = templateDesc.ddpfPixelFormat.dwRGBBitCount != 0
                                    ? templateDesc.ddpfPixelFormat
                                    : primaryFormat;
  SetupDisplayState(displayEngine.display, templateDesc.dwWidth, templateDesc.dwHeight,
                    format.dwRGBBitCount, format.dwRBitMask, format.dwGBitMask, format.dwBBitMask);
  if (displayEngine.display.format.bitsPerPixel == 8) {
    d.palette = ddCreateGreyPalette(d.device);
    if (d.palette != nullptr) Trace("IDirectDrawSurface2_SetPalette", d.primary->SetPalette(d.palette));
  }
  return 1;
}

int ddReleasePrimary() {
  DirectDrawState& d = directDraw;
  ReleaseHandle(d.clipper);
  ReleaseHandle(d.ScreenTemplate);
  ReleaseHandle(d.primary);
  return 1;
}

int ddRestoreMode(HWND window) {
  if (directDraw.device == nullptr) return 0;
  Trace("IDirectDraw2_RestoreDisplayMode", directDraw.device->RestoreDisplayMode());
  Trace("IDirectDraw2_SetCooperativeLevel",
        directDraw.device->SetCooperativeLevel(window, DDSCL_NORMAL));
  return 1;
}

int ddShutdown(HWND window) {
  DirectDrawState& d = directDraw;
  ReleaseHandle(d.palette);
  ddReleasePrimary();
  ddRestoreMode(window);
  ReleaseHandle(d.device);
  return 1;
}

int CreateWorkSurfaces() {
  DirectDrawState& d = directDraw;
  srand(displayEngine.random, GetTickCount());
  displayEngine.clock = &tickClock;
  displayEngine.font = &ProgramFont();
  if (d.device == nullptr || d.ScreenTemplate == nullptr) return 1;

  DDSURFACEDESC desc = EmptyDesc();
  desc.dwFlags = DDSD_PIXELFORMAT;
  desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  d.ScreenTemplate->GetSurfaceDesc(&desc);
  desc.dwWidth = kWorkWidth;
  desc.dwHeight = kWorkHeight;
  desc.dwFlags = kOffscreenFlags;
  desc.ddsCaps.dwCaps = kOffscreenCaps;

  for (DirectDrawWorkSurface* s : {&d.ZoomBuffer, &d.TrailBuffer, &d.ShowBuffer}) {
    s->Adopt(CreateSurface2(desc));
    s->UsePaletteObject(d.palette);
  }
  if (displayEngine.display.format.bitsPerPixel == 8 && d.palette != nullptr) {
    for (DirectDrawWorkSurface* s : {&d.ZoomBuffer, &d.TrailBuffer, &d.ShowBuffer}) {
      if (s->Exists()) Trace("IDirectDrawSurface2_SetPalette", s->SetPalette(nullptr));
    }
  }
  // The effect draws only through surfaces that exist.
  displayEngine.surfaces = WorkSurfaces{};
  if (WorkSurfacesExist()) {
    displayEngine.surfaces = WorkSurfaces{&d.ZoomBuffer, &d.TrailBuffer, &d.ShowBuffer};
  }
  return 1;
}

int ReleaseWorkSurfaces() {
  DirectDrawState& d = directDraw;
  displayEngine.surfaces = WorkSurfaces{};
  d.ZoomBuffer.Release();
  d.TrailBuffer.Release();
  d.ShowBuffer.Release();
  return 1;
}

int PresentFullScreen(HWND window, uint32_t settings) {
  DirectDrawState& d = directDraw;
  if (!d.fullScreenRectSet) {
    d.FullScreenRect = RECT{0, 0, static_cast<LONG>(displayEngine.display.format.screenWidth),
                            static_cast<LONG>(displayEngine.display.format.screenHeight)};
    d.fullScreenRectSet = true;
  }
  FrameStep(window, settings);
  RestoreLostSurfaces(PresentShowBuffer(d.FullScreenRect));
  return 1;
}

int PresentPreview(HWND window, uint32_t settings) {
  DirectDrawState& d = directDraw;
  FrameStep(window, settings);
  if (!GetWindowRect(window, &d.previewRect)) return 1;
  RestoreLostSurfaces(PresentShowBuffer(d.previewRect));
  return 1;
}

}  // namespace lumenfall

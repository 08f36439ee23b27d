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

void CreateWorkSurfacesOnly();

bool WorkSurfacesExist() {
  return directDraw.zoomBuffer.Exists() && directDraw.trailBuffer.Exists() &&
         directDraw.showBuffer.Exists();
}

// The frame step, run only when every work surface exists.
void FrameStep(uint32_t settings) {
  if (WorkSurfacesExist()) RunFrameStep(displayEngine, settings);
}

// A display mode change by another program takes the memory of the surfaces away.
// Rather than stay frozen until teardown, the lost surfaces get their memory back;
// the work surfaces start again from black and the next tick draws as usual.
void RestoreLostSurfaces(HRESULT presentResult) {
  DirectDrawState& d = directDraw;
  bool lost = presentResult == DDERR_SURFACELOST;
  for (DirectDrawWorkSurface* s : {&d.zoomBuffer, &d.trailBuffer, &d.showBuffer}) {
    if (s->SawSurfaceLost()) lost = true;
  }
  if (!lost) return;
  // DDERR_WRONGMODE: the display mode changed under the surfaces; only a rebuild helps.
  // Any other refusal (another program holds the display) is tried again next tick.
  if (d.primary != nullptr && d.primary->IsLost() == DDERR_SURFACELOST &&
      d.primary->Restore() == DDERR_WRONGMODE)
    d.rebuildPending = true;
  if (d.screenTemplate != nullptr && d.screenTemplate->IsLost() == DDERR_SURFACELOST &&
      d.screenTemplate->Restore() == DDERR_WRONGMODE)
    d.rebuildPending = true;
  for (DirectDrawWorkSurface* s : {&d.zoomBuffer, &d.trailBuffer, &d.showBuffer}) {
    s->ForgetSurfaceLost();
    if (s->Surface() != nullptr && s->Surface()->IsLost() == DDERR_SURFACELOST) {
      if (s->Restore() == static_cast<int32_t>(DDERR_WRONGMODE)) {
        d.rebuildPending = true;
        continue;
      }
      ClearSurface(s);
    }
  }
  d.restoreCount += 1;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// The part of the virtual screen that the primary surface reaches: the primary
// monitor, from the screen's origin.
RECT PrimaryRect() {
  const DisplayFormat& format = displayEngine.display.format;
  return RECT{0, 0, static_cast<LONG>(format.screenWidth), static_cast<LONG>(format.screenHeight)};
}

// ShowBuffer copied row by row into a DIB of the display's depth (400 x 300 rows are
// 4-byte aligned at every depth) and stretched by GDI onto the monitors that the
// primary surface does not reach. False when there is nothing to draw from. At 8 bits
// the colour table indexes the GDI grey palette, whose reserved entries name the
// system's own colours as the DirectDraw palette's do; without that palette it holds
// the greys themselves (the effect writes only greys and the black of index 0).
struct DibInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

bool CopyShowBuffer(DibInfo& info) {
  DirectDrawState& d = directDraw;
  const DisplayState& display = displayEngine.display;
  const uint32_t bytes = display.format.bytesPerPixel;
  if (!d.showBuffer.Exists() || bytes == 0 || bytes > 4) return false;
  SurfaceDesc desc;
  if (d.showBuffer.Describe(desc) != 0 || desc.pitch <= 0 ||  // DD_OK is 0
      static_cast<uint32_t>(desc.pitch) < kWorkWidth * bytes || desc.height < uint32_t{kWorkHeight})
    return false;
  const size_t row = size_t{kWorkWidth} * bytes;
  d.showCopy.resize(row * kWorkHeight);
  const uint8_t* pixels = LockSurface(&d.showBuffer);
  if (pixels == nullptr) return false;
  for (int y = 0; y < kWorkHeight; ++y)
    std::memcpy(d.showCopy.data() + row * size_t(y), pixels + size_t(desc.pitch) * size_t(y), row);
  UnlockSurface(&d.showBuffer);

  std::memset(&info, 0, sizeof info);
  info.header.biSize = sizeof info.header;
  info.header.biWidth = kWorkWidth;
  info.header.biHeight = -kWorkHeight;  // top-down, as the surface
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(bytes * 8);
  info.header.biCompression = BI_RGB;
  if (bytes == 1) {
    info.header.biClrUsed = 256;
    auto* indexes = reinterpret_cast<WORD*>(info.colours);
    for (int i = 0; i < 256; ++i) {
      const PaletteEntry& e = display.greyPalette.entry[i];
      if (d.gdiPalette != nullptr)
        indexes[i] = static_cast<WORD>(i);
      else if (e.peFlags != kPaletteExplicit)
        info.colours[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
    }
  } else if (bytes == 2) {
    info.header.biCompression = BI_BITFIELDS;
    auto* masks = reinterpret_cast<DWORD*>(info.colours);
    masks[0] = display.pixelInfo.redMask;
    masks[1] = display.pixelInfo.greenMask;
    masks[2] = display.pixelInfo.blueMask;
  }
  return true;
}

void PresentByGdi(HWND window, const RECT* targets, int count) {
  DibInfo info;
  if (count == 0 || !CopyShowBuffer(info)) return;
  RECT origin{};
  if (!GetWindowRect(window, &origin)) return;
  HDC dc = GetDC(window);
  if (dc == nullptr) return;
  // The grey palette is realised for the copy and the DC's own put back after it, so
  // that the palette is never left selected when the display releases it.
  HPALETTE previous = nullptr;
  const bool indexed = info.header.biBitCount == 8 && directDraw.gdiPalette != nullptr;
  if (indexed) {
    previous = SelectPalette(dc, directDraw.gdiPalette, FALSE);
    RealizePalette(dc);
  }
  for (int i = 0; i < count; ++i) {
    const RECT& r = targets[i];
    StretchDIBits(dc, r.left - origin.left, r.top - origin.top, r.right - r.left, r.bottom - r.top, 0,
                  0, kWorkWidth, kWorkHeight, directDraw.showCopy.data(),
                  reinterpret_cast<const BITMAPINFO*>(&info), indexed ? DIB_PAL_COLORS : DIB_RGB_COLORS,
                  SRCCOPY);
  }
  if (previous != nullptr) SelectPalette(dc, previous, FALSE);
  ReleaseDC(window, dc);
}

HRESULT PresentShowBuffer(const RECT& destination) {
  DirectDrawState& d = directDraw;
  if (d.primary == nullptr || !d.showBuffer.Exists()) return DD_OK;
  RECT dst = destination;
  RECT src = kShowRect;
  return d.primary->Blt(&dst, d.showBuffer.Surface(), &src, DDBLT_WAIT, nullptr);
}

}  // namespace

DirectDrawState& DirectDraw() { return directDraw; }
EffectEngine& DisplayEngine() { return displayEngine; }

// The grey palette as a GDI logical palette, entry for entry (the reserved entries
// explicit, the greys not collapsed), for the copies GDI makes at 8 bits.
HPALETTE CreateGdiGreyPalette(const GreyPalette& table) {
  struct {
    WORD version;
    WORD count;
    PALETTEENTRY entries[256];
  } logical;
  logical.version = 0x300;
  logical.count = 256;
  std::memcpy(logical.entries, table.entry, sizeof logical.entries);
  return CreatePalette(reinterpret_cast<const LOGPALETTE*>(&logical));
}

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
  d.screenTemplate = CreateSurface2(desc);
  if (d.screenTemplate == nullptr) return 1;  // no format to build work surfaces from

  DDSURFACEDESC templateDesc = EmptyDesc();
  Trace("IDirectDrawSurface2_GetSurfaceDesc", d.screenTemplate->GetSurfaceDesc(&templateDesc));
  templateDesc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  Trace("IDirectDrawSurface2_GetPixelFormat",
        d.primary->GetPixelFormat(&templateDesc.ddpfPixelFormat));

  // The format records: the screen size from screenTemplate, the depth and masks from
  // the primary; the palette table at 8 bits, the layout at 16, the ramp at every depth.
  const DDPIXELFORMAT& format = templateDesc.ddpfPixelFormat.dwRGBBitCount != 0
                                    ? templateDesc.ddpfPixelFormat
                                    : primaryFormat;
  SetupDisplayState(displayEngine.display, templateDesc.dwWidth, templateDesc.dwHeight,
                    format.dwRGBBitCount, format.dwRBitMask, format.dwGBitMask, format.dwBBitMask);
  if (displayEngine.display.format.bitsPerPixel == 8) {
    d.palette = ddCreateGreyPalette(d.device);
    if (d.palette != nullptr) Trace("IDirectDrawSurface2_SetPalette", d.primary->SetPalette(d.palette));
    if (d.gdiPalette == nullptr) d.gdiPalette = CreateGdiGreyPalette(displayEngine.display.greyPalette);
  }
  return 1;
}

int ddReleasePrimary() {
  DirectDrawState& d = directDraw;
  ReleaseHandle(d.clipper);
  ReleaseHandle(d.screenTemplate);
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
  if (d.gdiPalette != nullptr) {
    DeleteObject(d.gdiPalette);
    d.gdiPalette = nullptr;
  }
  ddReleasePrimary();
  ddRestoreMode(window);
  ReleaseHandle(d.device);
  return 1;
}

int CreateWorkSurfaces() {
  SeedRandom(displayEngine.random, GetTickCount());
  displayEngine.clock = &tickClock;
  displayEngine.font = &ProgramFont();
  CreateWorkSurfacesOnly();
  return 1;
}

namespace {

void CreateWorkSurfacesOnly() {
  DirectDrawState& d = directDraw;
  displayEngine.surfaces = WorkSurfaces{};
  if (d.device == nullptr || d.screenTemplate == nullptr) return;

  DDSURFACEDESC desc = EmptyDesc();
  desc.dwFlags = DDSD_PIXELFORMAT;
  desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  d.screenTemplate->GetSurfaceDesc(&desc);
  desc.dwWidth = kWorkWidth;
  desc.dwHeight = kWorkHeight;
  desc.dwFlags = kOffscreenFlags;
  desc.ddsCaps.dwCaps = kOffscreenCaps;

  for (DirectDrawWorkSurface* s : {&d.zoomBuffer, &d.trailBuffer, &d.showBuffer}) {
    s->Adopt(CreateSurface2(desc));
    s->UsePaletteObject(d.palette);
  }
  if (displayEngine.display.format.bitsPerPixel == 8 && d.palette != nullptr) {
    for (DirectDrawWorkSurface* s : {&d.zoomBuffer, &d.trailBuffer, &d.showBuffer}) {
      if (s->Exists()) Trace("IDirectDrawSurface2_SetPalette", s->SetPalette(nullptr));
    }
  }
  // The effect draws only through surfaces that exist.
  if (WorkSurfacesExist()) {
    displayEngine.surfaces = WorkSurfaces{&d.zoomBuffer, &d.trailBuffer, &d.showBuffer};
  }
}

}  // namespace

int ReleaseWorkSurfaces() {
  DirectDrawState& d = directDraw;
  displayEngine.surfaces = WorkSurfaces{};
  d.zoomBuffer.Release();
  d.trailBuffer.Release();
  d.showBuffer.Release();
  return 1;
}

int PresentFullScreen(HWND window, uint32_t settings) {
  DirectDrawState& d = directDraw;
  if (!d.fullScreenRectSet) {
    d.fullScreenRect = PrimaryRect();
    d.monitorCount = ListMonitors(d.monitors);
    d.fullScreenRectSet = true;
  }
  FrameStep(settings);
  // Each monitor that the primary surface reaches gets its own stretch blit; the others
  // are drawn by GDI into the window, which covers the whole virtual screen.
  HRESULT result = DD_OK;
  RECT byGdi[kMaxMonitors];
  int gdiCount = 0;
  for (int i = 0; i < d.monitorCount; ++i) {
    const RECT& m = d.monitors[i];
    if (m.right <= m.left || m.bottom <= m.top) continue;
    if (Inside(m, d.fullScreenRect)) {
      const HRESULT r = PresentShowBuffer(m);
      if (result == DD_OK) result = r;
    } else {
      byGdi[gdiCount++] = m;
    }
  }
  PresentByGdi(window, byGdi, gdiCount);
  RestoreLostSurfaces(result);
  return 1;
}

int ddRebuild(HWND window) {
  DirectDrawState& d = directDraw;
  ReleaseWorkSurfaces();
  ddShutdown(window);
  d.fullScreenRectSet = false;  // fullScreenRect and the monitors are read again
  d.rebuildCount += 1;
  d.lastRebuildTick = GetTickCount();
  ddCreate();
  ddSetNormalMode(window);
  CreateWorkSurfacesOnly();
  if (!WorkSurfacesExist()) {
    // Nothing half built is shown (a surviving ShowBuffer would freeze the last frame):
    // all of it goes, the window is black until the next attempt.
    ReleaseWorkSurfaces();
    ddShutdown(window);
    d.rebuildPending = true;
    InvalidateRect(window, nullptr, TRUE);
    return 0;
  }
  d.rebuildPending = false;
  for (DirectDrawWorkSurface* s : {&d.zoomBuffer, &d.trailBuffer, &d.showBuffer}) ClearSurface(s);
  return 1;
}

bool ddRebuildDue() {
  const DirectDrawState& d = directDraw;
  if (!d.rebuildPending) return false;
  return d.rebuildCount == 0 || GetTickCount() - d.lastRebuildTick >= kRebuildPauseMs;
}

int PresentPreview(HWND window, uint32_t settings) {
  DirectDrawState& d = directDraw;
  FrameStep(settings);
  if (!GetWindowRect(window, &d.previewRect)) return 1;
  // The parent may stand on any monitor: the primary surface draws the preview only
  // where it reaches the whole window, GDI anywhere else.
  if (Inside(d.previewRect, PrimaryRect())) {
    RestoreLostSurfaces(PresentShowBuffer(d.previewRect));
  } else {
    PresentByGdi(window, &d.previewRect, 1);
    RestoreLostSurfaces(DD_OK);
  }
  return 1;
}

}  // namespace lumenfall

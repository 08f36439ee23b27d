// The work-surface interface: the short list of operations the effect needs of a
// pixel surface. The in-memory implementation lives in memory_surface.h; the
// Windows front end implements it on DirectDraw surfaces.
#pragma once

#include <cstdint>

#include "display/pixel_format.h"
#include "display/types.h"

namespace lumenfall {

// Result codes, with the values DirectDraw gives them.
constexpr int32_t kSurfaceOk = 0;
constexpr int32_t kSurfaceWasStillDrawing = static_cast<int32_t>(0x8876021Cu);
constexpr int32_t kSurfaceLost = static_cast<int32_t>(0x887601C2u);
constexpr int32_t kSurfaceInvalidRect = static_cast<int32_t>(0x88760096u);
constexpr int32_t kSurfaceInvalidParams = static_cast<int32_t>(0x80070057u);
constexpr int32_t kSurfaceGeneric = static_cast<int32_t>(0x80004005u);

// What Describe reports: size, row pitch in bytes and the pixel format.
struct SurfaceDesc {
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t pitch = 0;
  uint32_t bitCount = 0;
  uint32_t redMask = 0;
  uint32_t greenMask = 0;
  uint32_t blueMask = 0;
};

class WorkSurface {
 public:
  virtual ~WorkSurface() = default;

  // Width, height, pitch and pixel format.
  virtual int32_t Describe(SurfaceDesc& desc) = 0;
  // Locks the whole surface; *pixels receives the address of pixel (0, 0), or null.
  virtual int32_t Lock(uint8_t** pixels) = 0;
  virtual int32_t Unlock() = 0;
  // Copies srcRect of source (all of it when null) onto dstRect of this surface (all of
  // it when null), each axis scaled independently; returns when the copy is accepted.
  virtual int32_t Blt(const Rect* dstRect, WorkSurface* source, const Rect* srcRect) = 0;
  // Attaches the palette (8 bits per pixel only).
  virtual int32_t SetPalette(const GreyPalette* palette) = 0;
  // Gives back the memory of a lost surface; its contents are then undefined.
  virtual int32_t Restore() { return kSurfaceOk; }
};

// True when desc describes memory that rows of width pixels can be addressed in.
bool SurfaceDescIsSound(const SurfaceDesc& desc);

// True when r lies inside a surface of the given size and is not empty.
bool RectFitsSurface(const Rect& r, uint32_t width, uint32_t height);

}  // namespace lumenfall

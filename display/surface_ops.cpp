#include "display/surface_ops.h"

#include <cstring>

#include "display/diagnostic.h"

namespace lumenfall {

bool SurfaceDescIsSound(const SurfaceDesc& desc) {
  if (desc.bitCount != 8 && desc.bitCount != 16 && desc.bitCount != 24 && desc.bitCount != 32)
    return false;
  if (desc.pitch < 0) return false;
  const uint64_t rowBytes = uint64_t{desc.width} * (desc.bitCount / 8);
  return uint64_t(desc.pitch) >= rowBytes;
}

bool RectFitsSurface(const Rect& r, uint32_t width, uint32_t height) {
  return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
         int64_t{r.right} <= int64_t{width} && int64_t{r.bottom} <= int64_t{height};
}

uint8_t* LockSurface(WorkSurface* surface) {
  if (surface == nullptr) return nullptr;
  uint8_t* pixels = nullptr;
  const int32_t result = surface->Lock(&pixels);
  if (result == kSurfaceOk) return pixels;
  if (result == kSurfaceWasStillDrawing) return nullptr;
  DiagnosticTrace("ddLockSurface", result);
  return nullptr;
}

int UnlockSurface(WorkSurface* surface) {
  if (surface == nullptr) return 0;
  const int32_t result = surface->Unlock();
  if (result == kSurfaceOk) return 1;
  DiagnosticTrace("ddUnlockSurface", result);
  return 0;
}

int ClearSurface(WorkSurface* surface) {
  if (surface == nullptr) return 0;
  SurfaceDesc desc;
  if (surface->Describe(desc) != kSurfaceOk || !SurfaceDescIsSound(desc)) return 1;
  uint8_t* base = LockSurface(surface);
  if (base == nullptr) return 1;  // a failed lock is never written through
  const size_t rowBytes = size_t{desc.width} * (desc.bitCount / 8);
  for (uint32_t y = 0; y < desc.height; ++y) {
    std::memset(base + size_t{y} * size_t(desc.pitch), 0, rowBytes);
  }
  UnlockSurface(surface);
  return 1;
}

}  // namespace lumenfall

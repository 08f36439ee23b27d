#include "display/memory_surface.h"

#include "display/stretch.h"
#include "display/surface_ops.h"

namespace lumenfall {

MemorySurface::MemorySurface(uint32_t width, uint32_t height, uint32_t bitCount, int32_t pitch,
                             uint32_t redMask, uint32_t greenMask, uint32_t blueMask) {
  desc_.width = width;
  desc_.height = height;
  desc_.bitCount = bitCount;
  desc_.redMask = redMask;
  desc_.greenMask = greenMask;
  desc_.blueMask = blueMask;
  const uint64_t rowBytes = uint64_t{width} * (bitCount / 8);
  desc_.pitch = pitch != 0 ? pitch : static_cast<int32_t>(rowBytes);
  if (SurfaceDescIsSound(desc_)) bytes_.assign(size_t(desc_.pitch) * height, 0);
}

int32_t MemorySurface::Describe(SurfaceDesc& desc) {
  desc = desc_;
  return kSurfaceOk;
}

int32_t MemorySurface::Lock(uint8_t** pixels) {
  if (pixels == nullptr) return kSurfaceInvalidParams;
  *pixels = nullptr;
  if (failLockCode_ != kSurfaceOk) return failLockCode_;
  if (bytes_.empty()) return kSurfaceGeneric;
  if (locked_) return kSurfaceGeneric;  // one lock at a time, as DirectDraw allows
  locked_ = true;
  ++lockCount_;
  *pixels = bytes_.data();
  return kSurfaceOk;
}

int32_t MemorySurface::Unlock() {
  if (!locked_) return kSurfaceGeneric;
  locked_ = false;
  return kSurfaceOk;
}

int32_t MemorySurface::Blt(const Rect* dstRect, WorkSurface* source, const Rect* srcRect) {
  if (source == nullptr || bytes_.empty() || locked_) return kSurfaceInvalidParams;
  SurfaceDesc srcDesc;
  if (source->Describe(srcDesc) != kSurfaceOk || !SurfaceDescIsSound(srcDesc))
    return kSurfaceInvalidParams;
  if (srcDesc.bitCount != desc_.bitCount) return kSurfaceInvalidParams;
  const Rect wholeDst{0, 0, static_cast<int32_t>(desc_.width), static_cast<int32_t>(desc_.height)};
  const Rect wholeSrc{0, 0, static_cast<int32_t>(srcDesc.width), static_cast<int32_t>(srcDesc.height)};
  const Rect& d = dstRect != nullptr ? *dstRect : wholeDst;
  const Rect& s = srcRect != nullptr ? *srcRect : wholeSrc;
  if (!RectFitsSurface(d, desc_.width, desc_.height) ||
      !RectFitsSurface(s, srcDesc.width, srcDesc.height))
    return kSurfaceInvalidRect;

  if (source == this) return kSurfaceInvalidParams;  // an overlapping self-copy is refused
  uint8_t* srcPixels = nullptr;
  const int32_t lockResult = source->Lock(&srcPixels);
  if (lockResult != kSurfaceOk || srcPixels == nullptr) return lockResult != kSurfaceOk ? lockResult : kSurfaceGeneric;
  const uint32_t bpp = desc_.bitCount / 8;
  const PixelBuffer dst{bytes_.data(), desc_.width, desc_.height, desc_.pitch, bpp};
  const PixelBuffer src{srcPixels, srcDesc.width, srcDesc.height, srcDesc.pitch, bpp};
  const bool copied = StretchCopy(dst, d, src, s);
  source->Unlock();
  return copied ? kSurfaceOk : kSurfaceInvalidParams;
}

int32_t MemorySurface::SetPalette(const GreyPalette* palette) {
  if (desc_.bitCount != 8) return kSurfaceInvalidParams;
  palette_ = palette;
  return kSurfaceOk;
}

}  // namespace lumenfall

#include "platform/win32/dd_work_surface.h"

#include <cstring>

namespace lumenfall {

// A 32-bit program's surface description is 108 bytes; in a 64-bit program its surface
// pointer widens it, and dwSize says which of the two DirectDraw is handed.
static_assert(sizeof(void*) != 4 || sizeof(DDSURFACEDESC) == 108, "the 108-byte surface description");
static_assert(sizeof(DDPIXELFORMAT) == 32, "the 32-byte pixel format");

namespace {

RECT ToRect(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

}  // namespace

void DirectDrawWorkSurface::Adopt(IDirectDrawSurface2* surface) {
  Release();
  surface_ = surface;
}

void DirectDrawWorkSurface::Release() {
  if (surface_ != nullptr) {
    surface_->Release();
    surface_ = nullptr;
  }
  lockedAddress_ = nullptr;
  sawLost_ = false;
}

int32_t DirectDrawWorkSurface::Describe(SurfaceDesc& desc) {
  desc = SurfaceDesc{};
  if (surface_ == nullptr) return kSurfaceInvalidParams;
  DDSURFACEDESC dd;
  std::memset(&dd, 0, sizeof dd);
  dd.dwSize = sizeof dd;
  dd.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  const HRESULT result = surface_->GetSurfaceDesc(&dd);
  if (result != DD_OK) return static_cast<int32_t>(result);
  desc.width = dd.dwWidth;
  desc.height = dd.dwHeight;
  desc.pitch = dd.lPitch;
  desc.bitCount = dd.ddpfPixelFormat.dwRGBBitCount;
  desc.redMask = dd.ddpfPixelFormat.dwRBitMask;
  desc.greenMask = dd.ddpfPixelFormat.dwGBitMask;
  desc.blueMask = dd.ddpfPixelFormat.dwBBitMask;
  return kSurfaceOk;
}

int32_t DirectDrawWorkSurface::Lock(uint8_t** pixels) {
  if (pixels != nullptr) *pixels = nullptr;
  if (surface_ == nullptr) return kSurfaceInvalidParams;
  // The whole surface, flags 0: the lock never waits for the blitter, and a surface
  // that is still being drawn answers DDERR_WASSTILLDRAWING with no address.
  DDSURFACEDESC dd;
  std::memset(&dd, 0, sizeof dd);
  dd.dwSize = sizeof dd;
  const HRESULT result = surface_->Lock(nullptr, &dd, 0, nullptr);
  Note(result);
  if (result == DD_OK) lockedAddress_ = dd.lpSurface;
  if (pixels != nullptr) *pixels = static_cast<uint8_t*>(dd.lpSurface);
  return static_cast<int32_t>(result);
}

int32_t DirectDrawWorkSurface::Unlock() {
  if (surface_ == nullptr) return kSurfaceInvalidParams;
  // The second-version interface names the lock by the address it handed out.
  const HRESULT result = surface_->Unlock(lockedAddress_);
  lockedAddress_ = nullptr;
  Note(result);
  return static_cast<int32_t>(result);
}

int32_t DirectDrawWorkSurface::Blt(const Rect* dstRect, WorkSurface* source, const Rect* srcRect) {
  // Every surface of this program is a DirectDraw one; any other kind is refused.
  auto* from = dynamic_cast<DirectDrawWorkSurface*>(source);
  if (surface_ == nullptr || from == nullptr || from->surface_ == nullptr)
    return kSurfaceInvalidParams;
  RECT dst{}, src{};
  if (dstRect != nullptr) dst = ToRect(*dstRect);
  if (srcRect != nullptr) src = ToRect(*srcRect);
  const HRESULT result = surface_->Blt(dstRect != nullptr ? &dst : nullptr, from->surface_,
                                       srcRect != nullptr ? &src : nullptr, DDBLT_WAIT, nullptr);
  Note(result);
  if (result == DDERR_SURFACELOST) from->sawLost_ = true;  // either side may be the lost one
  return static_cast<int32_t>(result);
}

int32_t DirectDrawWorkSurface::SetPalette(const GreyPalette* /*palette*/) {
  if (surface_ == nullptr || paletteObject_ == nullptr) return kSurfaceInvalidParams;
  return static_cast<int32_t>(surface_->SetPalette(paletteObject_));
}

int32_t DirectDrawWorkSurface::Restore() {
  if (surface_ == nullptr) return kSurfaceInvalidParams;
  lockedAddress_ = nullptr;
  sawLost_ = false;
  return static_cast<int32_t>(surface_->Restore());
}

}  // namespace lumenfall

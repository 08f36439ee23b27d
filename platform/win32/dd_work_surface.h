// A work surface on a DirectDraw off-screen surface (IDirectDrawSurface2).
#pragma once

#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "display/work_surface.h"

namespace lumenfall {

class DirectDrawWorkSurface final : public WorkSurface {
 public:
  DirectDrawWorkSurface() = default;
  DirectDrawWorkSurface(const DirectDrawWorkSurface&) = delete;
  DirectDrawWorkSurface& operator=(const DirectDrawWorkSurface&) = delete;
  ~DirectDrawWorkSurface() override { Release(); }

  // Takes over one reference to surface (null allowed); the previous one is released.
  void Adopt(IDirectDrawSurface2* surface);
  // Releases the surface, if any; the handle is null afterwards, so a second call
  // releases nothing.
  void Release();
  IDirectDrawSurface2* Surface() const { return surface_; }
  bool Exists() const { return surface_ != nullptr; }

  // The palette object that SetPalette attaches (8 bits per pixel only).
  void UsePaletteObject(IDirectDrawPalette* palette) { paletteObject_ = palette; }

  // Set when a lock or a blit on this surface reported DDERR_SURFACELOST.
  bool SawSurfaceLost() const { return sawLost_; }
  void ForgetSurfaceLost() { sawLost_ = false; }

  int32_t Describe(SurfaceDesc& desc) override;
  int32_t Lock(uint8_t** pixels) override;
  int32_t Unlock() override;
  int32_t Blt(const Rect* dstRect, WorkSurface* source, const Rect* srcRect) override;
  int32_t SetPalette(const GreyPalette* palette) override;
  int32_t Restore() override;

 private:
  void Note(HRESULT result) {
    if (result == DDERR_SURFACELOST) sawLost_ = true;
  }

  IDirectDrawSurface2* surface_ = nullptr;
  IDirectDrawPalette* paletteObject_ = nullptr;
  void* lockedAddress_ = nullptr;
  bool sawLost_ = false;
};

}  // namespace lumenfall

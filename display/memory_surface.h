// A work surface in plain memory: any size, depth 8, 16, 24 or 32, and a pitch that
// may be wider than a row. Contents start all zero.
#pragma once

#include <cstdint>
#include <vector>

#include "display/work_surface.h"

namespace lumenfall {

class MemorySurface final : public WorkSurface {
 public:
  // A pitch of 0 means rows packed tightly (width x bytes per pixel). A depth other
  // than 8, 16, 24 or 32, or a pitch narrower than a row, gives a surface that
  // describes itself but cannot be locked.
  MemorySurface(uint32_t width, uint32_t height, uint32_t bitCount, int32_t pitch = 0,
                uint32_t redMask = 0, uint32_t greenMask = 0, uint32_t blueMask = 0);

  int32_t Describe(SurfaceDesc& desc) override;
  int32_t Lock(uint8_t** pixels) override;
  int32_t Unlock() override;
  int32_t Blt(const Rect* dstRect, WorkSurface* source, const Rect* srcRect) override;
  int32_t SetPalette(const GreyPalette* palette) override;

  // Direct access for tests, writers of output files and presenters.
  uint8_t* Pixels() { return bytes_.empty() ? nullptr : bytes_.data(); }
  const uint8_t* Pixels() const { return bytes_.empty() ? nullptr : bytes_.data(); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t>& Bytes() { return bytes_; }
  const SurfaceDesc& Desc() const { return desc_; }
  uint8_t* PixelAt(uint32_t x, uint32_t y) {
    return bytes_.data() + size_t{y} * size_t(desc_.pitch) + size_t{x} * (desc_.bitCount / 8);
  }
  const GreyPalette* Palette() const { return palette_; }
  bool IsLocked() const { return locked_; }
  int LockCount() const { return lockCount_; }

  // Makes the next Lock calls fail with the given code (tests of failure paths).
  void FailLocks(int32_t code) { failLockCode_ = code; }

 private:
  SurfaceDesc desc_;
  std::vector<uint8_t> bytes_;
  const GreyPalette* palette_ = nullptr;
  bool locked_ = false;
  int lockCount_ = 0;
  int32_t failLockCode_ = kSurfaceOk;
};

}  // namespace lumenfall

#include "display/stretch.h"

#include <cstring>
#include <vector>

namespace lumenfall {

namespace {

bool BufferIsSound(const PixelBuffer& b) {
  if (b.pixels == nullptr) return false;
  if (b.bytesPerPixel < 1 || b.bytesPerPixel > 4) return false;
  return b.pitch >= 0 && uint64_t(b.pitch) >= uint64_t{b.width} * b.bytesPerPixel;
}

bool RectInside(const Rect& r, const PixelBuffer& b) {
  return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
         int64_t{r.right} <= int64_t{b.width} && int64_t{r.bottom} <= int64_t{b.height};
}

template <uint32_t Bpp>
void CopyRow(uint8_t* dst, const uint8_t* src, const uint32_t* columns, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    std::memcpy(dst + size_t{i} * Bpp, src + size_t{columns[i]} * Bpp, Bpp);
  }
}

using RowCopier = void (*)(uint8_t*, const uint8_t*, const uint32_t*, uint32_t);

RowCopier RowCopierFor(uint32_t bytesPerPixel) {
  switch (bytesPerPixel) {
    case 1: return CopyRow<1>;
    case 2: return CopyRow<2>;
    case 3: return CopyRow<3>;
    case 4: return CopyRow<4>;
    default: return nullptr;
  }
}

}  // namespace

bool StretchCopy(const PixelBuffer& dst, const Rect& dstRect, const PixelBuffer& src,
                 const Rect& srcRect) {
  if (!BufferIsSound(dst) || !BufferIsSound(src)) return false;
  if (dst.bytesPerPixel != src.bytesPerPixel) return false;
  if (!RectInside(dstRect, dst) || !RectInside(srcRect, src)) return false;
  const RowCopier copyRow = RowCopierFor(dst.bytesPerPixel);
  if (copyRow == nullptr) return false;

  const auto dw = static_cast<uint32_t>(dstRect.right - dstRect.left);
  const auto dh = static_cast<uint32_t>(dstRect.bottom - dstRect.top);
  const auto sw = static_cast<uint32_t>(srcRect.right - srcRect.left);
  const auto sh = static_cast<uint32_t>(srcRect.bottom - srcRect.top);

  // The sampled source column of every destination column, worked out once.
  std::vector<uint32_t> columns(dw);
  for (uint32_t i = 0; i < dw; ++i) columns[i] = StretchSample(i, sw, dw);

  const size_t bpp = dst.bytesPerPixel;
  const uint8_t* srcOrigin =
      src.pixels + size_t(srcRect.top) * size_t(src.pitch) + size_t(srcRect.left) * bpp;
  uint8_t* dstOrigin =
      dst.pixels + size_t(dstRect.top) * size_t(dst.pitch) + size_t(dstRect.left) * bpp;
  uint32_t previousRow = UINT32_MAX;
  uint8_t* previousDst = nullptr;
  for (uint32_t j = 0; j < dh; ++j) {
    const uint32_t row = StretchSample(j, sh, dh);
    uint8_t* out = dstOrigin + size_t{j} * size_t(dst.pitch);
    if (row == previousRow && src.pixels != dst.pixels) {
      std::memcpy(out, previousDst, size_t{dw} * bpp);  // a repeated row is copied whole
    } else {
      copyRow(out, srcOrigin + size_t{row} * size_t(src.pitch), columns.data(), dw);
    }
    previousRow = row;
    previousDst = out;
  }
  return true;
}

}  // namespace lumenfall

// Nearest-neighbour stretch between two pixel buffers of the same depth.
//
// For a source rectangle {sl, st, sr, sb} (SW = sr - sl, SH = sb - st) and a
// destination rectangle of DW x DH at (dl, dt), destination pixel (dl + i, dt + j)
// takes source pixel (sl + ((2i + 1) SW) / (2 DW), st + ((2j + 1) SH) / (2 DH)),
// integer division. A same-size copy is therefore exact.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/types.h"

namespace lumenfall {

struct PixelBuffer {
  uint8_t* pixels = nullptr;  // pixel (0, 0)
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t pitch = 0;  // bytes from one row to the next
  uint32_t bytesPerPixel = 0;
};

// The source column (or row) that destination offset i of dstLength samples.
inline uint32_t StretchSample(uint32_t i, uint32_t srcLength, uint32_t dstLength) {
  return static_cast<uint32_t>((uint64_t{2} * i + 1) * srcLength / (uint64_t{2} * dstLength));
}

// Copies srcRect of src onto dstRect of dst. Returns false, touching nothing, when the
// depths differ or either rectangle is empty or does not lie inside its buffer.
// The buffers may be the same only when the rectangles do not overlap.
//
// Chosen once per call: rows whose width does not change are copied whole, a
// destination row that samples the same source row as the one above it is a copy of
// that row, and the other rows are gathered through a column table kept on the stack
// (destinations up to 4096 pixels wide; wider ones take one allocation per call).
// When the table's runs of consecutive source columns average eight or more (a zoom),
// the rows are copied run by run in chunks of eight pixels.
bool StretchCopy(const PixelBuffer& dst, const Rect& dstRect, const PixelBuffer& src,
                 const Rect& srcRect);

// The plain implementation, one sampled pixel at a time: same contract and bytes.
// Kept as the yardstick of tests and benchmarks.
bool StretchCopyReference(const PixelBuffer& dst, const Rect& dstRect, const PixelBuffer& src,
                          const Rect& srcRect);

}  // namespace lumenfall

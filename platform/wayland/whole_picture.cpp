#include "platform/wayland/whole_picture.h"

#include <cstring>
#include <vector>

namespace lumenfall {

bool StretchWholePicture(VisualConverter& picture, uint8_t* pixels, uint32_t width, uint32_t height,
                         int32_t pitch) {
  if (!picture.ScaleDistinctRows(pixels, width, height, pitch)) return false;
  const std::vector<uint32_t>& rows = picture.RowsOfStrip();
  if (rows.size() != height) return false;
  // Strip row k lies in buffer row k, and every buffer row y shows strip row rows[y] <= y:
  // from the bottom up, no strip row is overwritten before its last copy is made.
  const size_t rowBytes = size_t{width} * picture.BytesPerPixel();
  for (uint32_t y = height; y-- > 0;) {
    if (rows[y] != y)
      std::memcpy(pixels + size_t(pitch) * y, pixels + size_t(pitch) * rows[y], rowBytes);
  }
  return true;
}

}  // namespace lumenfall

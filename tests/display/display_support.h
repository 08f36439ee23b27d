// Displays and surfaces for the tests of the core: the display records of a depth (at
// 16 bits, of a layout) and zeroed surfaces in a display's format.
#pragma once

#include <cstdint>

#include "display/memory_surface.h"
#include "display/pixel_format.h"

namespace lumenfall::test {

inline DisplayState MakeDisplay(uint32_t bits, uint32_t layout = kLayout565, uint32_t width = 400,
                                uint32_t height = 300) {
  DisplayState d;
  uint32_t r = 0, g = 0, b = 0;
  if (bits == 16) MasksForLayout(layout, r, g, b);
  SetupDisplayState(d, width, height, bits, r, g, b);
  return d;
}

// Rows of width pixels and extraPitch bytes more.
inline MemorySurface SurfaceFor(const DisplayState& d, uint32_t width = 400, uint32_t height = 300,
                                int32_t extraPitch = 0) {
  const int32_t pitch = static_cast<int32_t>(width * d.format.bytesPerPixel) + extraPitch;
  return MemorySurface(width, height, d.format.bitsPerPixel, pitch, d.pixelInfo.redMask,
                       d.pixelInfo.greenMask, d.pixelInfo.blueMask);
}

}  // namespace lumenfall::test

// Displays and surfaces for the tests of the core: the display records of a depth (at
// 16 bits, of a layout) and zeroed surfaces in a display's format.
#pragma once

#include <cstdint>
#include <vector>

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

// A 400 x 300 picture at 32 bits (blue, green, red, then the fourth byte) whose every
// pixel differs from every other.
inline std::vector<uint8_t> DistinctPixels(uint8_t fourth) {
  std::vector<uint8_t> pixels(400 * 300 * 4);
  for (uint32_t y = 0; y < 300; ++y)
    for (uint32_t x = 0; x < 400; ++x) {
      uint8_t* p = &pixels[(y * 400 + x) * 4];
      p[0] = uint8_t(x);
      p[1] = uint8_t(y);
      p[2] = uint8_t((x >> 8) | ((y >> 8) << 2) | 0x40);
      p[3] = fourth;
    }
  return pixels;
}

}  // namespace lumenfall::test

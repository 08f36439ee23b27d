// Surfaces of arbitrary size, depth, layout and pitch for the fuzz targets.
#pragma once

#include <memory>

#include "display/memory_surface.h"
#include "display/pixel_format.h"
#include "fuzz_input.h"

namespace lumenfall::fuzz {

// A display of one of the four depths (or an unsupported one), at 16 bits with one of
// the recognised layouts or arbitrary masks.
inline DisplayState MakeDisplay(FuzzInput& in) {
  static constexpr uint32_t kDepths[] = {8, 16, 24, 32, 16, 32, 15, 0};
  const uint32_t bits = kDepths[in.Byte() % 8];
  uint32_t r = 0, g = 0, b = 0;
  if (bits == 16 || bits == 15) {
    static constexpr uint32_t kLayouts[] = {565, 555, 556, 655};
    const uint8_t choice = in.Byte();
    if (choice < 200) {
      MasksForLayout(kLayouts[choice % 4], r, g, b);
    } else {
      r = in.U16();
      g = in.U16();
      b = in.U16();
    }
  }
  DisplayState d;
  SetupDisplayState(d, 400, 300, bits, r, g, b);
  return d;
}

// A surface of the display's depth (or sometimes another), small, with extra pitch,
// filled from the input.
inline std::unique_ptr<MemorySurface> MakeSurface(FuzzInput& in, const DisplayState& d,
                                                  uint32_t maxSide = 48) {
  const uint32_t w = in.Range(0, maxSide), h = in.Range(0, maxSide);
  uint32_t bits = d.format.bitsPerPixel;
  if (in.Byte() >= 240) bits = 8u * in.Range(0, 4);
  const uint32_t extra = in.Range(0, 7);
  const int32_t pitch = in.Byte() >= 250 ? static_cast<int32_t>(in.Range(0, 64)) - 8
                                          : static_cast<int32_t>(w * (bits / 8) + extra);
  auto s = std::make_unique<MemorySurface>(w, h, bits, pitch, d.pixelInfo.redMask,
                                           d.pixelInfo.greenMask, d.pixelInfo.blueMask);
  for (uint8_t& byte : s->Bytes()) byte = in.Byte();
  return s;
}

}  // namespace lumenfall::fuzz

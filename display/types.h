// Small value types shared by the portable core.
#pragma once

#include <cstdint>

namespace lumenfall {

// 32-bit colour word: alpha in bits 24-31, then red, green, blue.
using ArgbColour = uint32_t;

// A rectangle {left, top, right, bottom} in pixels; right and bottom are exclusive.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  friend bool operator==(const Rect&, const Rect&) = default;
};

// One palette record, laid out as the system's PALETTEENTRY.
struct PaletteEntry {
  uint8_t peRed = 0;
  uint8_t peGreen = 0;
  uint8_t peBlue = 0;
  uint8_t peFlags = 0;

  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

}  // namespace lumenfall

// Helpers for the font tests: small synthetic fonts in the stored cell format, and
// surfaces with their display records.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "display/memory_surface.h"
#include "display/pixel_format.h"
#include "effect/bitmap_font.h"
#include "tests/display/display_support.h"

namespace lumenfall::test {

// A font whose bytes live in a heap block of exactly their length, so that a read past
// the end is a heap overflow under the address sanitizer.
class OwnedFont {
 public:
  explicit OwnedFont(const std::vector<uint8_t>& bytes)
      : size_(bytes.size()), bytes_(new uint8_t[bytes.empty() ? 1 : bytes.size()]) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes_[i] = bytes[i];
  }
  const BitmapFont* get() {
    font_ = BitmapFont{bytes_.get(), size_};
    return &font_;
  }

 private:
  size_t size_;
  std::unique_ptr<uint8_t[]> bytes_;
  BitmapFont font_;
};

using WidthOf = std::function<int(int c)>;
using CoverageOf = std::function<uint8_t(int c, int row, int column)>;

// 94 cells of cellWidth x cellHeight: glyph c has width widthOf(c) (1 .. cellWidth - 2)
// and coverage coverageOf(c, row, column) in its rows 0 .. cellHeight - 2.
inline std::vector<uint8_t> BuildFont(int cellWidth, int cellHeight, const WidthOf& widthOf,
                                      const CoverageOf& coverageOf) {
  std::vector<uint8_t> bytes;
  for (int c = 33; c <= 126; ++c) {
    const int w = widthOf(c);
    for (int r = 0; r < cellHeight - 1; ++r) {
      for (int i = 0; i < cellWidth; ++i) {
        if (i < w) bytes.push_back(coverageOf(c, r, i));
        else if (i == w) bytes.push_back(0xFF);
        else bytes.push_back(0);
      }
    }
    for (int i = 0; i < cellWidth; ++i) bytes.push_back(0xFF);
  }
  return bytes;
}

// Every glyph a solid block of coverage 254, width w.
inline std::vector<uint8_t> SolidFont(int cellWidth, int cellHeight, int w) {
  return BuildFont(cellWidth, cellHeight, [w](int) { return w; },
                   [](int, int, int) { return uint8_t{254}; });
}

// A surface and the display records of its depth.
struct Canvas {
  DisplayState display;
  MemorySurface surface;

  Canvas(uint32_t width, uint32_t height, uint32_t bits, uint32_t layout = kLayout565)
      : display(MakeDisplay(bits, layout, width, height)), surface(SurfaceFor(display, width, height)) {}

  // Channel 0 (blue byte) of a 24/32-bit pixel: 0 where nothing was drawn on black.
  uint8_t Blue(int x, int y) { return surface.PixelAt(uint32_t(x), uint32_t(y))[0]; }
  bool Inked(int x, int y) { return Blue(x, y) != 0; }

  int Draw(const char* text, TextBox box, const BitmapFont* font, int flags,
           ArgbColour colour = 0xFFFFFFFF) {
    return DrawBitmapText(display, text, &surface, &box, font, colour, flags);
  }
};

// The blue byte that white text at full alpha leaves on black for coverage v.
inline uint8_t WhiteOnBlack(uint8_t v) {
  const uint32_t a = (uint32_t{v} * 255) >> 8;
  return static_cast<uint8_t>((255 * a) >> 8);
}

}  // namespace lumenfall::test

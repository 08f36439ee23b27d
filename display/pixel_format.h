// Display pixel formats, the grey ramp and palette, and the four pixel writers.
//
// Once a surface is locked, everything here works on plain memory: a pixel
// address, the colour word and the format records in a DisplayState.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/types.h"

namespace lumenfall {

struct DisplayFormat {
  uint32_t screenWidth = 0;
  uint32_t screenHeight = 0;
  uint32_t bitsPerPixel = 0;
  uint32_t bytesPerPixel = 0;
};

// Filled only at 16 bits per pixel; all zero at the other depths.
struct PixelFormatInfo {
  uint32_t redShift = 0, greenShift = 0, blueShift = 0;
  uint32_t redBits = 0, greenBits = 0, blueBits = 0;
  uint32_t redMax = 0, greenMax = 0, blueMax = 0;
  uint32_t redDownshift = 0, greenDownshift = 0, blueDownshift = 0;
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
};

// Intensity 0-255 -> the pixel value that shows that grey on the display.
struct GreyRamp {
  uint32_t entry[256] = {};
};

// The 8-bit palette: 20 reserved entries and 236 greys.
struct GreyPalette {
  PaletteEntry entry[256] = {};
};

constexpr uint8_t kPaletteExplicit = 2;    // PC_EXPLICIT
constexpr uint8_t kPaletteNoCollapse = 4;  // PC_NOCOLLAPSE

// The 16-bit layout codes that AnalyzePixelFormat recognises.
constexpr uint32_t kLayout565 = 565;
constexpr uint32_t kLayout556 = 556;
constexpr uint32_t kLayout555 = 555;
constexpr uint32_t kLayout655 = 655;

// Every record that a pixel write or read consults. One per display.
struct DisplayState {
  DisplayFormat format;
  PixelFormatInfo pixelInfo;
  GreyRamp greyRamp;
  GreyPalette greyPalette;
};

// Fills info from the three channel masks and returns the layout code
// (565, 556, 555, 655) or 0 for any other layout.
uint32_t AnalyzePixelFormat(PixelFormatInfo& info, uint32_t redMask, uint32_t greenMask,
                              uint32_t blueMask);

// Fills the ramp from the depth in format and, at 16 bits, from info.
void BuildGreyRamp(GreyRamp& ramp, const DisplayFormat& format, const PixelFormatInfo& info);

// Fills the 256 palette records (the table that the 8-bit palette object carries).
void BuildGreyPaletteTable(GreyPalette& palette);

// The portable half of the display setup: fills the format records for a display of
// the given size and depth (masks are used at 16 bits only), builds the palette table
// at 8 bits, analyses the layout at 16 bits and builds the ramp at every depth.
// Returns the 16-bit layout code (0 at other depths).
uint32_t SetupDisplayState(DisplayState& display, uint32_t screenWidth, uint32_t screenHeight,
                           uint32_t bitsPerPixel, uint32_t redMask, uint32_t greenMask,
                           uint32_t blueMask);

// The masks of the four recognised 16-bit layouts; false for any other code.
bool MasksForLayout(uint32_t layout, uint32_t& redMask, uint32_t& greenMask, uint32_t& blueMask);

// Pixel writers: alpha 0 leaves the pixel, 255 replaces it, 1-254 blends.
void BlendPixel8(const DisplayState& display, uint8_t* pixel, ArgbColour colour);
void BlendPixel16(const DisplayState& display, uint8_t* pixel, ArgbColour colour);
void BlendPixel24(const DisplayState& display, uint8_t* pixel, ArgbColour colour);
void BlendPixel32(const DisplayState& display, uint8_t* pixel, ArgbColour colour);

using PixelWriter = void (*)(const DisplayState&, uint8_t*, ArgbColour);

// The writer for the display depth, or null at a depth without one.
PixelWriter PixelWriterForDepth(uint32_t bitsPerPixel);

// Converts one pixel of the display format to 8-bit red, green, blue, as the screen shows it:
// 8 bits through the grey palette, 16 bits by widening each field (its missing low bits zero).
void PixelToRgb(const DisplayState& display, const uint8_t* pixel, uint8_t rgb[3]);

}  // namespace lumenfall

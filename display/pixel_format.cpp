#include "display/pixel_format.h"

namespace lumenfall {

namespace {

// The smallest shift at which the mask becomes 0x1F or 0x3F. A mask that never
// does (zero, too narrow, not contiguous) stops after 32 positions: found = false.
uint32_t FindShift(uint32_t mask, bool& found) {
  for (uint32_t s = 0; s < 32; ++s) {
    uint32_t v = mask >> s;
    if (v == 0x1F || v == 0x3F) {
      found = true;
      return s;
    }
    if (v == 0) break;
  }
  found = false;
  return 0;
}

inline uint16_t Load16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline void Store16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline uint32_t Pack16(const PixelFormatInfo& f, uint32_t r, uint32_t g, uint32_t b) {
  return (((r << 16) >> f.redDownshift) & f.redMask) +
         (((g << 8) >> f.greenDownshift) & f.greenMask) + ((b >> f.blueDownshift) & f.blueMask);
}

inline uint8_t RampByte(const DisplayState& d, uint32_t level) {
  if (level > 255) level = 255;
  return static_cast<uint8_t>(d.greyRamp.entry[level]);
}

}  // namespace

uint32_t AnalyzePixelFormat(PixelFormatInfo& info, uint32_t redMask, uint32_t greenMask,
                              uint32_t blueMask) {
  info = PixelFormatInfo{};
  info.redMask = redMask;
  info.greenMask = greenMask;
  info.blueMask = blueMask;

  bool redFound = false, greenFound = false, blueFound = false;
  info.redShift = FindShift(redMask, redFound);
  info.greenShift = FindShift(greenMask, greenFound);
  info.blueShift = FindShift(blueMask, blueFound);
  if (!redFound || !greenFound || !blueFound) {
    info.redShift = info.greenShift = info.blueShift = 0;
    return 0;
  }
  info.redMax = redMask >> info.redShift;
  info.greenMax = greenMask >> info.greenShift;
  info.blueMax = blueMask >> info.blueShift;

  struct Layout {
    uint32_t code, rBits, gBits, bBits, rDown, gDown, bDown;
  };
  const Layout* layout = nullptr;
  static constexpr Layout k565{kLayout565, 5, 6, 5, 8, 5, 3};
  static constexpr Layout k556{kLayout556, 5, 5, 6, 8, 5, 2};
  static constexpr Layout k555{kLayout555, 5, 5, 5, 9, 6, 3};
  static constexpr Layout k655{kLayout655, 6, 5, 5, 8, 6, 3};
  if (info.redShift == 11 && info.greenShift == 5 && info.blueShift == 0) {
    layout = &k565;
  } else if (info.redShift == 11 && info.greenShift == 6 && info.blueShift == 0) {
    layout = &k556;
  } else if (info.redShift == 10 && info.greenShift == 5 && info.blueShift == 0) {
    layout = info.redMax == 0x1F ? &k555 : &k655;
  }
  if (layout == nullptr) return 0;
  info.redBits = layout->rBits;
  info.greenBits = layout->gBits;
  info.blueBits = layout->bBits;
  info.redDownshift = layout->rDown;
  info.greenDownshift = layout->gDown;
  info.blueDownshift = layout->bDown;
  return layout->code;
}

void BuildGreyRamp(GreyRamp& ramp, const DisplayFormat& format, const PixelFormatInfo& info) {
  ramp = GreyRamp{};
  for (uint32_t i = 0; i < 256; ++i) {
    switch (format.bitsPerPixel) {
      case 8:
        ramp.entry[i] = 236 * i / 256 + 10;
        break;
      case 16:
        ramp.entry[i] = Pack16(info, i, i, i);
        break;
      case 24:
        ramp.entry[i] = i * 0x10101u;
        break;
      case 32:
        ramp.entry[i] = 0xFF000000u + i * 0x10101u;
        break;
      default:
        break;
    }
  }
}

void BuildGreyPaletteTable(GreyPalette& palette) {
  palette = GreyPalette{};
  for (uint32_t i = 0; i < 10; ++i) {
    palette.entry[i] = PaletteEntry{static_cast<uint8_t>(i), 0, 0, kPaletteExplicit};
    palette.entry[246 + i] = PaletteEntry{static_cast<uint8_t>(246 + i), 0, 0, kPaletteExplicit};
  }
  for (uint32_t k = 0; k < 236; ++k) {
    const auto g = static_cast<uint8_t>(256 * (k + 10) / 236 - 10);
    palette.entry[10 + k] = PaletteEntry{g, g, g, kPaletteNoCollapse};
  }
}

uint32_t SetupDisplayState(DisplayState& display, uint32_t screenWidth, uint32_t screenHeight,
                           uint32_t bitsPerPixel, uint32_t redMask, uint32_t greenMask,
                           uint32_t blueMask) {
  display = DisplayState{};
  display.format.screenWidth = screenWidth;
  display.format.screenHeight = screenHeight;
  display.format.bitsPerPixel = bitsPerPixel;
  display.format.bytesPerPixel = bitsPerPixel / 8;
  uint32_t code = 0;
  if (bitsPerPixel == 8) BuildGreyPaletteTable(display.greyPalette);
  if (bitsPerPixel == 16) code = AnalyzePixelFormat(display.pixelInfo, redMask, greenMask, blueMask);
  BuildGreyRamp(display.greyRamp, display.format, display.pixelInfo);
  return code;
}

bool MasksForLayout(uint32_t layout, uint32_t& redMask, uint32_t& greenMask, uint32_t& blueMask) {
  switch (layout) {
    case kLayout565: redMask = 0xF800; greenMask = 0x07E0; blueMask = 0x001F; return true;
    case kLayout555: redMask = 0x7C00; greenMask = 0x03E0; blueMask = 0x001F; return true;
    case kLayout556: redMask = 0xF800; greenMask = 0x07C0; blueMask = 0x003F; return true;
    case kLayout655: redMask = 0xFC00; greenMask = 0x03E0; blueMask = 0x001F; return true;
    default: return false;
  }
}

void BlendPixel8(const DisplayState& display, uint8_t* pixel, ArgbColour colour) {
  const uint32_t a = colour >> 24;
  if (a == 0) return;
  const uint32_t sNew = ((colour >> 16) & 0xFF) + ((colour >> 8) & 0xFF) + (colour & 0xFF);
  if (a == 255) {
    *pixel = RampByte(display, sNew * 255 / 765);
    return;
  }
  const PaletteEntry& e = display.greyPalette.entry[*pixel];
  const uint32_t sOld = uint32_t{e.peRed} + e.peGreen + e.peBlue;
  *pixel = RampByte(display, sOld * (255 - a) / 765 + sNew * a / 765);
}

void BlendPixel16(const DisplayState& display, uint8_t* pixel, ArgbColour colour) {
  const uint32_t a = colour >> 24;
  if (a == 0) return;
  const PixelFormatInfo& f = display.pixelInfo;
  const uint32_t r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
  if (a == 255) {
    Store16(pixel, Pack16(f, r, g, b));
    return;
  }
  const uint32_t old = Load16(pixel);
  const uint32_t oldR = (((old & f.redMask) << f.redDownshift) >> 16) & 0xFF;
  const uint32_t oldG = (((old & f.greenMask) << f.greenDownshift) >> 8) & 0xFF;
  const uint32_t oldB = ((old & f.blueMask) << f.blueDownshift) & 0xFF;
  const uint32_t n = 256 - a;
  const uint32_t newR = ((oldR * n + r * a) >> 8) & 0xFF;
  const uint32_t newG = ((oldG * n + g * a) >> 8) & 0xFF;
  const uint32_t newB = ((oldB * n >> 8) + (b * a >> 8)) & 0xFF;
  Store16(pixel, Pack16(f, newR, newG, newB));
}

namespace {
inline void BlendBgr(uint8_t* pixel, ArgbColour colour) {
  const uint32_t a = colour >> 24;
  if (a == 255) {
    pixel[0] = static_cast<uint8_t>(colour);
    pixel[1] = static_cast<uint8_t>(colour >> 8);
    pixel[2] = static_cast<uint8_t>(colour >> 16);
    return;
  }
  const uint32_t n = 256 - a;
  pixel[0] = static_cast<uint8_t>((pixel[0] * n >> 8) + ((colour & 0xFF) * a >> 8));
  pixel[1] = static_cast<uint8_t>((pixel[1] * n >> 8) + (((colour >> 8) & 0xFF) * a >> 8));
  pixel[2] = static_cast<uint8_t>((pixel[2] * n >> 8) + (((colour >> 16) & 0xFF) * a >> 8));
}
}  // namespace

void BlendPixel24(const DisplayState& /*display*/, uint8_t* pixel, ArgbColour colour) {
  if ((colour >> 24) == 0) return;
  BlendBgr(pixel, colour);
}

void BlendPixel32(const DisplayState& /*display*/, uint8_t* pixel, ArgbColour colour) {
  if ((colour >> 24) == 0) return;
  BlendBgr(pixel, colour);
  pixel[3] = 0xFF;
}

PixelWriter PixelWriterForDepth(uint32_t bitsPerPixel) {
  switch (bitsPerPixel) {
    case 8: return BlendPixel8;
    case 16: return BlendPixel16;
    case 24: return BlendPixel24;
    case 32: return BlendPixel32;
    default: return nullptr;
  }
}

void PixelToRgb(const DisplayState& display, const uint8_t* pixel, uint8_t rgb[3]) {
  switch (display.format.bitsPerPixel) {
    case 8: {
      const PaletteEntry& e = display.greyPalette.entry[*pixel];
      rgb[0] = e.peRed;
      rgb[1] = e.peGreen;
      rgb[2] = e.peBlue;
      return;
    }
    case 16: {
      const PixelFormatInfo& f = display.pixelInfo;
      const uint32_t p = Load16(pixel);
      rgb[0] = static_cast<uint8_t>(((p & f.redMask) << f.redDownshift) >> 16);
      rgb[1] = static_cast<uint8_t>(((p & f.greenMask) << f.greenDownshift) >> 8);
      rgb[2] = static_cast<uint8_t>((p & f.blueMask) << f.blueDownshift);
      return;
    }
    case 24:
    case 32:
      rgb[0] = pixel[2];
      rgb[1] = pixel[1];
      rgb[2] = pixel[0];
      return;
    default:
      rgb[0] = rgb[1] = rgb[2] = 0;
      return;
  }
}

}  // namespace lumenfall

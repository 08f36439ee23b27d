// The feedback blur's passes and their dispatch, and the reference: the plain loops that
// make every write in order through the pixel writers.
#include "effect/blur/feedback_blur.h"

#include "display/surface_ops.h"
#include "effect/blur/fast_blur.h"
#include "settings/settings_word.h"

namespace lumenfall {

namespace {

inline uint32_t Load16(const uint8_t* p) { return uint32_t{p[0]} | (uint32_t{p[1]} << 8); }

// Decoding of one source pixel, chosen by depth at compile time.
template <uint32_t Bits>
inline void Read(const DisplayState& d, const uint8_t* p, uint32_t& r, uint32_t& g, uint32_t& b) {
  if constexpr (Bits == 8) {
    const PaletteEntry& e = d.greyPalette.entry[*p];
    r = uint32_t{e.peRed} << 16;
    g = uint32_t{e.peGreen} << 8;
    b = e.peBlue;
  } else if constexpr (Bits == 16) {
    const PixelFormatInfo& f = d.pixelInfo;
    const uint32_t v = Load16(p);
    r = ((v & f.redMask) << f.redDownshift) & 0xFF0000;
    g = ((v & f.greenMask) << f.greenDownshift) & 0xFF00;
    b = ((v & f.blueMask) << f.blueDownshift) & 0xFF;
  } else {
    b = p[0];
    g = uint32_t{p[1]} << 8;
    r = uint32_t{p[2]} << 16;
  }
}

template <uint32_t Bits>
inline void Write(const DisplayState& d, uint8_t* p, ArgbColour c) {
  if constexpr (Bits == 8) {
    BlendPixel8(d, p, c);
  } else if constexpr (Bits == 16) {
    BlendPixel16(d, p, c);
  } else if constexpr (Bits == 24) {
    BlendPixel24(d, p, c);
  } else {
    BlendPixel32(d, p, c);
  }
}

constexpr ArgbColour kOpaque = 0xFF000000;
constexpr ArgbColour kHalf = 0x7F000000;

struct LockedPair {
  uint8_t* src = nullptr;
  uint8_t* dst = nullptr;
  int32_t srcPitch = 0;
  int32_t dstPitch = 0;
  size_t srcSpan = 0;  // bytes of each surface from pixel (0, 0): pitch x height
  size_t dstSpan = 0;
};

// Describes and locks both surfaces for a pass over region. False, with nothing left
// locked, when the surfaces do not match the display depth, the region does not lie
// inside both, or a lock yields no memory.
bool LockForPass(const DisplayState& display, WorkSurface* source, WorkSurface* destination,
                 const Rect& region, LockedPair& out) {
  if (source == nullptr || destination == nullptr) return false;
  SurfaceDesc sd, dd;
  if (source->Describe(sd) != kSurfaceOk || destination->Describe(dd) != kSurfaceOk) return false;
  if (!SurfaceDescIsSound(sd) || !SurfaceDescIsSound(dd)) return false;
  const uint32_t bits = display.format.bitsPerPixel;
  if (sd.bitCount != bits || dd.bitCount != bits) return false;
  if (!RectFitsSurface(region, sd.width, sd.height) || !RectFitsSurface(region, dd.width, dd.height))
    return false;
  out.src = LockSurface(source);
  out.dst = LockSurface(destination);
  if (out.src == nullptr || out.dst == nullptr) {
    if (out.src != nullptr) UnlockSurface(source);
    if (out.dst != nullptr) UnlockSurface(destination);
    return false;
  }
  out.srcPitch = sd.pitch;
  out.dstPitch = dd.pitch;
  out.srcSpan = size_t(sd.pitch) * sd.height;
  out.dstSpan = size_t(dd.pitch) * dd.height;
  return true;
}

template <uint32_t Bits>
void FullPass(const DisplayState& d, const LockedPair& m, const Rect& region, ColourDecayRule rule) {
  constexpr size_t bpp = Bits / 8;
  const size_t dp = size_t(m.dstPitch);
  for (int32_t y = region.top + 1; y < region.bottom - 1; ++y) {
    const uint8_t* s = m.src + size_t(y) * size_t(m.srcPitch) + size_t(region.left + 1) * bpp;
    uint8_t* o = m.dst + size_t(y) * dp + size_t(region.left + 1) * bpp;
    for (int32_t x = region.left + 1; x < region.right - 1; ++x, s += bpp, o += bpp) {
      uint32_t r, g, b;
      Read<Bits>(d, s, r, g, b);
      if (r + g + b == 0) continue;
      rule(r, g, b);
      const ArgbColour colour = r + g + b;
      Write<Bits>(d, o, colour + kOpaque);
      Write<Bits>(d, o - bpp, colour + kHalf);
      Write<Bits>(d, o + bpp, colour + kHalf);
      Write<Bits>(d, o - dp, colour + kHalf);
      Write<Bits>(d, o + dp, colour + kHalf);
    }
  }
}

template <uint32_t Bits>
void RoughPass(const DisplayState& d, const LockedPair& m, const Rect& region, int32_t dx,
               int32_t dy, ColourDecayRule rule) {
  constexpr size_t bpp = Bits / 8;
  const size_t dp = size_t(m.dstPitch);
  for (int32_t r = region.top + 1; r < region.bottom - 3; r += 2) {
    const int32_t y = r - 1 + dy;
    for (int32_t c = region.left + 1; c < region.right - 3; c += 2) {
      const int32_t x = c - 1 + dx;
      const uint8_t* s = m.src + size_t(y) * size_t(m.srcPitch) + size_t(x) * bpp;
      uint32_t red, green, blue;
      Read<Bits>(d, s, red, green, blue);
      if (red + green + blue == 0) continue;
      rule(red, green, blue);
      const ArgbColour colour = red + green + blue;
      uint8_t* o = m.dst + size_t(y) * dp + size_t(x) * bpp;
      const ArgbColour opaque = colour + kOpaque;
      const ArgbColour half = colour + kHalf;
      Write<Bits>(d, o, opaque);                      // (x, y)
      Write<Bits>(d, o + bpp, opaque);                // (x + 1, y)
      Write<Bits>(d, o + dp + bpp, opaque);           // (x + 1, y + 1)
      Write<Bits>(d, o + dp, opaque);                 // (x, y + 1)
      Write<Bits>(d, o - bpp, half);                  // (x - 1, y)
      Write<Bits>(d, o + dp - bpp, half);             // (x - 1, y + 1)
      Write<Bits>(d, o - dp, half);                   // (x, y - 1)
      Write<Bits>(d, o - dp + bpp, half);             // (x + 1, y - 1)
      Write<Bits>(d, o + 2 * bpp, half);              // (x + 2, y)
      Write<Bits>(d, o + dp + 2 * bpp, half);         // (x + 2, y + 1)
      Write<Bits>(d, o + 2 * dp, half);               // (x, y + 2)
      Write<Bits>(d, o + 2 * dp + bpp, half);         // (x + 1, y + 2)
    }
  }
}

bool DepthHasWriter(uint32_t bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }

PassMemory MemoryOf(const LockedPair& m) {
  return PassMemory{m.src, m.srcPitch, m.srcSpan, m.dst, m.dstPitch, m.dstSpan};
}

void RunFullPass(const DisplayState& display, const LockedPair& m, const Rect& region,
                 ColourDecayRule rule) {
  switch (display.format.bitsPerPixel) {
    case 8: FullPass<8>(display, m, region, rule); break;
    case 16: FullPass<16>(display, m, region, rule); break;
    case 24: FullPass<24>(display, m, region, rule); break;
    default: FullPass<32>(display, m, region, rule); break;
  }
}

void RunRoughPass(const DisplayState& display, const LockedPair& m, const Rect& region, int32_t dx,
                  int32_t dy, ColourDecayRule rule) {
  switch (display.format.bitsPerPixel) {
    case 8: RoughPass<8>(display, m, region, dx, dy, rule); break;
    case 16: RoughPass<16>(display, m, region, dx, dy, rule); break;
    case 24: RoughPass<24>(display, m, region, dx, dy, rule); break;
    default: RoughPass<32>(display, m, region, dx, dy, rule); break;
  }
}

// Takes the phase's offset and advances the phase, as every rough pass does first.
void NextRoughOffset(BlurState& state, int32_t& dx, int32_t& dy) {
  static constexpr int32_t kOffsetX[4] = {1, 2, 2, 1};
  static constexpr int32_t kOffsetY[4] = {1, 2, 1, 2};
  const uint8_t phase = state.BlurPhase & 3;
  state.BlurPhase = static_cast<uint8_t>((phase + 1) & 3);
  dx = kOffsetX[phase];
  dy = kOffsetY[phase];
}

enum class Path { Fast, Reference };

int Full(Path path, const DisplayState& display, WorkSurface* source, WorkSurface* destination,
         const Rect& region, ColourDecayRule rule) {
  if (rule == nullptr || !DepthHasWriter(display.format.bitsPerPixel)) return 1;
  LockedPair m;
  if (!LockForPass(display, source, destination, region, m)) return 1;
  if (path == Path::Reference || !FastFeedbackPass(display, MemoryOf(m), region, rule))
    RunFullPass(display, m, region, rule);
  UnlockSurface(source);
  UnlockSurface(destination);
  return 1;
}

int Rough(Path path, const DisplayState& display, BlurState& state, WorkSurface* source,
          WorkSurface* destination, const Rect& region, ColourDecayRule rule) {
  int32_t dx = 0, dy = 0;
  NextRoughOffset(state, dx, dy);
  if (rule == nullptr || !DepthHasWriter(display.format.bitsPerPixel)) return 1;
  LockedPair m;
  if (!LockForPass(display, source, destination, region, m)) return 1;
  if (path == Path::Reference || !FastRoughPass(display, MemoryOf(m), region, dx, dy, rule))
    RunRoughPass(display, m, region, dx, dy, rule);
  UnlockSurface(source);
  UnlockSurface(destination);
  return 1;
}

}  // namespace

void ReadChannels(const DisplayState& display, const uint8_t* pixel, uint32_t& red,
                  uint32_t& green, uint32_t& blue) {
  red = green = blue = 0;
  switch (display.format.bitsPerPixel) {
    case 8: Read<8>(display, pixel, red, green, blue); break;
    case 16: Read<16>(display, pixel, red, green, blue); break;
    case 24: Read<24>(display, pixel, red, green, blue); break;
    case 32: Read<32>(display, pixel, red, green, blue); break;
    default: break;
  }
}

int BlurDispatch(const DisplayState& display, BlurState& state, WorkSurface* source,
                 WorkSurface* destination, const Rect& region, uint32_t settings) {
  const ColourDecayRule rule = RuleForSelector(settings & kSelectorMask);
  if (rule == nullptr) return 0;
  const bool reference = state.implementation == BlurImplementation::Reference;
  if ((settings & kLowQualityFlag) != 0) {
    return reference ? RoughFeedbackBlurReference(display, state, source, destination,
                                                  region, rule)
                     : RoughFeedbackBlur(display, state, source, destination, region, rule);
  }
  return reference
             ? FeedbackBlurReference(display, source, destination, region, rule)
             : FeedbackBlur(display, source, destination, region, rule);
}

int FeedbackBlur(const DisplayState& display, WorkSurface* source, WorkSurface* destination,
                 const Rect& region, ColourDecayRule rule) {
  return Full(Path::Fast, display, source, destination, region, rule);
}

int FeedbackBlurReference(const DisplayState& display, WorkSurface* source,
                          WorkSurface* destination, const Rect& region, ColourDecayRule rule) {
  return Full(Path::Reference, display, source, destination, region, rule);
}

int RoughFeedbackBlur(const DisplayState& display, BlurState& state, WorkSurface* source,
                      WorkSurface* destination, const Rect& region, ColourDecayRule rule) {
  return Rough(Path::Fast, display, state, source, destination, region, rule);
}

int RoughFeedbackBlurReference(const DisplayState& display, BlurState& state, WorkSurface* source,
                               WorkSurface* destination, const Rect& region, ColourDecayRule rule) {
  return Rough(Path::Reference, display, state, source, destination, region, rule);
}

}  // namespace lumenfall

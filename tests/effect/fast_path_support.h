// Helpers of the differential tests: display formats, pictures and comparisons.
#pragma once

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "display/memory_surface.h"
#include "display/pixel_format.h"
#include "effect/blur/fast_blur.h"
#include "effect/blur/feedback_blur.h"
#include "tests/display/display_support.h"

namespace lumenfall::fasttest {

struct Format {
  const char* name;
  uint32_t bits;
  uint32_t redMask, greenMask, blueMask;
  uint32_t expectedLayout;  // what the format analysis must find (0 at other depths)
};

// Every depth, every recognised 16-bit layout, two that are not recognised and one
// whose fields overlap.
inline const std::vector<Format>& AllFormats() {
  static const std::vector<Format> formats = {
      {"8 bits", 8, 0, 0, 0, 0},
      {"16 bits 565", 16, 0xF800, 0x07E0, 0x001F, kLayout565},
      {"16 bits 555", 16, 0x7C00, 0x03E0, 0x001F, kLayout555},
      {"16 bits 556", 16, 0xF800, 0x07C0, 0x003F, kLayout556},
      {"16 bits 655", 16, 0xFC00, 0x03E0, 0x001F, kLayout655},
      {"16 bits blue on top", 16, 0x001F, 0x07E0, 0xF800, 0},
      {"16 bits 444", 16, 0x0F00, 0x00F0, 0x000F, 0},
      // Found as 655, but green overlaps red: writes cannot be chained in lanes.
      {"16 bits 655 with overlapping fields", 16, 0xFC00, 0x07E0, 0x001F, kLayout655},
      {"24 bits", 24, 0, 0, 0, 0},
      {"32 bits", 32, 0, 0, 0, 0},
  };
  return formats;
}

inline DisplayState DisplayFor(const Format& f) {
  DisplayState d;
  SetupDisplayState(d, 400, 300, f.bits, f.redMask, f.greenMask, f.blueMask);
  return d;
}

using test::SurfaceFor;

enum class Picture {
  Random,      // every byte random, padding included
  AllLit,      // every pixel lit
  Holes,       // random, with about 40 % black pixels
  Sparse,      // black but for a few single lit pixels, some at the interior's edges
  Thresholds,  // channel levels around the decay step: 0, 1, 11, 12, 13, 24, 25, 254, 255
  Reserved8,   // 8 bits: only indices of the reserved palette ranges 0-9 and 246-255
};

inline const char* PictureName(Picture p) {
  switch (p) {
    case Picture::Random: return "random";
    case Picture::AllLit: return "all lit";
    case Picture::Holes: return "holes";
    case Picture::Sparse: return "sparse";
    case Picture::Thresholds: return "thresholds";
    case Picture::Reserved8: return "reserved indices";
  }
  return "?";
}

inline bool IsBlack(const DisplayState& d, const uint8_t* pixel) {
  uint32_t r, g, b;
  ReadChannels(d, pixel, r, g, b);
  return r + g + b == 0;
}

// Fills a whole surface (padding bytes too) with the picture.
inline void Paint(const DisplayState& d, MemorySurface& s, Picture picture, std::mt19937& random) {
  std::vector<uint8_t>& bytes = s.Bytes();
  const uint32_t bpp = d.format.bytesPerPixel;
  const uint32_t w = s.Desc().width, h = s.Desc().height;
  auto byte = [&] { return static_cast<uint8_t>(random() & 0xFF); };
  for (uint8_t& b : bytes) b = byte();
  auto putRgb = [&](uint32_t x, uint32_t y, uint32_t rgb) {
    PixelWriterForDepth(d.format.bitsPerPixel)(d, s.PixelAt(x, y), 0xFF000000u | rgb);
  };
  auto clear = [&](uint32_t x, uint32_t y) {
    uint8_t* p = s.PixelAt(x, y);
    for (uint32_t i = 0; i < bpp; ++i) p[i] = 0;
  };
  switch (picture) {
    case Picture::Random:
      break;
    case Picture::AllLit:
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
          while (IsBlack(d, s.PixelAt(x, y)))
            for (uint32_t i = 0; i < bpp; ++i) s.PixelAt(x, y)[i] = byte();
      break;
    case Picture::Holes:
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
          if (random() % 5 < 2) clear(x, y);
      break;
    case Picture::Sparse: {
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) clear(x, y);
      const uint32_t points[][2] = {{1, 1}, {w - 2, 1}, {1, h - 2}, {w - 2, h - 2}, {w / 2, h / 2},
                                    {0, h / 2}, {w / 2, 0}, {w - 1, h - 1}, {2, 3}, {w / 3, h - 3}};
      for (const auto& p : points)
        if (p[0] < w && p[1] < h) putRgb(p[0], p[1], (random() & 0xFFFFFF) | 0x808080);
      break;
    }
    case Picture::Thresholds: {
      static const uint8_t levels[] = {0, 1, 11, 12, 13, 24, 25, 254, 255};
      auto level = [&] { return uint32_t{levels[random() % 9]}; };
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) putRgb(x, y, (level() << 16) | (level() << 8) | level());
      break;
    }
    case Picture::Reserved8:
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
          const auto r = static_cast<uint32_t>(random() % 20);
          *s.PixelAt(x, y) = static_cast<uint8_t>(r < 10 ? r : 236 + r);
        }
      break;
  }
}

// The kernels a test compares with the reference: a vector level and, without vector
// instructions, the word of the Swar kernels (Swar64 and Swar32, whatever the build
// prefers, so that the 32-bit Windows build's kernels are checked here too).
struct KernelVariant {
  SimdLevel level;
  SwarWord word = SwarWord::Native;
};

inline std::string VariantName(const KernelVariant& v) {
  std::string name = std::string("kernels ") + SimdLevelName(v.level);
  if (v.word == SwarWord::Bits32) name += " (Swar32)";
  if (v.word == SwarWord::Bits64) name += " (Swar64)";
  return name;
}

// Every variant the processor runs; 8 bits has no kernels but the scalar ones.
inline std::vector<KernelVariant> VariantsToTry(uint32_t bits) {
  if (bits == 8) return {{SimdLevel::None}};
  std::vector<KernelVariant> variants{{SimdLevel::None, SwarWord::Bits64},
                                      {SimdLevel::None, SwarWord::Bits32}};
  for (SimdLevel level : {SimdLevel::Mmx, SimdLevel::Sse2, SimdLevel::Avx2})
    if (level <= DetectedSimdLevel()) variants.push_back({level});
  return variants;
}

// Runs the passes with a variant's kernels until the end of the scope.
class VariantCap {
 public:
  explicit VariantCap(const KernelVariant& v)
      : level_(SetSimdLimit(v.level)), word_(SetSwarWord(v.word)) {}
  ~VariantCap() {
    SetSimdLimit(level_);
    SetSwarWord(word_);
  }
  VariantCap(const VariantCap&) = delete;
  VariantCap& operator=(const VariantCap&) = delete;

 private:
  SimdLevel level_;
  SwarWord word_;
};

// The first differing byte, as text, or empty when the two are equal.
inline std::string FirstDifference(const MemorySurface& expected, const MemorySurface& actual) {
  const auto& a = expected.Bytes();
  const auto& b = actual.Bytes();
  if (a.size() != b.size()) return "sizes differ";
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) {
      const size_t pitch = size_t(expected.Desc().pitch);
      const size_t bpp = expected.Desc().bitCount / 8;
      std::ostringstream out;
      out << "byte " << i << " (row " << i / pitch << ", pixel " << (i % pitch) / bpp << ", byte "
          << (i % pitch) % bpp << "): reference " << int(a[i]) << ", fast " << int(b[i]);
      return out.str();
    }
  }
  return {};
}

}  // namespace lumenfall::fasttest

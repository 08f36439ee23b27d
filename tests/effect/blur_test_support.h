// Helpers shared by the blur tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "display/memory_surface.h"
#include "display/pixel_format.h"
#include "effect/blur/feedback_blur.h"
#include "tests/display/display_support.h"

namespace lumenfall::testing {

using test::MakeDisplay;

// A surface in the display's format with rows of pitch bytes (0: as wide as the pixels).
inline MemorySurface MakeSurface(const DisplayState& d, uint32_t w = 400, uint32_t h = 300,
                                 int32_t pitch = 0) {
  return MemorySurface(w, h, d.format.bitsPerPixel, pitch, d.pixelInfo.redMask,
                       d.pixelInfo.greenMask, d.pixelInfo.blueMask);
}

// Writes an opaque colour through the display's own writer.
inline void Put(const DisplayState& d, MemorySurface& s, uint32_t x, uint32_t y, uint32_t rgb) {
  PixelWriterForDepth(d.format.bitsPerPixel)(d, s.PixelAt(x, y), 0xFF000000u | rgb);
}

// The bytes of one pixel.
inline std::vector<uint8_t> At(MemorySurface& s, uint32_t x, uint32_t y) {
  const uint8_t* p = s.PixelAt(x, y);
  return std::vector<uint8_t>(p, p + s.Desc().bitCount / 8);
}

// A pixel built by a sequence of writes onto zero bytes.
inline std::vector<uint8_t> Compose(const DisplayState& d, std::initializer_list<uint32_t> writes) {
  uint8_t p[4] = {0, 0, 0, 0};
  for (uint32_t w : writes) PixelWriterForDepth(d.format.bitsPerPixel)(d, p, w);
  return std::vector<uint8_t>(p, p + d.format.bytesPerPixel);
}

// The colour that FadeToRed makes of one source pixel: what the blur paints for it.
inline uint32_t Decayed(const DisplayState& d, MemorySurface& src, uint32_t x, uint32_t y) {
  uint32_t r, g, b;
  ReadChannels(d, src.PixelAt(x, y), r, g, b);
  FadeToRed(r, g, b);
  return r + g + b;
}

// A work surface that logs its locks and unlocks into a shared journal.
class JournalSurface final : public WorkSurface {
 public:
  JournalSurface(MemorySurface& inner, std::string name, std::vector<std::string>& journal)
      : inner_(inner), name_(std::move(name)), journal_(journal) {}
  int32_t Describe(SurfaceDesc& desc) override { return inner_.Describe(desc); }
  int32_t Lock(uint8_t** pixels) override {
    journal_.push_back("lock " + name_);
    return inner_.Lock(pixels);
  }
  int32_t Unlock() override {
    journal_.push_back("unlock " + name_);
    return inner_.Unlock();
  }
  int32_t Blt(const Rect* d, WorkSurface* s, const Rect* r) override { return inner_.Blt(d, s, r); }
  int32_t SetPalette(const GreyPalette* p) override { return inner_.SetPalette(p); }

 private:
  MemorySurface& inner_;
  std::string name_;
  std::vector<std::string>& journal_;
};

}  // namespace lumenfall::testing

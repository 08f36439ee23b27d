// The stretch-blit between surfaces of arbitrary sizes, depths and pitches, with
// arbitrary rectangles.
#include <cstddef>
#include <cstdint>

#include "display/stretch.h"
#include "fuzz_input.h"
#include "fuzz_surfaces.h"

using namespace lumenfall;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  const DisplayState display = fuzz::MakeDisplay(in);
  auto source = fuzz::MakeSurface(in, display, 40);
  auto destination = fuzz::MakeSurface(in, display, 200);
  const uint32_t ss = source->Desc().width + 2, ds = destination->Desc().width + 2;
  const Rect srcRect{in.Coordinate(ss), in.Coordinate(ss), in.Coordinate(ss), in.Coordinate(ss)};
  const Rect dstRect{in.Coordinate(ds), in.Coordinate(ds), in.Coordinate(ds), in.Coordinate(ds)};
  const uint8_t use = in.Byte();
  const int32_t result = destination->Blt((use & 1) ? &dstRect : nullptr, source.get(),
                                          (use & 2) ? &srcRect : nullptr);
  if (source->IsLocked() || destination->IsLocked()) __builtin_trap();
  // A same-size whole copy must be exact.
  if (use == 0 && result == kSurfaceOk) {
    const SurfaceDesc& s = source->Desc();
    const SurfaceDesc& d = destination->Desc();
    if (s.width == d.width && s.height == d.height) {
      for (uint32_t y = 0; y < s.height; ++y)
        for (uint32_t x = 0; x < s.width * (s.bitCount / 8); ++x)
          if (source->Bytes()[y * uint32_t(s.pitch) + x] != destination->Bytes()[y * uint32_t(d.pitch) + x])
            __builtin_trap();
    }
  }
  return 0;
}

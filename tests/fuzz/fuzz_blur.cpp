// Both blurs on arbitrary surface sizes, depths, layouts, regions, pitches and pictures.
#include <cstddef>
#include <cstdint>

#include "effect/blur/feedback_blur.h"
#include "fuzz_input.h"
#include "fuzz_surfaces.h"

using namespace lumenfall;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  const DisplayState display = fuzz::MakeDisplay(in);
  auto source = fuzz::MakeSurface(in, display);
  auto destination = in.Byte() < 16 ? fuzz::MakeSurface(in, display, 64) : nullptr;
  if (destination == nullptr) {
    const SurfaceDesc& d = source->Desc();
    destination = std::make_unique<MemorySurface>(d.width, d.height, d.bitCount, d.pitch,
                                                  d.redMask, d.greenMask, d.blueMask);
  }
  const uint32_t side = source->Desc().width + 2;
  Rect region{in.Coordinate(side), in.Coordinate(side), in.Coordinate(side), in.Coordinate(side)};
  if (in.Byte() < 128) region = Rect{0, 0, int32_t(source->Desc().width), int32_t(source->Desc().height)};
  BlurState state;
  state.BlurPhase = in.Byte();
  const uint32_t passes = in.Range(1, 4);
  for (uint32_t i = 0; i < passes; ++i) {
    const uint32_t settings = in.U32();
    BlurDispatch(display, state, source.get(), destination.get(), region, settings);
    if (source->IsLocked() || destination->IsLocked()) __builtin_trap();  // every lock is undone
  }
  return 0;
}

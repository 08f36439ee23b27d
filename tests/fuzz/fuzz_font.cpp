// The text renderer on arbitrary font bytes of any length, arbitrary text, boxes,
// flags, colours, depths, layouts and pitches.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "effect/bitmap_font.h"
#include "fuzz_input.h"
#include "fuzz_surfaces.h"

using namespace lumenfall;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  const DisplayState display = fuzz::MakeDisplay(in);
  auto surface = fuzz::MakeSurface(in, display, 96);

  // The font: the program's own, the program's own cut short, or bytes of the input.
  std::vector<uint8_t> fontBytes;
  const uint8_t fontKind = in.Byte();
  const BitmapFont& program = ProgramFont();
  if (fontKind < 96) {
    fontBytes.assign(program.bytes, program.bytes + program.size);
  } else if (fontKind < 160) {
    const size_t cut = in.U32() % (program.size + 1);
    fontBytes.assign(program.bytes, program.bytes + cut);
  } else {
    fontBytes = in.Bytes(in.Range(0, 4096));
  }
  // An exact-size heap copy: any read past the end is caught.
  std::vector<uint8_t> exact(fontBytes);
  const BitmapFont font{exact.empty() ? nullptr : exact.data(), exact.size()};

  const uint32_t side = surface->Desc().width + 40;
  // Left and top may lie before the surface; any 32-bit value stays possible.
  auto shifted = [&in, side] {
    const int64_t v = int64_t{in.Coordinate(side)} - 20;
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  const int32_t left = shifted();
  const int32_t top = shifted();
  TextBox box{left, top, in.Coordinate(side), in.Coordinate(side)};
  const int flags = static_cast<int>(in.Byte()) | (in.Byte() >= 250 ? static_cast<int>(in.U32()) : 0);
  const ArgbColour colour = in.U32();
  std::vector<uint8_t> text = in.Rest();
  text.push_back(0);

  int cw = 0, ch = 0;
  ReadFontCell(&font, &cw, &ch);
  MeasureBitmapText(reinterpret_cast<const char*>(text.data()), &font);
  DrawBitmapText(display, reinterpret_cast<const char*>(text.data()), surface.get(), &box, &font,
                 colour, flags);
  if (surface->IsLocked()) __builtin_trap();
  return 0;
}

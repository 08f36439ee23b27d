// Closed-form versions of the two blur passes.
//
// Both passes make many overlapping writes per source pixel, and most of them are
// overwritten. A destination pixel only ever receives writes from its own source
// pixel (or block) and from its four edge neighbours, in the order upper, left, own,
// right, lower. When its own source is lit the own opaque write wipes out the upper
// and left ones, so the final value is the own colour mixed with the right and then
// the lower neighbour; when it is black the pixel's old value is mixed with upper,
// left, right and lower in turn. The fast passes decay every source pixel once into a
// row of cells and then compute every destination pixel from its own and its
// neighbours' cells, replaying only the writes that survive with the exact blend of
// the depth (the 8- and 16-bit blends round at every step, so the order matters).
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/pixel_format.h"
#include "display/types.h"
#include "effect/blur/colour_decay.h"
#include "effect/blur/simd_level.h"

namespace lumenfall {

// The locked memory of one pass: pixel (0, 0) of each surface, its pitch, and how
// many bytes from there belong to the surface (pitch x height).
struct PassMemory {
  const uint8_t* src = nullptr;
  int32_t srcPitch = 0;
  size_t srcSpan = 0;
  uint8_t* dst = nullptr;
  int32_t dstPitch = 0;
  size_t dstSpan = 0;
};

// The full pass over region (already checked to lie inside both surfaces). False,
// having touched nothing, when there is no closed form for the case (a rule that is
// not one of the six, a depth without a writer, overlapping surfaces); the caller then
// runs the plain loop.
bool FastFeedbackPass(const DisplayState& display, const PassMemory& memory, const Rect& region,
                      ColourDecayRule rule);

// The rough pass with the sampling offset (dx, dy) of the current phase. Same contract.
bool FastRoughPass(const DisplayState& display, const PassMemory& memory, const Rect& region,
                   int32_t dx, int32_t dy, ColourDecayRule rule);

// The vector level of the kernels the passes run for the display now: the active level,
// or the highest below it that has kernels for the display's format (kernel_table.cpp).
SimdLevel FastBlurLevel(const DisplayState& display);

// The word of the kernels without vector instructions at 16 (in lanes), 24 and 32 bits:
// the program's own (Swar32 in a 32-bit program, Swar64 in a 64-bit one), or for the
// tests either. Returns the previous choice.
enum class SwarWord : uint8_t { Native, Bits32, Bits64 };
SwarWord SetSwarWord(SwarWord word);

}  // namespace lumenfall

// The choice of a pass's kernels: the format classes, what a table entry holds, and the
// call that picks one (the table itself is kernel_table.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/pixel_format.h"
#include "effect/blur/colour_decay.h"
#include "effect/blur/kernels.h"
#include "effect/blur/simd_level.h"

namespace lumenfall::blurkernels {

// The pixel formats by the kernels they can have.
enum class FormatClass : uint8_t {
  Palette8,  // 8 bits: palette indices
  Fields16,  // 16 bits whose writes cannot be chained in lanes: one write at a time
  Lanes16,   // 16 bits whose writes chain in 8-bit lanes (fields of at most 7 bits)
  Planes16,  // the same with contiguous fields, which also go in 16-bit lanes
  Bgr24,
  Bgrx32,
};

// What a decoded row holds.
enum class RowLayout : uint8_t {
  Cells,       // cells, which the neighbours read too
  Halves,      // cells, and halves for the neighbours
  Remainders,  // cells, halves, and a row of remainders KernelContext::fractionOffset on
  Planes16,    // kPlanes16 planes of 2-byte entries (see planes16.h)
};

// The kernels of one format class at one level. A decoder is given as decode, or as
// decodeFor when one is made for each rule or table. prepare fills what the kernels read
// beyond the rule's steps (null: nothing).
struct KernelSet {
  void (*prepare)(const DisplayState& display, KernelContext& k) = nullptr;
  DecodeRowFn decode = nullptr;
  DecodeRowFn (*decodeFor)(const KernelContext& k) = nullptr;
  ComposeRowFn compose = nullptr;
  ComposeBlockRowFn composeBlocks = nullptr;
  RowLayout rows = RowLayout::Cells;
};

// A pass's kernels, ready to run, and the level of the table's row they came from.
struct PassKernels {
  DecodeRowFn decode = nullptr;
  ComposeRowFn compose = nullptr;
  ComposeBlockRowFn composeBlocks = nullptr;
  RowLayout rows = RowLayout::Cells;
  size_t bytesPerPixel = 0;
  SimdLevel level = SimdLevel::None;
};

// The format's class, with what the class needs of the format in k (16 bits: the
// format, keep16, planes16). False at a depth without a writer.
bool ClassifyFormat(const DisplayState& display, KernelContext& k, FormatClass& out);

// The kernels of the class at the highest level, at or below the given one, that has
// them (AVX2, then SSE2, then MMX, then none), and that level.
const KernelSet& KernelsAt(FormatClass format, SimdLevel level, SimdLevel& chosen);

// The kernels for the display at the active level, with the rule's steps and tables in
// k. False, with nothing chosen, for a rule that is not one of the six or a depth
// without a writer.
bool ChooseKernels(const DisplayState& display, ColourDecayRule rule, KernelContext& k,
                   PassKernels& out);

}  // namespace lumenfall::blurkernels

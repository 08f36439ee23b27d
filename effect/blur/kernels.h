// The row kernels of the fast blur passes: what they share (cells, the context of a
// pass, the rows they read) and every kernel, named <Operation><Format>_<Isa>.
//
// Operations: Decode (a source row into cells), DecodeFor (the decoder made for the
// pass's rule and format), Compose (a destination row of the full pass) and
// ComposeBlocks (a destination row of the rough pass). Formats: 8 (palette indices),
// 16 (any 16-bit fields, one write at a time), 16Lanes (16 bits in 8-bit lanes),
// 16Parts (its decoder through two part tables), 16Planes (16 bits in 16-bit lanes),
// 24 (B, G, R), 32 (B, G, R, X). Instruction sets: Scalar (one write at a time), Swar64
// and Swar32 (8-bit lanes in 64- or 32-bit words, no vector instructions), Mmx, Sse2,
// Avx2. kernel_table.cpp says which run for a format and level.
//
// A cell is what one source pixel gives the pass: 0 when the pixel is black (it is
// skipped and writes nothing), otherwise non-zero:
//  - 16, 24 and 32 bits: 0xFF000000 + the decayed colour 0x00RRGGBB, which is also
//    the opaque 32-bit pixel in memory order (B, G, R, 0xFF);
//  - 8 bits: 0x80000000 + (the opaque palette index << 16) + floor(S x 127 / 765),
//    S being the sum of the decayed channels: the colour's share of a 0x7F blend.
//
// At 16, 24 and 32 bits the neighbours' 0x7F writes need only the colour's share of
// the blend, floor(c x 127 / 256) per channel. The decoder works it out once per source
// pixel into a second row, the halves: 0 for a black pixel, otherwise 0xFF000000 +
// the three shares. 8 bits (and 16-bit layouts whose writes cannot be chained in
// lanes) use the cells themselves for both.
//
// 16 bits in 8-bit lanes also keeps the halved remainders, ((c x 127) mod 256) / 2 for
// red and green (blue's is dropped: its blend floors each part on its own), in a third
// row that lies KernelContext::fractionOffset entries after the halves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/pixel_format.h"
#include "effect/blur/colour_decay.h"

namespace lumenfall::blurkernels {

constexpr uint32_t kLitCell = 0xFF000000;

// 16 bits in 16-bit lanes: per channel (blue, green, red) the low bits its field lacks,
// the field's place in a pixel and its bits at bit 0 (see planes16.h).
struct Planes16 {
  uint32_t lack[3] = {};
  uint32_t at[3] = {};
  uint16_t fieldMask[3] = {};
  uint16_t pixelMask = 0;  // the bits of all three fields
};
constexpr size_t kPlanes16 = 7;  // planes of a decoded row
// Each plane channel's (blue, green, red) byte in a colour 0x00RRGGBB, in bits.
constexpr uint32_t kPlanePlace[3] = {0, 8, 16};
constexpr uint32_t kLitCell8 = 0x80000000;

// 16 bits in 8-bit lanes without vector instructions: a pixel is two parts, its bits
// below `split` and those from it on, each holding whole fields. Each value of a part
// has three words: the OR of its fields' decay entries with the first step, the same
// with both steps (each with lit marks in the top bytes of cell and half, as at 24
// and 32 bits), and their remainders (first in the low half, both in the high half).
struct Parts16 {
  uint32_t split = 0;
  std::vector<uint64_t> low, high;  // 2^split and 2^(16 - split) values
};
constexpr uint32_t kPart16Bits = 11;  // a part spans at most this many bits

// One of the six decay rules as channel masks (0xFF in the bytes of 0x00RRGGBB).
struct RuleSteps {
  uint32_t always = 0;       // channels stepped on every call
  uint32_t conditional = 0;  // channels stepped when the first ones are all 0 after their step
  // The same, spread into 16-bit lanes (see SpreadLanes), for Decay.
  uint64_t alwaysLanes = 0;
  uint64_t alwaysSteps = 0;
  uint64_t conditionalSteps = 0;
};

// Everything a kernel needs, built once per pass.
struct KernelContext {
  RuleSteps rule;
  PixelFormatInfo info;      // 16 bits
  uint32_t keep16 = 0;       // 16 bits: the bits of each channel that a field keeps
  size_t fractionOffset = 0;  // 16 bits: from a half to the remainders of its pixel
  // 16 bits: the colour 0x00RRGGBB of the low and the high byte of a pixel, with
  // 0xFF on top unless it is 0 (the fields do not overlap, so the two OR together
  // into the pixel's lit colour).
  uint32_t widen16[2][256] = {};
  // 16, 24 and 32 bits: each channel level decayed, in its place in the cell (low
  // half) and in the halves (high half), decay[channel][step][level]: [0] with the
  // rule's first step, [1] also with the conditional one. A colour's cell and halves
  // are the OR of its three channels'. At 16 bits the top bytes hold the halved
  // remainders of red (low half) and green (high half); at 24 and 32 bits they are 0xFF
  // for every level but 0, so that the OR also carries the lit marks.
  uint64_t decay[3][2][256] = {};
  uint32_t cell8[256] = {};  // 8 bits: the cell of every palette index as a source pixel
  uint8_t ramp8[256] = {};   // 8 bits: low byte of GreyRamp
  uint8_t keep8[256] = {};   // 8 bits: floor(S_old x 128 / 765) of every palette index
  Planes16 planes16;         // 16 bits in 16-bit lanes
  Parts16 parts16;           // 16 bits in 8-bit lanes, without vector instructions
};

// What can write one destination pixel, in the order the writes land: the upper, left,
// own, right and lower source pixels. own points into cells, the others into the
// neighbours' row (halves at 24 and 32 bits). Entry i belongs to the i-th pixel.
struct ComposeRows {
  const uint32_t* up = nullptr;
  const uint32_t* left = nullptr;
  const uint32_t* own = nullptr;
  const uint32_t* right = nullptr;
  const uint32_t* down = nullptr;
};

// Decodes and decays count source pixels, step bytes apart, into cells and, where the
// depth uses them, halves (null otherwise). True when any of them is lit.
using DecodeRowFn = bool (*)(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                             uint32_t* cells, uint32_t* halves);

// Computes count destination pixels, left to right from out. A pixel with nothing lit
// around it is not touched.
using ComposeRowFn = void (*)(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                              size_t count);

// Blocks of the rough pass: one row of cells and of neighbour values (halves or cells)
// for a row of blocks. Entries -1 and blocks must be readable and zero.
struct BlockRow {
  const uint32_t* cells = nullptr;
  const uint32_t* neighbours = nullptr;
};

// Composes one destination row of the rough pass over blocks 0 to blocks - 1, two
// pixels each, from out. The left pixel of a block takes the left block's fringe and
// the right pixel the right block's. above[i] and below[i] are the neighbour values
// of the blocks above and below whose fringe reaches this row (zero where none does).
using ComposeBlockRowFn = void (*)(const KernelContext& k, uint8_t* out, const uint32_t* above,
                                   const BlockRow& row, const uint32_t* below, size_t blocks);

// Vector kernels read this many entries past the end of a block row.
constexpr size_t kBlockCellSlack = 8;

// Channel levels in lanes of 16 bits: blue in bits 0-15, green 16-31, red 32-47.
constexpr uint64_t kLaneBias = 0x0000010001000100ull;  // 256 in each lane
constexpr uint64_t kLaneLow = 0x000000FF00FF00FFull;   // the 8 level bits of each lane
constexpr uint64_t kLaneTwelve = 0x0000000C000C000Cull;

inline uint64_t SpreadLanes(uint32_t colour) {
  return uint64_t{colour & 0xFF} | (uint64_t{colour & 0xFF00} << 8) |
         (uint64_t{colour & 0xFF0000} << 16);
}

inline uint32_t GatherLanes(uint64_t lanes) {
  return static_cast<uint32_t>((lanes & 0xFF) | ((lanes >> 8) & 0xFF00) |
                               ((lanes >> 16) & 0xFF0000));
}

// level > step ? level - step : 0 in every lane, for steps of 0 or 12.
inline uint64_t StepLanes(uint64_t lanes, uint64_t steps) {
  const uint64_t biased = (lanes | kLaneBias) - steps;  // no lane borrows: each stays >= 244
  const uint64_t keep = ((biased & kLaneBias) >> 8) * 0xFF;
  return biased & keep;
}

// Bit c set for each channel c (blue, green, red) that the rule steps on every call:
// which of the decoders made for each rule.
inline unsigned AlwaysChannels(const RuleSteps& rule) {
  unsigned always = 0;
  for (int c = 0; c < 3; ++c) always |= (rule.always >> kPlanePlace[c]) & 1 ? 1u << c : 0;
  return always;
}

// One call of the rule on the colour 0x00RRGGBB.
inline uint32_t Decay(const RuleSteps& rule, uint32_t colour) {
  uint64_t lanes = StepLanes(SpreadLanes(colour), rule.alwaysSteps);
  const uint64_t gone = uint64_t{0} - uint64_t{(lanes & rule.alwaysLanes) == 0};
  lanes = StepLanes(lanes, rule.conditionalSteps & gone);
  return GatherLanes(lanes);
}

// The vector kernels. x86 builds have all three instruction sets, each function
// carrying its own target; the WebAssembly build compiles the SSE2 kernels to its
// 128-bit SIMD (the build turns both on), and has no MMX or AVX2 to offer.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LUMENFALL_X86_KERNELS 1
#define LUMENFALL_MMX_KERNELS 1
#define LUMENFALL_AVX2_KERNELS 1
#elif defined(__EMSCRIPTEN__) && defined(__SSE2__) && defined(__wasm_simd128__)
#define LUMENFALL_X86_KERNELS 1
#endif

// --- What the kernels read, filled once per pass (kernel_context.cpp) ---------------

// The rule as channel masks, or false for a function that is not one of the six.
bool StepsForRule(ColourDecayRule rule, RuleSteps& steps);
RuleSteps MakeRuleSteps(uint32_t always, uint32_t conditional);
// The 8-bit tables: cell8, ramp8 and keep8 from the display's ramp and palette.
void FillPaletteTables(const DisplayState& display, KernelContext& k);
// KernelContext::decay for the rule, with remainders (16 bits) or lit marks.
void FillDecayTables(KernelContext& k, bool remainders);
// Whether the 16-bit format in KernelContext::info lets writes be chained in 8-bit
// lanes (see kernel_context.cpp); fills KernelContext::keep16.
bool LanesAreExact(KernelContext& k);
// KernelContext::widen16 from the format.
void FillWidenTables16(KernelContext& k);
// KernelContext::parts16 from the decay tables with remainders; false when the fields
// cannot be split into two parts of whole fields.
bool FillParts16(KernelContext& k);
// KernelContext::planes16, false when the fields are not contiguous.
bool FillPlanes16(KernelContext& k);

// --- Scalar: one write at a time (kernels_scalar.cpp) --------------------------------
// 8 bits, and 16 bits whose fields do not allow lanes.
bool Decode8_Scalar(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                    uint32_t* cells, uint32_t* halves);
void Compose8_Scalar(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count);
void ComposeBlocks8_Scalar(const KernelContext& k, uint8_t* out, const uint32_t* above,
                           const BlockRow& row, const uint32_t* below, size_t blocks);
bool Decode16_Scalar(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                     uint32_t* cells, uint32_t* halves);
void Compose16_Scalar(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                      size_t count);
void ComposeBlocks16_Scalar(const KernelContext& k, uint8_t* out, const uint32_t* above,
                            const BlockRow& row, const uint32_t* below, size_t blocks);

// --- Swar64 and Swar32: channels in the 8-bit lanes of 64- or 32-bit words -----------
// (swar.h; kernels_swar.cpp: 24 and 32 bits, kernels_swar16.cpp: 16 bits in 8-bit lanes,
// with halves and remainders).
DecodeRowFn DecodeFor32_Swar64(const KernelContext& k);
void Compose32_Swar64(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                      size_t count);
void ComposeBlocks32_Swar64(const KernelContext& k, uint8_t* out, const uint32_t* above,
                            const BlockRow& row, const uint32_t* below, size_t blocks);
DecodeRowFn DecodeFor24_Swar64(const KernelContext& k);
void Compose24_Swar64(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                      size_t count);
void ComposeBlocks24_Swar64(const KernelContext& k, uint8_t* out, const uint32_t* above,
                            const BlockRow& row, const uint32_t* below, size_t blocks);
// 16 bits: through the part tables where FillParts16 filled them, else through the
// tables that widen each byte.
DecodeRowFn DecodeFor16Lanes_Swar64(const KernelContext& k);
void Compose16Lanes_Swar64(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                           size_t count);
void ComposeBlocks16Lanes_Swar64(const KernelContext& k, uint8_t* out, const uint32_t* above,
                                 const BlockRow& row, const uint32_t* below, size_t blocks);
DecodeRowFn DecodeFor32_Swar32(const KernelContext& k);
void Compose32_Swar32(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                      size_t count);
void ComposeBlocks32_Swar32(const KernelContext& k, uint8_t* out, const uint32_t* above,
                            const BlockRow& row, const uint32_t* below, size_t blocks);
DecodeRowFn DecodeFor24_Swar32(const KernelContext& k);
void Compose24_Swar32(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                      size_t count);
void ComposeBlocks24_Swar32(const KernelContext& k, uint8_t* out, const uint32_t* above,
                            const BlockRow& row, const uint32_t* below, size_t blocks);
DecodeRowFn DecodeFor16Lanes_Swar32(const KernelContext& k);
void Compose16Lanes_Swar32(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                           size_t count);
void ComposeBlocks16Lanes_Swar32(const KernelContext& k, uint8_t* out, const uint32_t* above,
                                 const BlockRow& row, const uint32_t* below, size_t blocks);

// The Swar kernels in the program's own word (Swar32 in a 32-bit program, which has no
// 64-bit registers; WebAssembly has them behind its 32-bit pointers), to which the vector
// kernels hand their last pixels.
#if defined(__EMSCRIPTEN__)
constexpr bool kSwar32 = false;
#else
constexpr bool kSwar32 = sizeof(void*) == 4;
#endif
constexpr DecodeRowFn (*DecodeFor32_Swar)(const KernelContext&) =
    kSwar32 ? DecodeFor32_Swar32 : DecodeFor32_Swar64;
constexpr DecodeRowFn (*DecodeFor24_Swar)(const KernelContext&) =
    kSwar32 ? DecodeFor24_Swar32 : DecodeFor24_Swar64;
constexpr ComposeRowFn Compose32_Swar = kSwar32 ? Compose32_Swar32 : Compose32_Swar64;
constexpr ComposeRowFn Compose24_Swar = kSwar32 ? Compose24_Swar32 : Compose24_Swar64;
constexpr ComposeBlockRowFn ComposeBlocks32_Swar =
    kSwar32 ? ComposeBlocks32_Swar32 : ComposeBlocks32_Swar64;
constexpr ComposeBlockRowFn ComposeBlocks24_Swar =
    kSwar32 ? ComposeBlocks24_Swar32 : ComposeBlocks24_Swar64;
inline bool Decode32_Swar(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                          uint32_t* cells, uint32_t* halves) {
  return DecodeFor32_Swar(k)(k, src, step, count, cells, halves);
}

#if defined(LUMENFALL_MMX_KERNELS)
// --- MMX (kernels_mmx.cpp) --------------------------------------------------------------
// 32 bits two pixels to a register, 24 bits widened to them, and 16 bits in 16-bit lanes,
// four pixels to a register (rows as for SSE2).
bool Decode32_Mmx(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                  uint32_t* cells, uint32_t* halves);
void Compose32_Mmx(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count);
void ComposeBlocks32_Mmx(const KernelContext& k, uint8_t* out, const uint32_t* above,
                         const BlockRow& row, const uint32_t* below, size_t blocks);
bool Decode24_Mmx(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                  uint32_t* cells, uint32_t* halves);
void Compose24_Mmx(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count);
void ComposeBlocks24_Mmx(const KernelContext& k, uint8_t* out, const uint32_t* above,
                         const BlockRow& row, const uint32_t* below, size_t blocks);
DecodeRowFn DecodeFor16Planes_Mmx(const KernelContext& k);
void Compose16Planes_Mmx(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                         size_t count);
void ComposeBlocks16Planes_Mmx(const KernelContext& k, uint8_t* out, const uint32_t* above,
                               const BlockRow& row, const uint32_t* below, size_t blocks);
#endif

#if defined(LUMENFALL_X86_KERNELS)
// --- SSE2, four pixels to a register (kernels_sse2.cpp) ------------------------------
// 32 bits, 24 bits widened to them, and 16 bits in 16-bit lanes, eight pixels to a
// register: a row is kPlanes16 planes of 2-byte entries, KernelContext::fractionOffset
// entries apart (FillPlanes16); halves are not used. Natively the caller checks the
// processor first.
bool Decode32_Sse2(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                   uint32_t* cells, uint32_t* halves);
void Compose32_Sse2(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count);
void ComposeBlocks32_Sse2(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks);
bool Decode24_Sse2(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                   uint32_t* cells, uint32_t* halves);
void Compose24_Sse2(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count);
void ComposeBlocks24_Sse2(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks);
DecodeRowFn DecodeFor16Planes_Sse2(const KernelContext& k);
void Compose16Planes_Sse2(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                          size_t count);
void ComposeBlocks16Planes_Sse2(const KernelContext& k, uint8_t* out, const uint32_t* above,
                                const BlockRow& row, const uint32_t* below, size_t blocks);
#endif

#if defined(LUMENFALL_AVX2_KERNELS)
// --- AVX2, eight pixels to a register (kernels_avx2.cpp) -----------------------------
// 32 bits, 24 bits in place, and 16 bits in 16-bit lanes, sixteen pixels to a register
// (rows as for SSE2).
bool Decode32_Avx2(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                   uint32_t* cells, uint32_t* halves);
void Compose32_Avx2(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count);
void ComposeBlocks32_Avx2(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks);
bool Decode24_Avx2(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                   uint32_t* cells, uint32_t* halves);
void Compose24_Avx2(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count);
void ComposeBlocks24_Avx2(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks);
DecodeRowFn DecodeFor16Planes_Avx2(const KernelContext& k);
void Compose16Planes_Avx2(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                          size_t count);
void ComposeBlocks16Planes_Avx2(const KernelContext& k, uint8_t* out, const uint32_t* above,
                                const BlockRow& row, const uint32_t* below, size_t blocks);
#endif

}  // namespace lumenfall::blurkernels

// The one table that decides which kernels run the fast blur for each format class and
// vector level, the order in which the levels fall back, and the preparation of a pass.
#include "effect/blur/kernel_table.h"

#include "effect/blur/fast_blur.h"

namespace lumenfall::blurkernels {

namespace {

// One format class's kernels by level, in the order the levels fall back; a level
// without a compose kernel has none of its own. Without vector instructions, none32 (in
// 32-bit words) serves where the program takes Swar32 and the class has it, none
// elsewhere.
struct LevelKernels {
  KernelSet avx2 = {}, sse2 = {}, mmx = {}, none = {}, none32 = {};
};

SwarWord gSwarWord = SwarWord::Native;

bool TakesSwar32() {
  if (gSwarWord == SwarWord::Native) return kSwar32;
  return gSwarWord == SwarWord::Bits32;
}

struct KernelTable {
  LevelKernels palette8, fields16, lanes16, planes16, bgr24, bgrx32;
};

constexpr SimdLevel kFallback[] = {SimdLevel::Avx2, SimdLevel::Sse2, SimdLevel::Mmx,
                                   SimdLevel::None};

// The preparations: what each kernel set reads beyond the rule's steps.
void Palette(const DisplayState& display, KernelContext& k) { FillPaletteTables(display, k); }

// 24 and 32 bits: the Swar64 decoders' tables, which every level's last pixels use.
void DecayWithLitMarks(const DisplayState&, KernelContext& k) { FillDecayTables(k, false); }

// 16 bits in 8-bit lanes: the part tables, or where the fields cannot be split, the
// widening ones.
void Lanes16Tables(const DisplayState&, KernelContext& k) {
  FillDecayTables(k, true);
  if (!FillParts16(k)) FillWidenTables16(k);
}

#if defined(LUMENFALL_MMX_KERNELS)
#define LUMENFALL_WITH_MMX(...) __VA_ARGS__
#else
#define LUMENFALL_WITH_MMX(...) {}
#endif
#if defined(LUMENFALL_X86_KERNELS)
#define LUMENFALL_WITH_SSE2(...) __VA_ARGS__
#else
#define LUMENFALL_WITH_SSE2(...) {}
#endif
#if defined(LUMENFALL_AVX2_KERNELS)
#define LUMENFALL_WITH_AVX2(...) __VA_ARGS__
#else
#define LUMENFALL_WITH_AVX2(...) {}
#endif

constexpr KernelSet kLanes16Swar64 = {.prepare = Lanes16Tables,
                                      .decodeFor = DecodeFor16Lanes_Swar64,
                                      .compose = Compose16Lanes_Swar64,
                                      .composeBlocks = ComposeBlocks16Lanes_Swar64,
                                      .rows = RowLayout::Remainders};
constexpr KernelSet kLanes16Swar32 = {.prepare = Lanes16Tables,
                                      .decodeFor = DecodeFor16Lanes_Swar32,
                                      .compose = Compose16Lanes_Swar32,
                                      .composeBlocks = ComposeBlocks16Lanes_Swar32,
                                      .rows = RowLayout::Remainders};

constexpr KernelTable kKernels = {
    .palette8 = {.none = {.prepare = Palette,
                          .decode = Decode8_Scalar,
                          .compose = Compose8_Scalar,
                          .composeBlocks = ComposeBlocks8_Scalar,
                          .rows = RowLayout::Cells}},
    .fields16 = {.none = {.decode = Decode16_Scalar,
                          .compose = Compose16_Scalar,
                          .composeBlocks = ComposeBlocks16_Scalar,
                          .rows = RowLayout::Cells}},
    .lanes16 = {.none = kLanes16Swar64, .none32 = kLanes16Swar32},
    .planes16 = {.avx2 = LUMENFALL_WITH_AVX2({.decodeFor = DecodeFor16Planes_Avx2,
                                              .compose = Compose16Planes_Avx2,
                                              .composeBlocks = ComposeBlocks16Planes_Avx2,
                                              .rows = RowLayout::Planes16}),
                 .sse2 = LUMENFALL_WITH_SSE2({.decodeFor = DecodeFor16Planes_Sse2,
                                              .compose = Compose16Planes_Sse2,
                                              .composeBlocks = ComposeBlocks16Planes_Sse2,
                                              .rows = RowLayout::Planes16}),
                 .mmx = LUMENFALL_WITH_MMX({.decodeFor = DecodeFor16Planes_Mmx,
                                            .compose = Compose16Planes_Mmx,
                                            .composeBlocks = ComposeBlocks16Planes_Mmx,
                                            .rows = RowLayout::Planes16}),
                 .none = kLanes16Swar64,
                 .none32 = kLanes16Swar32},
    .bgr24 = {.avx2 = LUMENFALL_WITH_AVX2({.prepare = DecayWithLitMarks,
                                           .decode = Decode24_Avx2,
                                           .compose = Compose24_Avx2,
                                           .composeBlocks = ComposeBlocks24_Avx2,
                                           .rows = RowLayout::Halves}),
              .sse2 = LUMENFALL_WITH_SSE2({.prepare = DecayWithLitMarks,
                                           .decode = Decode24_Sse2,
                                           .compose = Compose24_Sse2,
                                           .composeBlocks = ComposeBlocks24_Sse2,
                                           .rows = RowLayout::Halves}),
              .mmx = LUMENFALL_WITH_MMX({.prepare = DecayWithLitMarks,
                                         .decode = Decode24_Mmx,
                                         .compose = Compose24_Mmx,
                                         .composeBlocks = ComposeBlocks24_Mmx,
                                         .rows = RowLayout::Halves}),
              .none = {.prepare = DecayWithLitMarks,
                       .decodeFor = DecodeFor24_Swar64,
                       .compose = Compose24_Swar64,
                       .composeBlocks = ComposeBlocks24_Swar64,
                       .rows = RowLayout::Halves},
              .none32 = {.prepare = DecayWithLitMarks,
                         .decodeFor = DecodeFor24_Swar32,
                         .compose = Compose24_Swar32,
                         .composeBlocks = ComposeBlocks24_Swar32,
                         .rows = RowLayout::Halves}},
    .bgrx32 = {.avx2 = LUMENFALL_WITH_AVX2({.prepare = DecayWithLitMarks,
                                            .decode = Decode32_Avx2,
                                            .compose = Compose32_Avx2,
                                            .composeBlocks = ComposeBlocks32_Avx2,
                                            .rows = RowLayout::Halves}),
               .sse2 = LUMENFALL_WITH_SSE2({.prepare = DecayWithLitMarks,
                                            .decode = Decode32_Sse2,
                                            .compose = Compose32_Sse2,
                                            .composeBlocks = ComposeBlocks32_Sse2,
                                            .rows = RowLayout::Halves}),
               .mmx = LUMENFALL_WITH_MMX({.prepare = DecayWithLitMarks,
                                          .decode = Decode32_Mmx,
                                          .compose = Compose32_Mmx,
                                          .composeBlocks = ComposeBlocks32_Mmx,
                                          .rows = RowLayout::Halves}),
               .none = {.prepare = DecayWithLitMarks,
                        .decodeFor = DecodeFor32_Swar64,
                        .compose = Compose32_Swar64,
                        .composeBlocks = ComposeBlocks32_Swar64,
                        .rows = RowLayout::Halves},
               .none32 = {.prepare = DecayWithLitMarks,
                          .decodeFor = DecodeFor32_Swar32,
                          .compose = Compose32_Swar32,
                          .composeBlocks = ComposeBlocks32_Swar32,
                          .rows = RowLayout::Halves}},
};

const LevelKernels& RowOf(FormatClass format) {
  switch (format) {
    case FormatClass::Palette8: return kKernels.palette8;
    case FormatClass::Fields16: return kKernels.fields16;
    case FormatClass::Lanes16: return kKernels.lanes16;
    case FormatClass::Planes16: return kKernels.planes16;
    case FormatClass::Bgr24: return kKernels.bgr24;
    case FormatClass::Bgrx32: break;
  }
  return kKernels.bgrx32;
}

const KernelSet& At(const LevelKernels& row, SimdLevel level) {
  switch (level) {
    case SimdLevel::Avx2: return row.avx2;
    case SimdLevel::Sse2: return row.sse2;
    case SimdLevel::Mmx: return row.mmx;
    case SimdLevel::None: break;
  }
  return TakesSwar32() && row.none32.compose != nullptr ? row.none32 : row.none;
}

}  // namespace

bool ClassifyFormat(const DisplayState& display, KernelContext& k, FormatClass& out) {
  switch (display.format.bitsPerPixel) {
    case 8: out = FormatClass::Palette8; return true;
    case 24: out = FormatClass::Bgr24; return true;
    case 32: out = FormatClass::Bgrx32; return true;
    case 16:
      k.info = display.pixelInfo;
      // The lanes need fields of at most 7 bits: an old level's low bit is clear.
      if (!LanesAreExact(k) || (k.keep16 & 0x010101) != 0) out = FormatClass::Fields16;
      else out = FillPlanes16(k) ? FormatClass::Planes16 : FormatClass::Lanes16;
      return true;
    default: return false;
  }
}

const KernelSet& KernelsAt(FormatClass format, SimdLevel level, SimdLevel& chosen) {
  const LevelKernels& row = RowOf(format);
  for (SimdLevel candidate : kFallback) {
    if (candidate > level || At(row, candidate).compose == nullptr) continue;
    chosen = candidate;
    return At(row, candidate);
  }
  chosen = SimdLevel::None;
  return At(row, SimdLevel::None);  // every class has kernels without vector instructions
}

bool ChooseKernels(const DisplayState& display, ColourDecayRule rule, KernelContext& k,
                   PassKernels& out) {
  FormatClass format;
  if (!StepsForRule(rule, k.rule) || !ClassifyFormat(display, k, format)) return false;
  SimdLevel level = SimdLevel::None;
  const KernelSet& set = KernelsAt(format, ActiveSimdLevel(), level);
  if (set.prepare != nullptr) set.prepare(display, k);
  out.decode = set.decodeFor != nullptr ? set.decodeFor(k) : set.decode;
  out.compose = set.compose;
  out.composeBlocks = set.composeBlocks;
  out.rows = set.rows;
  out.bytesPerPixel = display.format.bitsPerPixel / 8;
  out.level = level;
  return true;
}

}  // namespace lumenfall::blurkernels

namespace lumenfall {

SwarWord SetSwarWord(SwarWord word) {
  const SwarWord previous = blurkernels::gSwarWord;
  blurkernels::gSwarWord = word;
  return previous;
}

SimdLevel FastBlurLevel(const DisplayState& display) {
  blurkernels::KernelContext k;
  blurkernels::FormatClass format;
  if (!blurkernels::ClassifyFormat(display, k, format)) return SimdLevel::None;
  SimdLevel level = SimdLevel::None;
  blurkernels::KernelsAt(format, ActiveSimdLevel(), level);
  return level;
}

}  // namespace lumenfall

// Kernel choice and the pass drivers of the fast blur: which row kernels serve the
// display's depth and the processor, and the walk over the rows of a pass.
#include "effect/fast_blur.h"

#include <cstring>
#include <vector>

#include "effect/blur_kernels.h"

namespace lumenfall {

namespace {

using namespace blurkernels;

SimdLevel gSimdLimit = SimdLevel::Avx2;

SimdLevel Detect() {
#if defined(__EMSCRIPTEN__) && defined(LUMENFALL_X86_KERNELS)
  return SimdLevel::Sse2;  // built for WebAssembly SIMD, which the page requires
#elif defined(LUMENFALL_X86_KERNELS)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return SimdLevel::Avx2;
  if (__builtin_cpu_supports("sse2")) return SimdLevel::Sse2;
  if (__builtin_cpu_supports("mmx")) return SimdLevel::Mmx;
#endif
  return SimdLevel::None;
}

// The six rules by what they step; any other function is not ours to take apart.
bool StepsForRule(ColourDecayRule rule, RuleSteps& steps) {
  constexpr uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF;
  if (rule == FadeToRed) steps = MakeRuleSteps(G | B, R);
  else if (rule == FadeToGreen) steps = MakeRuleSteps(R | B, G);
  else if (rule == FadeToBlue) steps = MakeRuleSteps(R | G, B);
  else if (rule == FadeToYellow) steps = MakeRuleSteps(B, R | G);
  else if (rule == FadeToMagenta) steps = MakeRuleSteps(G, R | B);
  else if (rule == FadeToCyan) steps = MakeRuleSteps(R, G | B);
  else return false;
  return true;
}

// Whether the 16-bit format lets writes be chained in 8-bit lanes: the fields do not
// overlap and fit in 16 bits, and for every level v of a channel, widening the packed v
// gives v with the low bits cleared (keep), and packing ignores those low bits. All
// four recognised layouts pass; keep receives the kept bits of each channel.
bool LanesAreExact(const PixelFormatInfo& f, uint32_t& keep) {
  const uint32_t masks = f.redMask | f.greenMask | f.blueMask;
  if ((f.redMask & f.greenMask) != 0 || (f.redMask & f.blueMask) != 0 ||
      (f.greenMask & f.blueMask) != 0 || masks > 0xFFFF)
    return false;
  const uint32_t mask[3] = {f.redMask, f.greenMask, f.blueMask};
  const uint32_t down[3] = {f.redDownshift, f.greenDownshift, f.blueDownshift};
  const uint32_t place[3] = {16, 8, 0};
  keep = 0;
  for (int c = 0; c < 3; ++c) {
    auto pack = [&](uint32_t v) { return ((v << place[c]) >> down[c]) & mask[c]; };
    auto widen = [&](uint32_t p) { return ((p & mask[c]) << down[c]) >> place[c] & 0xFF; };
    const uint32_t kept = widen(pack(0xFF));
    // Shifts and masks keep ORs apart: agreeing on each bit of a level is agreeing on all.
    for (uint32_t v = 1; v < 256; v <<= 1) {
      if (widen(pack(v)) != (v & kept) || pack(v & kept) != pack(v)) return false;
    }
    keep |= kept << place[c];
  }
  return true;
}

struct Kernels {
  DecodeRowFn decode = nullptr;
  ComposeRowFn compose = nullptr;
  ComposeBlockRowFn composeBlocks = nullptr;
  size_t bytesPerPixel = 0;
  bool halves = false;     // neighbours are read from a row of halves
  bool fractions = false;  // ... followed by a row of remainders
  bool planes = false;     // rows of 2-byte entries in kPlanes16 planes
};

// The 16-bit tables: each byte of a pixel widened to its channels, with 0xFF on top
// where that is not black.
void FillFieldTables(KernelContext& k) {
  const PixelFormatInfo& f = k.info;
  auto widen = [&f](uint32_t v) {
    const uint32_t c = (((v & f.redMask) << f.redDownshift) & 0xFF0000) |
                       (((v & f.greenMask) << f.greenDownshift) & 0xFF00) |
                       (((v & f.blueMask) << f.blueDownshift) & 0xFF);
    return c == 0 ? 0 : c | kLitCell;
  };
  for (uint32_t v = 0; v < 256; ++v) {
    k.widen16[0][v] = widen(v);
    k.widen16[1][v] = widen(v << 8);
  }
}

// Picks the kernels for the depth and fills what they need of the context.
bool Prepare(const DisplayState& display, ColourDecayRule rule, KernelContext& k, Kernels& out) {
  if (!StepsForRule(rule, k.rule)) return false;
  // The plain decoders' tables (the vector kernels leave their last pixels to them),
  // filled only where those may run: not for the 16-bit lanes, which decode by arithmetic.
  if (display.format.bitsPerPixel > 16) FillDecayTables(k, false);
  switch (display.format.bitsPerPixel) {
    case 8: {
      for (uint32_t i = 0; i < 256; ++i) k.ramp8[i] = static_cast<uint8_t>(display.greyRamp.entry[i]);
      for (uint32_t i = 0; i < 256; ++i) {
        const PaletteEntry& e = display.greyPalette.entry[i];
        const uint32_t sOld = uint32_t{e.peRed} + e.peGreen + e.peBlue;
        k.keep8[i] = static_cast<uint8_t>(sOld * 128 / 765);
        const uint32_t colour = (uint32_t{e.peRed} << 16) | (uint32_t{e.peGreen} << 8) | e.peBlue;
        if (colour == 0) {
          k.cell8[i] = 0;
          continue;
        }
        const uint32_t c = Decay(k.rule, colour);
        const uint32_t sum = ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF);
        k.cell8[i] = kLitCell8 | (uint32_t{k.ramp8[sum * 255 / 765]} << 16) | (sum * 127 / 765);
      }
      out = Kernels{Decode8, Compose8, ComposeBlocks8, 1, false, false};
      return true;
    }
    case 16:
      k.info = display.pixelInfo;
      out = Kernels{Decode16, Compose16, ComposeBlocks16, 2, false, false};
      // The lane kernels need fields of at most 7 bits: an old level's low bit is clear.
      if (LanesAreExact(k.info, k.keep16) && (k.keep16 & 0x010101) == 0) {
        switch (ActiveSimdLevel()) {
#if defined(LUMENFALL_AVX2_KERNELS)
          case SimdLevel::Avx2:
            if (FillPlanes16(k)) {
              out = Kernels{Decode16PlanesFor(k.rule), Compose16Planes, ComposeBlocks16Planes, 2,
                            false, false, true};
              return true;
            }
            break;
#endif
#if defined(LUMENFALL_X86_KERNELS)
          case SimdLevel::Sse2:
            if (FillPlanes16(k)) {
              out = Kernels{Decode16PlanesSse2For(k.rule), Compose16PlanesSse2,
                            ComposeBlocks16PlanesSse2, 2, false, false, true};
              return true;
            }
            break;
#endif
          default:
            break;
        }
        // The 8-bit lanes: their decoders read the decay tables, and the one that
        // widens each byte (MMX's last pixel goes to it) the widening tables.
        FillDecayTables(k, true);
#if defined(LUMENFALL_MMX_KERNELS)
        if (ActiveSimdLevel() == SimdLevel::Mmx) {
          FillFieldTables(k);
          out = Kernels{Decode16Mmx, Compose16Mmx, ComposeBlocks16Mmx, 2, true, true};
          return true;
        }
#endif
        out = Kernels{Decode16Parts, Compose16Lanes, ComposeBlocks16Lanes, 2, true, true};
        if (!FillParts16(k)) {  // no split into two parts of whole fields
          FillFieldTables(k);
          out.decode = Decode16LanesFor(k.rule);
        }
      }
      return true;
    case 24:
      out = Kernels{Decode24PlainFor(k.rule), Compose24Plain, ComposeBlocks24Plain, 3, true, false};
      switch (ActiveSimdLevel()) {
#if defined(LUMENFALL_AVX2_KERNELS)
        case SimdLevel::Avx2:
          out = Kernels{Decode24Avx2, Compose24Avx2, ComposeBlocks24Avx2, 3, true, false};
          break;
#endif
#if defined(LUMENFALL_X86_KERNELS)
        case SimdLevel::Sse2:
          out = Kernels{Decode24Sse2, Compose24Sse2, ComposeBlocks24Sse2, 3, true, false};
          break;
#endif
#if defined(LUMENFALL_MMX_KERNELS)
        case SimdLevel::Mmx:
          out = Kernels{Decode24Mmx, Compose24Mmx, ComposeBlocks24Mmx, 3, true, false};
          break;
#endif
        default:
          break;
      }
      return true;
    case 32:
      out = Kernels{Decode32PlainFor(k.rule), Compose32Plain, ComposeBlocks32Plain, 4, true, false};
      switch (ActiveSimdLevel()) {
#if defined(LUMENFALL_AVX2_KERNELS)
        case SimdLevel::Avx2:
          out = Kernels{Decode32Avx2, Compose32Avx2, ComposeBlocks32Avx2, 4, true, false};
          break;
#endif
#if defined(LUMENFALL_X86_KERNELS)
        case SimdLevel::Sse2:
          out = Kernels{Decode32Sse2, Compose32Sse2, ComposeBlocks32Sse2, 4, true, false};
          break;
#endif
#if defined(LUMENFALL_MMX_KERNELS)
        case SimdLevel::Mmx:
          out = Kernels{Decode32Mmx, Compose32Mmx, ComposeBlocks32Mmx, 4, true, false};
          break;
#endif
        default:
          break;
      }
      return true;
    default:
      return false;
  }
}

// The surfaces must not share memory: the closed form reads every source pixel
// before any write lands near it, which the plain loop does not.
bool Disjoint(const PassMemory& m) {
  const auto s = reinterpret_cast<uintptr_t>(m.src);
  const auto d = reinterpret_cast<uintptr_t>(m.dst);
  return s + m.srcSpan <= d || d + m.dstSpan <= s;
}

// Room for the cell rows of one pass, all zero to start with: on the stack for the
// usual sizes.
class CellScratch {
 public:
  explicit CellScratch(size_t count) {
    if (count <= kInline) {
      data_ = inline_;
    } else {
      heap_.resize(count);
      data_ = heap_.data();
    }
    std::memset(data_, 0, count * sizeof(uint32_t));
  }
  CellScratch(const CellScratch&) = delete;
  CellScratch& operator=(const CellScratch&) = delete;
  uint32_t* Take(size_t count) {
    uint32_t* p = data_ + used_;
    used_ += count;
    return p;
  }

 private:
  static constexpr size_t kInline = 4096;
  uint32_t inline_[kInline];
  std::vector<uint32_t> heap_;
  uint32_t* data_ = nullptr;
  size_t used_ = 0;
};

// One decoded source row: its cells and the values its neighbours read.
struct DecodedRow {
  uint32_t* cells = nullptr;
  uint32_t* neighbours = nullptr;  // the halves, or the cells themselves
  bool lit = false;                // any cell lit
};

// The rows of one pass, all zero to start with: a row of zeros and a ring of three
// decoded rows, rowCells entries each, every pointer on entry `first`. The remainders
// of every row lie one whole set of rows further on; planes follow one another within
// their row.
class PassRows {
 public:
  PassRows(const Kernels& kernels, size_t rowCells, size_t first, KernelContext& k)
      : entry_(kernels.planes ? 2 : 4),
        words_(kernels.planes ? (rowCells * kPlanes16 + 1) / 2 : rowCells),
        scratch_(words_ * Rows(kernels) * (kernels.fractions ? 2 : 1)) {
    k.fractionOffset = kernels.planes ? rowCells : rowCells * Rows(kernels);
    zero = At(scratch_.Take(words_), first);
    for (DecodedRow& r : ring) {
      r.cells = At(scratch_.Take(words_), first);
      r.neighbours = kernels.halves ? At(scratch_.Take(words_), first) : r.cells;
    }
  }
  uint32_t* At(uint32_t* row, size_t n) const {  // entry n of a row
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(row) + n * entry_);
  }
  uint32_t* zero = nullptr;
  DecodedRow ring[3];

 private:
  static size_t Rows(const Kernels& kernels) { return kernels.halves ? 7 : 4; }
  size_t entry_, words_;
  CellScratch scratch_;
};

}  // namespace

SimdLevel DetectedSimdLevel() {
  static const SimdLevel detected = Detect();
  return detected;
}

SimdLevel SetSimdLimit(SimdLevel limit) {
  const SimdLevel previous = gSimdLimit;
  gSimdLimit = limit;
  return previous;
}

SimdLevel ActiveSimdLevel() {
  const SimdLevel detected = DetectedSimdLevel();
  return static_cast<uint8_t>(gSimdLimit) < static_cast<uint8_t>(detected) ? gSimdLimit : detected;
}

bool FastFeedbackPass(const DisplayState& display, const PassMemory& m, const Rect& region,
                      ColourDecayRule rule) {
  KernelContext k;
  Kernels kernels;
  if (!Prepare(display, rule, k, kernels) || !Disjoint(m)) return false;
  const int64_t width = int64_t{region.right} - region.left;
  const int64_t height = int64_t{region.bottom} - region.top;
  if (width < 3 || height < 3) return true;  // no interior: the pass writes nothing

  // Rows cover columns left - 1 to right: entry x - left + 1. Only the interior
  // columns left + 1 to right - 2 are ever lit.
  const size_t rowCells = size_t(width) + 2;
  const size_t interior = size_t(width) - 2;
  PassRows rowSet(kernels, rowCells, 0, k);
  uint32_t* zero = rowSet.zero;
  DecodedRow* ring = rowSet.ring;
  auto at = [&rowSet](uint32_t* row, size_t n) { return rowSet.At(row, n); };

  const size_t bpp = kernels.bytesPerPixel;
  const size_t srcPitch = size_t(m.srcPitch), dstPitch = size_t(m.dstPitch);
  const int32_t firstRow = region.top + 1, lastRow = region.bottom - 2;  // interior rows
  const DecodedRow none{zero, zero, false};

  // Rows y - 1, y and y + 1 around the destination row y; zero outside the interior.
  DecodedRow above = none, current = none;
  size_t next = 0;
  for (int32_t y = region.top; y < region.bottom; ++y) {
    DecodedRow below = none;
    if (y + 1 >= firstRow && y + 1 <= lastRow) {
      below = ring[next];
      next = (next + 1) % 3;
      below.lit =
          kernels.decode(k, m.src + size_t(y + 1) * srcPitch + size_t(region.left + 1) * bpp,
                         bpp, interior, at(below.cells, 2),
                         kernels.halves ? at(below.neighbours, 2) : nullptr);
    }
    if (!above.lit && !current.lit && !below.lit) {  // nothing reaches this row
      above = current;
      current = below;
      continue;
    }
    ComposeRows rows5;
    rows5.up = at(above.neighbours, 1);
    rows5.left = current.neighbours;
    rows5.own = at(current.cells, 1);
    rows5.right = at(current.neighbours, 2);
    rows5.down = at(below.neighbours, 1);
    kernels.compose(k, m.dst + size_t(y) * dstPitch + size_t(region.left) * bpp, rows5,
                    size_t(width));
    above = current;
    current = below;
  }
  return true;
}

bool FastRoughPass(const DisplayState& display, const PassMemory& m, const Rect& region, int32_t dx,
                   int32_t dy, ColourDecayRule rule) {
  KernelContext k;
  Kernels kernels;
  if (!Prepare(display, rule, k, kernels) || !Disjoint(m)) return false;
  const int64_t width = int64_t{region.right} - region.left;
  const int64_t height = int64_t{region.bottom} - region.top;
  // Samples per row and rows of samples, as the plain loop's counters give them.
  const int64_t columns = width >= 4 ? (width - 3) / 2 : 0;
  const int64_t sampleRows = height >= 4 ? (height - 3) / 2 : 0;
  if (columns == 0 || sampleRows == 0) return true;  // no sample: the pass writes nothing

  // Blocks sit at x0 + 2i, y0 + 2j. Their fringes reach one pixel further on every
  // side: column x0 - 1 (written only by block 0 of the row), column x0 + 2 x columns
  // (only by the last block), row y0 - 1 and row y0 + 2 x sampleRows.
  const int64_t x0 = int64_t{region.left} + dx;
  const int64_t y0 = int64_t{region.top} + dy;
  const size_t blocks = size_t(columns);
  // Rows hold blocks -1 to blocks, then slack that the vector kernels may read.
  const size_t rowCells = blocks + 2 + kBlockCellSlack;
  PassRows rowSet(kernels, rowCells, 1, k);
  uint32_t* zero = rowSet.zero;
  DecodedRow* ring = rowSet.ring;

  const size_t bpp = kernels.bytesPerPixel;
  const size_t srcPitch = size_t(m.srcPitch), dstPitch = size_t(m.dstPitch);
  auto decodeBlockRow = [&](int64_t j, DecodedRow& row) {
    row.lit = kernels.decode(k, m.src + size_t(y0 + 2 * j) * srcPitch + size_t(x0) * bpp, 2 * bpp,
                             blocks, row.cells, kernels.halves ? row.neighbours : nullptr);
  };
  auto rowAt = [&](int64_t y) { return m.dst + size_t(y) * dstPitch; };
  auto composeBlocks = [&](int64_t y, const DecodedRow& above, const DecodedRow& row,
                           const DecodedRow& below) {
    if (!above.lit && !row.lit && !below.lit) return;  // nothing reaches this row
    kernels.composeBlocks(k, rowAt(y) + size_t(x0) * bpp, above.neighbours,
                          BlockRow{row.cells, row.neighbours}, below.neighbours, blocks);
  };
  // The two fringe pixels at the ends of a row of blocks: each has one writer.
  auto composeEnds = [&](int64_t y, const DecodedRow& row) {
    if (!row.lit) return;
    // Entries of the rows themselves, so that what lies beside them (remainders) is theirs.
    const uint32_t* first = row.neighbours;
    const uint32_t* last = rowSet.At(row.neighbours, blocks - 1);
    kernels.compose(k, rowAt(y) + size_t(x0 - 1) * bpp, ComposeRows{zero, zero, zero, first, zero},
                    1);
    kernels.compose(k, rowAt(y) + size_t(x0 + 2 * columns) * bpp,
                    ComposeRows{zero, last, zero, zero, zero}, 1);
  };

  const DecodedRow none{zero, zero, false};
  DecodedRow current = ring[0];
  decodeBlockRow(0, current);
  composeBlocks(y0 - 1, none, none, current);  // the fringe above the first blocks
  DecodedRow above = none;
  for (int64_t j = 0; j < sampleRows; ++j) {
    composeBlocks(y0 + 2 * j, above, current, none);
    composeEnds(y0 + 2 * j, current);
    DecodedRow below = none;
    if (j + 1 < sampleRows) {
      below = ring[(j + 1) % 3];
      decodeBlockRow(j + 1, below);
    }
    composeBlocks(y0 + 2 * j + 1, none, current, below);
    composeEnds(y0 + 2 * j + 1, current);
    above = current;
    current = below;
  }
  composeBlocks(y0 + 2 * sampleRows, above, none, none);  // the fringe below the last blocks
  return true;
}

}  // namespace lumenfall

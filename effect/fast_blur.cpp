#include "effect/fast_blur.h"

#include <cstring>
#include <vector>

#include "effect/blur_kernels.h"

namespace lumenfall {

namespace blurkernels {

RuleSteps MakeRuleSteps(uint32_t always, uint32_t conditional) {
  RuleSteps r;
  r.always = always;
  r.conditional = conditional;
  r.alwaysLanes = SpreadLanes(always);
  r.alwaysSteps = r.alwaysLanes & kLaneTwelve;
  r.conditionalSteps = SpreadLanes(conditional) & kLaneTwelve;
  return r;
}

namespace {

inline uint32_t Load24(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
}

inline uint32_t Load16(const uint8_t* p) { return uint32_t{p[0]} | (uint32_t{p[1]} << 8); }

inline uint32_t LitCell(const RuleSteps& rule, uint32_t colour) {
  return colour == 0 ? 0 : kLitCell | Decay(rule, colour);
}

// --- decoding -------------------------------------------------------------------

bool Decode8(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
             uint32_t* cells, uint32_t*) {
  uint32_t any = 0;
  for (size_t i = 0; i < count; ++i, src += step) any |= cells[i] = k.cell8[*src];
  return any != 0;
}

bool Decode16(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
              uint32_t* cells, uint32_t*) {
  // Local copies: the stores to cells could otherwise alias the format's fields.
  const uint32_t rm = k.info.redMask, gm = k.info.greenMask, bm = k.info.blueMask;
  const uint32_t rd = k.info.redDownshift, gd = k.info.greenDownshift, bd = k.info.blueDownshift;
  const RuleSteps rule = k.rule;
  uint32_t any = 0;
  for (size_t i = 0; i < count; ++i, src += step) {
    const uint32_t v = Load16(src);
    if (v == 0) {  // black in every format: the common case, cheaply
      cells[i] = 0;
      continue;
    }
    const uint32_t colour = (((v & rm) << rd) & 0xFF0000) + (((v & gm) << gd) & 0xFF00) +
                            (((v & bm) << bd) & 0xFF);
    any |= cells[i] = LitCell(rule, colour);
  }
  return any != 0;
}

// 24 bits, and 32 bits whose fourth byte is ignored.
bool DecodeBgr(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
               uint32_t* cells, uint32_t* halves) {
  const RuleSteps rule = k.rule;
  uint32_t any = 0;
  for (size_t i = 0; i < count; ++i, src += step) {
    const uint32_t cell = LitCell(rule, Load24(src));
    cells[i] = cell;
    halves[i] = cell == 0 ? 0 : kLitCell | HalfShare(cell);
    any |= cell;
  }
  return any != 0;
}

// --- composing --------------------------------------------------------------------

// Replays the writes that survive onto one pixel: own opaque write, or the old value
// mixed with the upper and left neighbours; then the right and the lower ones.
template <class Depth>
inline void ComposePixel(const Depth& depth, uint8_t* out, uint32_t up, uint32_t left,
                         uint32_t own, uint32_t right, uint32_t down) {
  if ((up | left | own | right | down) == 0) return;
  typename Depth::Value v;
  if (own != 0) {
    v = depth.Opaque(own);
  } else {
    v = depth.Load(out);
    if (up != 0) v = depth.Mix(v, up);
    if (left != 0) v = depth.Mix(v, left);
  }
  if (right != 0) v = depth.Mix(v, right);
  if (down != 0) v = depth.Mix(v, down);
  depth.Store(out, v);
}

template <class Depth>
inline void ComposeRowWith(const Depth& depth, uint8_t* out, const ComposeRows& rows,
                           size_t count) {
  for (size_t i = 0; i < count; ++i, out += Depth::kBytes)
    ComposePixel(depth, out, rows.up[i], rows.left[i], rows.own[i], rows.right[i], rows.down[i]);
}

// A block's left pixel gets no write from the right block, its right pixel none from
// the left block.
template <class Depth>
inline void ComposeBlocksWith(const Depth& depth, uint8_t* out, const uint32_t* above,
                              const BlockRow& row, const uint32_t* below, size_t blocks) {
  for (size_t i = 0; i < blocks; ++i, out += 2 * Depth::kBytes) {
    const uint32_t own = row.cells[i], up = above[i], down = below[i];
    ComposePixel(depth, out, up, *(row.neighbours + i - 1), own, 0, down);
    ComposePixel(depth, out + Depth::kBytes, up, 0, own, row.neighbours[i + 1], down);
  }
}

// 8 bits: palette indices through the per-pass tables.
struct Depth8 {
  static constexpr size_t kBytes = 1;
  using Value = uint32_t;
  const KernelContext& k;
  Value Load(const uint8_t* p) const { return *p; }
  Value Opaque(uint32_t cell) const { return (cell >> 16) & 0xFF; }
  Value Mix(Value index, uint32_t cell) const {
    uint32_t level = uint32_t{k.keep8[index]} + (cell & 0xFF);
    if (level > 255) level = 255;
    return k.ramp8[level];
  }
  void Store(uint8_t* p, Value v) const { *p = static_cast<uint8_t>(v); }
};

// 16 bits: every write packs into the pixel and the next one unpacks it again, losing
// the low bits, exactly as the writer does.
struct Depth16 {
  static constexpr size_t kBytes = 2;
  using Value = uint32_t;
  PixelFormatInfo f;  // a copy, which the pixel stores cannot alias
  Value Pack(uint32_t r, uint32_t g, uint32_t b) const {
    return ((((r << 16) >> f.redDownshift) & f.redMask) +
            (((g << 8) >> f.greenDownshift) & f.greenMask) + ((b >> f.blueDownshift) & f.blueMask)) &
           0xFFFF;
  }
  Value Load(const uint8_t* p) const { return Load16(p); }
  Value Opaque(uint32_t cell) const {
    return Pack((cell >> 16) & 0xFF, (cell >> 8) & 0xFF, cell & 0xFF);
  }
  Value Mix(Value old, uint32_t cell) const {
    const uint32_t oldR = (((old & f.redMask) << f.redDownshift) >> 16) & 0xFF;
    const uint32_t oldG = (((old & f.greenMask) << f.greenDownshift) >> 8) & 0xFF;
    const uint32_t oldB = ((old & f.blueMask) << f.blueDownshift) & 0xFF;
    const uint32_t r = (cell >> 16) & 0xFF, g = (cell >> 8) & 0xFF, b = cell & 0xFF;
    const uint32_t newR = ((oldR * 129 + r * 127) >> 8) & 0xFF;
    const uint32_t newG = ((oldG * 129 + g * 127) >> 8) & 0xFF;
    const uint32_t newB = ((oldB * 129 >> 8) + (b * 127 >> 8)) & 0xFF;
    return Pack(newR, newG, newB);
  }
  void Store(uint8_t* p, Value v) const {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  }
};

// 16 bits whose fields behave (see LanesAreExact): a field widened back to 8 bits is
// the channel with its low bits cleared, so a chain of writes can stay in 8-bit lanes,
// cleared after each write as the packing would, and be packed once at the end.
struct Depth16Lanes {
  static constexpr size_t kBytes = 2;
  using Value = uint64_t;
  uint64_t keep;  // per lane, the bits that survive packing
  uint32_t rm, gm, bm, rd, gd, bd;
  Value Load(const uint8_t* p) const {
    const uint32_t v = Load16(p);
    return SpreadLanes((((v & rm) << rd) & 0xFF0000) | (((v & gm) << gd) & 0xFF00) |
                       (((v & bm) << bd) & 0xFF));
  }
  Value Opaque(uint32_t cell) const { return SpreadLanes(cell) & keep; }
  Value Mix(Value old, uint32_t cell) const {
    const uint64_t a = old * 129, b = SpreadLanes(cell) * 127;  // no lane passes 65280
    const uint64_t joint = ((a + b) >> 8) & kLaneLow;           // red, green: one division
    const uint64_t split = ((a >> 8) & kLaneLow) + ((b >> 8) & kLaneLow);  // blue: two floors
    return ((joint & ~uint64_t{0xFFFF}) | (split & 0xFFFF)) & keep;
  }
  void Store(uint8_t* p, Value v) const {
    const uint32_t c = GatherLanes(v);
    const uint32_t packed = ((((c & 0xFF0000)) >> rd) & rm) + ((((c & 0xFF00)) >> gd) & gm) +
                            (((c & 0xFF) >> bd) & bm);
    p[0] = static_cast<uint8_t>(packed);
    p[1] = static_cast<uint8_t>(packed >> 8);
  }
};

// 24 and 32 bits: channels in lanes; neighbours come as halves.
template <size_t Bytes>
struct DepthBgr {
  static constexpr size_t kBytes = Bytes;
  using Value = uint64_t;
  Value Load(const uint8_t* p) const { return SpreadLanes(Load24(p)); }
  Value Opaque(uint32_t cell) const { return SpreadLanes(cell); }
  Value Mix(Value old, uint32_t half) const {
    return (((old * 129) >> 8) & kLaneLow) + SpreadLanes(half);
  }
  void Store(uint8_t* p, Value v) const {
    const uint32_t c = GatherLanes(v);
    p[0] = static_cast<uint8_t>(c);
    p[1] = static_cast<uint8_t>(c >> 8);
    p[2] = static_cast<uint8_t>(c >> 16);
    if constexpr (Bytes == 4) p[3] = 0xFF;
  }
};

void Compose8(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeRowWith(Depth8{k}, out, rows, count);
}

void Compose16(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeRowWith(Depth16{k.info}, out, rows, count);
}

Depth16Lanes LanesOf(const KernelContext& k) {
  const PixelFormatInfo& f = k.info;
  return Depth16Lanes{SpreadLanes(k.keep16), f.redMask,      f.greenMask,    f.blueMask,
                      f.redDownshift,        f.greenDownshift, f.blueDownshift};
}

void Compose16Lanes(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeRowWith(LanesOf(k), out, rows, count);
}

void ComposeBlocks16Lanes(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(LanesOf(k), out, above, row, below, blocks);
}

void Compose24(const KernelContext&, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeRowWith(DepthBgr<3>{}, out, rows, count);
}

void ComposeBlocks8(const KernelContext& k, uint8_t* out, const uint32_t* above,
                    const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Depth8{k}, out, above, row, below, blocks);
}

void ComposeBlocks16(const KernelContext& k, uint8_t* out, const uint32_t* above,
                     const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Depth16{k.info}, out, above, row, below, blocks);
}

void ComposeBlocks24(const KernelContext&, uint8_t* out, const uint32_t* above,
                     const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(DepthBgr<3>{}, out, above, row, below, blocks);
}

}  // namespace

bool Decode32Plain(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                   uint32_t* cells, uint32_t* halves) {
  return DecodeBgr(k, src, step, count, cells, halves);
}

void Compose32Plain(const KernelContext&, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeRowWith(DepthBgr<4>{}, out, rows, count);
}

void ComposeBlocks32Plain(const KernelContext&, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(DepthBgr<4>{}, out, above, row, below, blocks);
}

#if defined(LUMENFALL_X86_KERNELS)
// Only the vector kernels take this road; elsewhere (WebAssembly) it is not built.
namespace {

// 24 bits through the 32-bit kernels: a chunk of pixels is widened to four bytes,
// worked on, and narrowed back. The fourth byte is never looked at.
constexpr size_t kChunk = 256;

// Every pixel but the last is read and written as four bytes: the extra byte belongs
// to the next pixel of the chunk, which is read as it was and written after.
inline void Widen(const uint8_t* src, size_t step, size_t count, uint32_t* wide) {
  if (count == 0) return;
  for (size_t i = 0; i + 1 < count; ++i, src += step) {
    uint32_t v;
    std::memcpy(&v, src, 4);
    wide[i] = v;
  }
  wide[count - 1] = Load24(src);
}

inline void Narrow(const uint32_t* wide, size_t count, uint8_t* out) {
  if (count == 0) return;
  for (size_t i = 0; i + 1 < count; ++i, out += 3) std::memcpy(out, &wide[i], 4);
  const uint32_t last = wide[count - 1];
  out[0] = static_cast<uint8_t>(last);
  out[1] = static_cast<uint8_t>(last >> 8);
  out[2] = static_cast<uint8_t>(last >> 16);
}

inline uint8_t* Bytes(uint32_t* wide) { return reinterpret_cast<uint8_t*>(wide); }

}  // namespace

template <DecodeRowFn Decode32>
bool Decode24Via32(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                   uint32_t* cells, uint32_t* halves) {
  uint32_t wide[kChunk];
  bool any = false;
  for (size_t done = 0; done < count; done += kChunk) {
    const size_t n = count - done < kChunk ? count - done : kChunk;
    Widen(src + done * step, step, n, wide);
    any = Decode32(k, Bytes(wide), 4, n, cells + done, halves + done) || any;
  }
  return any;
}

template <ComposeRowFn Compose32>
void Compose24Via32(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  uint32_t wide[kChunk];
  for (size_t done = 0; done < count; done += kChunk) {
    const size_t n = count - done < kChunk ? count - done : kChunk;
    Widen(out + done * 3, 3, n, wide);
    const ComposeRows part{rows.up + done, rows.left + done, rows.own + done, rows.right + done,
                           rows.down + done};
    Compose32(k, Bytes(wide), part, n);
    Narrow(wide, n, out + done * 3);
  }
}

template <ComposeBlockRowFn ComposeBlocks32>
void ComposeBlocks24Via32(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks) {
  constexpr size_t kBlocks = kChunk / 2;
  uint32_t wide[kChunk];
  for (size_t done = 0; done < blocks; done += kBlocks) {
    const size_t n = blocks - done < kBlocks ? blocks - done : kBlocks;
    Widen(out + done * 6, 3, 2 * n, wide);
    const BlockRow part{row.cells + done, row.neighbours + done};
    ComposeBlocks32(k, Bytes(wide), above + done, part, below + done, n);
    Narrow(wide, 2 * n, out + done * 6);
  }
}
#endif  // LUMENFALL_X86_KERNELS

}  // namespace blurkernels

namespace {

using namespace blurkernels;

SimdLevel gSimdLimit = SimdLevel::Avx2;

SimdLevel Detect() {
#if defined(LUMENFALL_AVX2_KERNELS)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return SimdLevel::Avx2;
  if (__builtin_cpu_supports("sse2")) return SimdLevel::Sse2;
#elif defined(LUMENFALL_X86_KERNELS)
  return SimdLevel::Sse2;  // built in: WebAssembly SIMD
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
    for (uint32_t v = 0; v < 256; ++v) {
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
  bool halves = false;  // neighbours are read from a row of halves
};

// Picks the kernels for the depth and fills what they need of the context.
bool Prepare(const DisplayState& display, ColourDecayRule rule, KernelContext& k, Kernels& out) {
  if (!StepsForRule(rule, k.rule)) return false;
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
      out = Kernels{Decode8, Compose8, ComposeBlocks8, 1, false};
      return true;
    }
    case 16:
      k.info = display.pixelInfo;
      out = Kernels{Decode16, Compose16, ComposeBlocks16, 2, false};
      if (LanesAreExact(k.info, k.keep16))
        out = Kernels{Decode16, Compose16Lanes, ComposeBlocks16Lanes, 2, false};
      return true;
    case 24:
      out = Kernels{DecodeBgr, Compose24, ComposeBlocks24, 3, true};
#if defined(LUMENFALL_X86_KERNELS)
      switch (ActiveSimdLevel()) {
        case SimdLevel::Avx2:
#if defined(LUMENFALL_AVX2_KERNELS)
          out = Kernels{Decode24Via32<Decode32Avx2>, Compose24Via32<Compose32Avx2>,
                        ComposeBlocks24Via32<ComposeBlocks32Avx2>, 3, true};
#endif
          break;
        case SimdLevel::Sse2:
          out = Kernels{Decode24Via32<Decode32Sse2>, Compose24Via32<Compose32Sse2>,
                        ComposeBlocks24Via32<ComposeBlocks32Sse2>, 3, true};
          break;
        case SimdLevel::None:
          break;
      }
#endif
      return true;
    case 32:
      out = Kernels{Decode32Plain, Compose32Plain, ComposeBlocks32Plain, 4, true};
#if defined(LUMENFALL_X86_KERNELS)
      switch (ActiveSimdLevel()) {
        case SimdLevel::Avx2:
#if defined(LUMENFALL_AVX2_KERNELS)
          out = Kernels{Decode32Avx2, Compose32Avx2, ComposeBlocks32Avx2, 4, true};
#endif
          break;
        case SimdLevel::Sse2:
          out = Kernels{Decode32Sse2, Compose32Sse2, ComposeBlocks32Sse2, 4, true};
          break;
        case SimdLevel::None:
          break;
      }
#endif
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
  const size_t rows = kernels.halves ? 7 : 4;
  CellScratch scratch(rowCells * rows);
  uint32_t* zero = scratch.Take(rowCells);
  DecodedRow ring[3];
  for (DecodedRow& r : ring) {
    r.cells = scratch.Take(rowCells);
    r.neighbours = kernels.halves ? scratch.Take(rowCells) : r.cells;
  }

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
                         bpp, interior, below.cells + 2,
                         kernels.halves ? below.neighbours + 2 : nullptr);
    }
    if (!above.lit && !current.lit && !below.lit) {  // nothing reaches this row
      above = current;
      current = below;
      continue;
    }
    ComposeRows rows5;
    rows5.up = above.neighbours + 1;
    rows5.left = current.neighbours;
    rows5.own = current.cells + 1;
    rows5.right = current.neighbours + 2;
    rows5.down = below.neighbours + 1;
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
  const size_t rows = kernels.halves ? 7 : 4;
  CellScratch scratch(rowCells * rows);
  uint32_t* zero = scratch.Take(rowCells) + 1;
  DecodedRow ring[3];
  for (DecodedRow& r : ring) {
    r.cells = scratch.Take(rowCells) + 1;
    r.neighbours = kernels.halves ? scratch.Take(rowCells) + 1 : r.cells;
  }

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
    const uint32_t nothing = 0, first = row.neighbours[0], last = row.neighbours[blocks - 1];
    kernels.compose(k, rowAt(y) + size_t(x0 - 1) * bpp,
                    ComposeRows{&nothing, &nothing, &nothing, &first, &nothing}, 1);
    kernels.compose(k, rowAt(y) + size_t(x0 + 2 * columns) * bpp,
                    ComposeRows{&nothing, &last, &nothing, &nothing, &nothing}, 1);
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

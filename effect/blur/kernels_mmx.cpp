// The 16-, 24- and 32-bit kernels with MMX, two pixels to a register, for the processors
// before SSE2. MMX registers are the x87 registers, which every Windows version saves on
// a task switch, so these are safe where SSE is not; each kernel empties the MMX state
// before it returns. The 32-bit blends are those of kernels_sse2.cpp, the 16-bit ones
// those of the Swar64 kernels' 8-bit lanes, with the few instructions MMX lacks (byte
// mask, shuffles) done another way.
#include <cstring>

#include "effect/blur/kernels.h"

#if defined(LUMENFALL_MMX_KERNELS)

#include <mmintrin.h>

#include "effect/blur/widen24.h"

#if defined(__i386__)
#define LUMENFALL_MMX __attribute__((target("mmx"), force_align_arg_pointer))
#else
#define LUMENFALL_MMX __attribute__((target("mmx")))
#endif

namespace lumenfall::blurkernels {

namespace {

constexpr int kAlpha = static_cast<int>(kLitCell);

LUMENFALL_MMX inline __m64 Load2(const void* p) {
  int lo, hi;
  std::memcpy(&lo, p, 4);
  std::memcpy(&hi, static_cast<const uint8_t*>(p) + 4, 4);
  return _mm_set_pi32(hi, lo);
}

LUMENFALL_MMX inline void Store2(void* p, __m64 v) {
  const int lo = _mm_cvtsi64_si32(v), hi = _mm_cvtsi64_si32(_mm_srli_si64(v, 32));
  std::memcpy(p, &lo, 4);
  std::memcpy(static_cast<uint8_t*>(p) + 4, &hi, 4);
}

LUMENFALL_MMX inline __m64 Select(__m64 mask, __m64 yes, __m64 no) {
  return _mm_or_si64(_mm_and_si64(mask, yes), _mm_andnot_si64(mask, no));
}

LUMENFALL_MMX inline __m64 Lit(__m64 v) { return _mm_srai_pi32(v, 31); }

LUMENFALL_MMX inline bool AllZero(__m64 v) {
  return _mm_cvtsi64_si32(_mm_or_si64(v, _mm_srli_si64(v, 32))) == 0;
}

LUMENFALL_MMX inline bool BothLit(__m64 v) {
  return _mm_cvtsi64_si32(_mm_and_si64(v, _mm_srli_si64(v, 32))) < 0;
}

// Cells of two colours (one in each half; the fourth byte is ignored).
LUMENFALL_MMX inline __m64 Cells(const RuleSteps& rule, __m64 pixels) {
  const __m64 twelve = _mm_set1_pi32(0x000C0C0C);
  const __m64 always = _mm_set1_pi32(static_cast<int>(rule.always));
  const __m64 colour = _mm_and_si64(pixels, _mm_set1_pi32(0x00FFFFFF));
  const __m64 black = _mm_cmpeq_pi32(colour, _mm_setzero_si64());
  __m64 c = _mm_subs_pu8(colour, _mm_and_si64(always, twelve));
  const __m64 gone = _mm_cmpeq_pi32(_mm_and_si64(c, always), _mm_setzero_si64());
  const __m64 conditional = _mm_set1_pi32(static_cast<int>(rule.conditional));
  c = _mm_subs_pu8(c, _mm_and_si64(gone, _mm_and_si64(conditional, twelve)));
  return _mm_andnot_si64(black, _mm_or_si64(c, _mm_set1_pi32(kAlpha)));
}

// c x 127 of the low and the high pixel's channels, in 16-bit lanes.
struct Products {
  __m64 lo, hi;
};

LUMENFALL_MMX inline Products TimesGive(__m64 cells) {
  const __m64 zero = _mm_setzero_si64(), give = _mm_set1_pi16(127);
  return Products{_mm_mullo_pi16(_mm_unpacklo_pi8(cells, zero), give),
                  _mm_mullo_pi16(_mm_unpackhi_pi8(cells, zero), give)};
}

LUMENFALL_MMX inline __m64 Halves(__m64 cells, const Products& p) {
  const __m64 shares = _mm_packs_pu16(_mm_srli_pi16(p.lo, 8), _mm_srli_pi16(p.hi, 8));
  return _mm_or_si64(_mm_and_si64(shares, _mm_set1_pi32(0x00FFFFFF)),
                     _mm_and_si64(cells, _mm_set1_pi32(kAlpha)));
}

LUMENFALL_MMX inline __m64 Fractions(const Products& p) {
  const __m64 low = _mm_set1_pi16(0xFF);
  const __m64 rest = _mm_packs_pu16(_mm_srli_pi16(_mm_and_si64(p.lo, low), 1),
                                    _mm_srli_pi16(_mm_and_si64(p.hi, low), 1));
  return _mm_and_si64(rest, _mm_set1_pi32(0x00FFFF00));
}

// 24 and 32 bits: floor(v x 129 / 256) + half per byte, the fourth byte 0xFF.
LUMENFALL_MMX inline __m64 Mix32(__m64 v, __m64 half) {
  const __m64 kept = _mm_add_pi8(
      _mm_and_si64(_mm_srli_pi16(v, 1), _mm_set1_pi8(0x7F)),
      _mm_and_si64(_mm_and_si64(v, _mm_srli_pi16(v, 7)), _mm_set1_pi8(1)));
  return _mm_or_si64(_mm_add_pi8(kept, half), _mm_set1_pi32(kAlpha));
}

// 16 bits: pixels widened in 32-bit lanes, as in the SSE2 kernels.
struct Fields {
  __m64 red, green, blue, keep;
  __m64 redShift, greenShift, blueShift;
};

LUMENFALL_MMX inline Fields FieldsOf(const KernelContext& k) {
  const PixelFormatInfo& f = k.info;
  return Fields{_mm_set1_pi32(static_cast<int>(f.redMask)),
                _mm_set1_pi32(static_cast<int>(f.greenMask)),
                _mm_set1_pi32(static_cast<int>(f.blueMask)),
                _mm_set1_pi32(static_cast<int>(k.keep16)),
                _mm_cvtsi32_si64(static_cast<int>(f.redDownshift)),
                _mm_cvtsi32_si64(static_cast<int>(f.greenDownshift)),
                _mm_cvtsi32_si64(static_cast<int>(f.blueDownshift))};
}

LUMENFALL_MMX inline __m64 Widen(const Fields& f, __m64 v) {
  const __m64 r = _mm_and_si64(_mm_sll_pi32(_mm_and_si64(v, f.red), f.redShift),
                               _mm_set1_pi32(0xFF0000));
  const __m64 g = _mm_and_si64(_mm_sll_pi32(_mm_and_si64(v, f.green), f.greenShift),
                               _mm_set1_pi32(0xFF00));
  const __m64 b = _mm_and_si64(_mm_sll_pi32(_mm_and_si64(v, f.blue), f.blueShift),
                               _mm_set1_pi32(0xFF));
  return _mm_or_si64(r, _mm_or_si64(g, b));
}

LUMENFALL_MMX inline __m64 Pack(const Fields& f, __m64 c) {
  const __m64 r =
      _mm_and_si64(_mm_srl_pi32(_mm_and_si64(c, _mm_set1_pi32(0xFF0000)), f.redShift), f.red);
  const __m64 g =
      _mm_and_si64(_mm_srl_pi32(_mm_and_si64(c, _mm_set1_pi32(0xFF00)), f.greenShift), f.green);
  const __m64 b =
      _mm_and_si64(_mm_srl_pi32(_mm_and_si64(c, _mm_set1_pi32(0xFF)), f.blueShift), f.blue);
  return _mm_or_si64(r, _mm_or_si64(g, b));
}

LUMENFALL_MMX inline __m64 Mix16(const Fields& f, __m64 v, __m64 half, __m64 fraction) {
  const __m64 kept = _mm_and_si64(_mm_srli_pi16(v, 1), _mm_set1_pi8(0x7F));
  const __m64 carry =
      _mm_and_si64(_mm_srli_pi16(_mm_add_pi8(kept, fraction), 7), _mm_set1_pi8(1));
  const __m64 shares = _mm_and_si64(half, _mm_set1_pi32(0x00FFFFFF));
  const __m64 sum = _mm_add_pi8(_mm_add_pi8(kept, shares), carry);
  return _mm_or_si64(_mm_and_si64(sum, f.keep), _mm_set1_pi32(kAlpha));
}

// Two 16-bit pixels in and out of 32-bit lanes.
LUMENFALL_MMX inline __m64 LoadPixels16(const uint8_t* p) {
  int raw;
  std::memcpy(&raw, p, 4);
  return _mm_unpacklo_pi16(_mm_cvtsi32_si64(raw), _mm_setzero_si64());
}

LUMENFALL_MMX inline void StorePixels16(const Fields& f, uint8_t* p, __m64 v, __m64 raw) {
  __m64 x = Select(Lit(v), Pack(f, v), raw);
  x = _mm_srai_pi32(_mm_slli_pi32(x, 16), 16);
  const int packed = _mm_cvtsi64_si32(_mm_packs_pi32(x, x));
  std::memcpy(p, &packed, 4);
}

LUMENFALL_MMX inline __m64 Opaque16(const Fields& f, __m64 own) {
  return _mm_or_si64(_mm_and_si64(own, f.keep), _mm_set1_pi32(kAlpha));
}

LUMENFALL_MMX inline __m64 Source32(const uint8_t* p, size_t step) {
  int a, b;
  std::memcpy(&a, p, 4);
  std::memcpy(&b, p + step, 4);
  return _mm_set_pi32(b, a);
}

LUMENFALL_MMX inline __m64 Source16(const uint8_t* p, size_t step) {
  return _mm_set_pi32(p[step] | (p[step + 1] << 8), p[0] | (p[1] << 8));
}

LUMENFALL_MMX inline __m64 Both(uint32_t v) { return _mm_set1_pi32(static_cast<int>(v)); }

LUMENFALL_MMX inline __m64 Pair(uint32_t lo, uint32_t hi) {
  return _mm_set_pi32(static_cast<int>(hi), static_cast<int>(lo));
}

// The left pixel of a block is the low half, the right pixel the high half.
LUMENFALL_MMX inline __m64 RightPixel() { return _mm_set_pi32(-1, 0); }

}  // namespace

LUMENFALL_MMX bool Decode32_Mmx(const KernelContext& k, const uint8_t* src, size_t step,
                                size_t count, uint32_t* cells, uint32_t* halves) {
  __m64 any = _mm_setzero_si64();
  size_t i = 0;
  for (; i + 2 <= count; i += 2) {
    const __m64 c = Cells(k.rule, Source32(src + i * step, step));
    any = _mm_or_si64(any, c);
    Store2(cells + i, c);
    Store2(halves + i, Halves(c, TimesGive(c)));
  }
  const bool lit = !AllZero(any);
  _mm_empty();
  return Decode32_Swar64(k, src + i * step, step, count - i, cells + i, halves + i) || lit;
}

LUMENFALL_MMX void Compose32_Mmx(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                                 size_t count) {
  size_t i = 0;
  for (; i + 2 <= count; i += 2) {
    const __m64 up = Load2(rows.up + i), left = Load2(rows.left + i), own = Load2(rows.own + i);
    const __m64 right = Load2(rows.right + i), down = Load2(rows.down + i);
    if (AllZero(_mm_or_si64(_mm_or_si64(_mm_or_si64(up, left), _mm_or_si64(own, right)), down)))
      continue;
    uint8_t* at = out + i * 4;
    const __m64 ownLit = Lit(own);
    __m64 v;
    if (BothLit(ownLit)) {
      v = own;  // the own writes wipe out the upper and left ones
      if (BothLit(_mm_and_si64(right, down))) {  // inside a lit area
        Store2(at, Mix32(Mix32(v, right), down));
        continue;
      }
    } else {
      v = Load2(at);
      v = Select(Lit(up), Mix32(v, up), v);
      v = Select(Lit(left), Mix32(v, left), v);
      v = Select(ownLit, own, v);
    }
    v = Select(Lit(right), Mix32(v, right), v);
    v = Select(Lit(down), Mix32(v, down), v);
    Store2(at, v);
  }
  _mm_empty();
  if (i < count) {
    const ComposeRows rest{rows.up + i, rows.left + i, rows.own + i, rows.right + i, rows.down + i};
    Compose32_Swar64(k, out + i * 4, rest, count - i);
  }
}

LUMENFALL_MMX void ComposeBlocks32_Mmx(const KernelContext&, uint8_t* out, const uint32_t* above,
                                       const BlockRow& row, const uint32_t* below, size_t blocks) {
  for (size_t i = 0; i < blocks; ++i) {
    const __m64 own = _mm_set1_pi32(static_cast<int>(row.cells[i]));
    const __m64 up = _mm_set1_pi32(static_cast<int>(above[i]));
    const __m64 down = _mm_set1_pi32(static_cast<int>(below[i]));
    const __m64 side = _mm_set_pi32(static_cast<int>(row.neighbours[i + 1]),
                                    static_cast<int>(row.neighbours[i - 1]));
    if (AllZero(_mm_or_si64(_mm_or_si64(own, up), _mm_or_si64(side, down)))) continue;
    uint8_t* at = out + i * 8;
    __m64 v;
    if (BothLit(own)) {  // the left pixel's fringe lands before the own write, the right's after
      v = Select(_mm_and_si64(RightPixel(), Lit(side)), Mix32(own, side), own);
    } else {
      v = Load2(at);
      v = Select(Lit(up), Mix32(v, up), v);
      v = Select(Lit(side), Mix32(v, side), v);
    }
    v = Select(Lit(down), Mix32(v, down), v);
    Store2(at, v);
  }
  _mm_empty();
}

LUMENFALL_MMX bool Decode16Lanes_Mmx(const KernelContext& k, const uint8_t* src, size_t step,
                                     size_t count, uint32_t* cells, uint32_t* halves) {
  const Fields f = FieldsOf(k);
  const size_t fo = k.fractionOffset;
  __m64 any = _mm_setzero_si64();
  size_t i = 0;
  for (; i + 2 <= count; i += 2) {
    const __m64 c = Cells(k.rule, Widen(f, Source16(src + i * step, step)));
    any = _mm_or_si64(any, c);
    const Products p = TimesGive(c);
    Store2(cells + i, c);
    Store2(halves + i, Halves(c, p));
    Store2(halves + i + fo, Fractions(p));
  }
  const bool lit = !AllZero(any);
  _mm_empty();
  return Decode16Lanes_Swar64(k, src + i * step, step, count - i, cells + i, halves + i) || lit;
}

LUMENFALL_MMX void Compose16Lanes_Mmx(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                                      size_t count) {
  const Fields f = FieldsOf(k);
  const size_t fo = k.fractionOffset;
  size_t i = 0;
  for (; i + 2 <= count; i += 2) {
    const __m64 up = Load2(rows.up + i), left = Load2(rows.left + i), own = Load2(rows.own + i);
    const __m64 right = Load2(rows.right + i), down = Load2(rows.down + i);
    if (AllZero(_mm_or_si64(_mm_or_si64(_mm_or_si64(up, left), _mm_or_si64(own, right)), down)))
      continue;
    uint8_t* at = out + i * 2;
    const __m64 ownLit = Lit(own);
    __m64 raw, v;
    if (BothLit(ownLit)) {
      raw = _mm_setzero_si64();  // both pixels are written
      v = Opaque16(f, own);
      if (BothLit(_mm_and_si64(right, down))) {  // inside a lit area
        v = Mix16(f, v, right, Load2(rows.right + i + fo));
        StorePixels16(f, at, Mix16(f, v, down, Load2(rows.down + i + fo)), raw);
        continue;
      }
    } else {
      raw = LoadPixels16(at);
      v = Widen(f, raw);
      v = Select(Lit(up), Mix16(f, v, up, Load2(rows.up + i + fo)), v);
      v = Select(Lit(left), Mix16(f, v, left, Load2(rows.left + i + fo)), v);
      v = Select(ownLit, Opaque16(f, own), v);
    }
    v = Select(Lit(right), Mix16(f, v, right, Load2(rows.right + i + fo)), v);
    v = Select(Lit(down), Mix16(f, v, down, Load2(rows.down + i + fo)), v);
    StorePixels16(f, at, v, raw);
  }
  _mm_empty();
  if (i < count) {
    const ComposeRows rest{rows.up + i, rows.left + i, rows.own + i, rows.right + i, rows.down + i};
    Compose16Lanes_Swar64(k, out + i * 2, rest, count - i);
  }
}

LUMENFALL_MMX void ComposeBlocks16Lanes_Mmx(const KernelContext& k, uint8_t* out,
                                            const uint32_t* above, const BlockRow& row,
                                            const uint32_t* below, size_t blocks) {
  const Fields f = FieldsOf(k);
  const size_t fo = k.fractionOffset;
  for (size_t i = 0; i < blocks; ++i) {
    const __m64 own = Both(row.cells[i]), up = Both(above[i]), down = Both(below[i]);
    const __m64 side = Pair(row.neighbours[i - 1], row.neighbours[i + 1]);
    if (AllZero(_mm_or_si64(_mm_or_si64(own, up), _mm_or_si64(side, down)))) continue;
    const __m64 sideFraction = Pair(row.neighbours[i - 1 + fo], row.neighbours[i + 1 + fo]);
    uint8_t* at = out + i * 4;
    __m64 raw, v;
    if (BothLit(own)) {
      raw = _mm_setzero_si64();
      v = Opaque16(f, own);
      v = Select(_mm_and_si64(RightPixel(), Lit(side)), Mix16(f, v, side, sideFraction), v);
    } else {
      raw = LoadPixels16(at);
      v = Widen(f, raw);
      v = Select(Lit(up), Mix16(f, v, up, Both(above[i + fo])), v);
      v = Select(Lit(side), Mix16(f, v, side, sideFraction), v);
    }
    v = Select(Lit(down), Mix16(f, v, down, Both(below[i + fo])), v);
    StorePixels16(f, at, v, raw);
  }
  _mm_empty();
}

bool Decode24_Mmx(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                  uint32_t* cells, uint32_t* halves) {
  return Decode24Via32<Decode32_Mmx>(k, src, step, count, cells, halves);
}

void Compose24_Mmx(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  Compose24Via32<Compose32_Mmx>(k, out, rows, count);
}

void ComposeBlocks24_Mmx(const KernelContext& k, uint8_t* out, const uint32_t* above,
                         const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocks24Via32<ComposeBlocks32_Mmx>(k, out, above, row, below, blocks);
}

}  // namespace lumenfall::blurkernels

#endif  // LUMENFALL_MMX_KERNELS

// The MMX kernels, for the processors before SSE2: 32 bits two pixels to a register, 24
// bits too (spread to four bytes a pixel on the way in and out), and 16 bits in 16-bit
// lanes, four pixels to a register (see planes16.h). The MMX registers are the x87 ones,
// which every Windows version saves on a task switch, so these are safe where SSE is
// not. Every kernel ends with emms, so that x87 code after it finds its registers free;
// nothing between a kernel's first MMX instruction and its emms uses x87.
//
// The 32-bit blends are those of kernels_sse2.cpp, with what MMX lacks (byte masks,
// shuffles, movemask) done another way. Constants come from memory: built in general
// registers they would reach an MMX register through the stack in two halves, whose
// load waits for both stores.
#include <cstring>

#include "effect/blur/kernels.h"

#if defined(LUMENFALL_MMX_KERNELS)

#include <mmintrin.h>

#include "effect/blur/kernels_x86.h"

// Everything here is chosen only when the processor has MMX, the last pixels too.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("mmx"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("mmx")
#endif

#include "effect/blur/planes16.h"

namespace lumenfall::blurkernels {

namespace {

using V = __m64;

// The constants, read from memory through a pointer whose value the compiler does not
// see: knowing them, it builds them in general registers, and they reach an MMX register
// through the stack in two halves, whose load waits for both stores.
enum Named : int {
  kColour, kAlpha, kLow7, kEnds, kRightPixel, kLow24, kHigh24, kTwelve, kGive, kLeftPixels,
  kLaneIndex, kLanes12, kLanes127, kLanesAll, kNamed
};
alignas(64) constexpr uint64_t kConstants[kNamed] = {
    0x00FFFFFF00FFFFFFull, 0xFF000000FF000000ull, 0x7F7F7F7F7F7F7F7Full, 0x8181818181818181ull,
    0xFFFFFFFF00000000ull, 0x0000000000FFFFFFull, 0x00FFFFFF00000000ull, 0x000C0C0C000C0C0Cull,
    0x0100007F007F007Full, 0x0000FFFF0000FFFFull, 0x0003000200010000ull, 0x000C000C000C000Cull,
    0x007F007F007F007Full, 0xFFFFFFFFFFFFFFFFull};

inline V Constant(Named n) {
  const uint64_t* table = kConstants;
  asm("" : "+r"(table));
  V v;
  std::memcpy(&v, table + n, 8);
  return v;
}

// Eight bytes in and out of an MMX register. On i386 the copy is spelled out: GCC would
// otherwise often read them into two general registers and hand them over through the
// stack, which costs more than the rest of a pixel's work.
using Bytes8 = uint64_t __attribute__((may_alias, aligned(1)));

inline V Load(const void* p) {
  V v;
#if defined(__i386__) && defined(__GNUC__) && !defined(__clang__)
  asm("movq %1, %0" : "=y"(v) : "m"(*static_cast<const Bytes8*>(p)));
#else
  std::memcpy(&v, p, 8);
#endif
  return v;
}

inline void Store(void* p, V v) {
#if defined(__i386__) && defined(__GNUC__) && !defined(__clang__)
  asm("movq %1, %0" : "=m"(*static_cast<Bytes8*>(p)) : "y"(v));
#else
  std::memcpy(p, &v, 8);
#endif
}

inline V Load32(const void* p) {
  int v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si64(v);
}

inline V Select(V mask, V yes, V no) {
  return _mm_or_si64(_mm_and_si64(mask, yes), _mm_andnot_si64(mask, no));
}

// All ones in the lit pixels (their top bit is set; an unlit cell is 0).
inline V Lit(V cells) { return _mm_srai_pi32(cells, 31); }

inline bool AllZero(V v) { return _mm_cvtsi64_si32(_mm_or_si64(v, _mm_srli_si64(v, 32))) == 0; }

// --- 24 and 32 bits ------------------------------------------------------------------

// The rule's steps for two pixels.
struct Rule {
  V always, alwaysSteps, conditionalSteps;
};

inline Rule RuleOf(const RuleSteps& rule) {
  const V always = _mm_set1_pi32(static_cast<int>(rule.always));
  const V conditional = _mm_set1_pi32(static_cast<int>(rule.conditional));
  const V twelve = Constant(kTwelve);
  return Rule{always, _mm_and_si64(always, twelve), _mm_and_si64(conditional, twelve)};
}

// The cells of two source pixels (B, G, R, X each).
inline V Cells(const Rule& rule, V pixels) {
  const V colour = _mm_and_si64(pixels, Constant(kColour));
  const V black = _mm_cmpeq_pi32(colour, _mm_setzero_si64());
  V c = _mm_subs_pu8(colour, rule.alwaysSteps);  // level > 12 ? level - 12 : 0
  const V gone = _mm_cmpeq_pi32(_mm_and_si64(c, rule.always), _mm_setzero_si64());
  c = _mm_subs_pu8(c, _mm_and_si64(gone, rule.conditionalSteps));
  return _mm_andnot_si64(black, _mm_or_si64(c, Constant(kAlpha)));
}

// Their halves: floor(c x 127 / 256) per channel, 0xFF on top when lit (the fourth byte,
// 0xFF or 0, is multiplied by 256).
inline V Halves(V cells) {
  const V zero = _mm_setzero_si64(), give = Constant(kGive);
  const V lo = _mm_srli_pi16(_mm_mullo_pi16(_mm_unpacklo_pi8(cells, zero), give), 8);
  const V hi = _mm_srli_pi16(_mm_mullo_pi16(_mm_unpackhi_pi8(cells, zero), give), 8);
  return _mm_packs_pu16(lo, hi);
}

// The colour bytes of old mixed at 0x7F with a neighbour whose half is given: the fourth
// byte is left for the caller to set.
inline V MixColour(V old, V half) {
  // (v >> 1) + (v & 1 & v >> 7): the second part is -1 where bits 0 and 7 are both set.
  const V ends = _mm_cmpeq_pi8(_mm_and_si64(old, Constant(kEnds)), Constant(kEnds));
  const V kept = _mm_sub_pi8(_mm_and_si64(_mm_srli_pi16(old, 1), Constant(kLow7)), ends);
  return _mm_add_pi8(kept, half);
}

// The same with the fourth byte 0xFF.
inline V Mix(V old, V half) { return _mm_or_si64(MixColour(old, half), Constant(kAlpha)); }

// Whether both 32-bit lanes have their top bit set.
inline bool BothNegative(V v) {
  return _mm_cvtsi64_si32(_mm_and_si64(v, _mm_srli_si64(v, 32))) < 0;
}

// Two pixels of the full pass from their writers' cells and halves: inside a lit area
// (own, right and lower writers lit), or anywhere from the bytes they had.
inline V LitArea(V own, V right, V down) {
  return _mm_or_si64(MixColour(MixColour(own, right), down), Constant(kAlpha));
}

inline V Blend(V old, V up, V left, V own, V right, V down) {
  V v = Select(Lit(up), Mix(old, up), old);
  v = Select(Lit(left), Mix(v, left), v);
  v = Select(Lit(own), own, v);
  v = Select(Lit(right), Mix(v, right), v);
  return Select(Lit(down), Mix(v, down), v);
}

// Two pixels of the rough pass (a block's left one, then its right one): the left pixel
// takes the left block's fringe before its own write, the right pixel the right block's
// after it. own holds the block's cell in both lanes.
inline V BlockPixels(V old, V up, V own, V side, V down) {
  const V rightPixel = Constant(kRightPixel);
  const V ownLit = Lit(own);
  V v = Select(Lit(up), Mix(old, up), old);
  v = Select(_mm_and_si64(rightPixel, ownLit), own, v);
  v = Select(Lit(side), Mix(v, side), v);
  v = Select(_mm_andnot_si64(rightPixel, ownLit), own, v);
  return Select(Lit(down), Mix(v, down), v);
}

// The same where the own cell is lit: it wipes out the upper fringe, and the left one in
// the left pixel.
inline V LitBlockPixels(V own, V side, V down) {
  const V v = Select(_mm_and_si64(Constant(kRightPixel), Lit(side)), Mix(own, side), own);
  return Select(Lit(down), Mix(v, down), v);
}

// Whether the pixels from entry i to i + 3 all lie inside a lit area.
inline bool LitAreaTwice(const ComposeRows& r, size_t i) {
  const V low = _mm_and_si64(Load(r.own + i), _mm_and_si64(Load(r.right + i), Load(r.down + i)));
  const V high = _mm_and_si64(Load(r.own + i + 2),
                              _mm_and_si64(Load(r.right + i + 2), Load(r.down + i + 2)));
  return BothNegative(_mm_and_si64(low, high));
}

// Whether a writer of the pixels at entries i and i + 1 is lit, and what they become.
inline bool AnyLit(const ComposeRows& r, size_t i) {
  const V any = _mm_or_si64(_mm_or_si64(Load(r.up + i), Load(r.left + i)),
                            _mm_or_si64(Load(r.own + i), Load(r.right + i)));
  return !AllZero(_mm_or_si64(any, Load(r.down + i)));
}

inline V BlendAt(const ComposeRows& r, size_t i, V old) {
  return Blend(old, Load(r.up + i), Load(r.left + i), Load(r.own + i), Load(r.right + i),
               Load(r.down + i));
}

// Both lanes of one entry, and the entries before and after one (the side fringes of a
// block: the left block's for its left pixel, the right block's for its right pixel).
inline V Both(const uint32_t* p) {
  const V e = Load32(p);
  return _mm_unpacklo_pi32(e, e);
}

inline V Sides(const uint32_t* p) { return _mm_unpacklo_pi32(Load32(p - 1), Load32(p + 1)); }

// 24-bit pixels: two (6 bytes, read as 8) spread to four bytes each (the fourth, never
// looked at, holds the next byte), and back to the bottom 6 bytes of a register.
inline V Spread(V bytes) { return _mm_unpacklo_pi32(bytes, _mm_srli_si64(bytes, 24)); }

inline V Gather(V v) {
  return _mm_or_si64(_mm_and_si64(v, Constant(kLow24)),
                     _mm_srli_si64(_mm_and_si64(v, Constant(kHigh24)), 8));
}

// Four 24-bit pixels (12 bytes) as two registers; the load reaches 2 bytes past the
// fourth, the store writes the 12 bytes exactly.
struct Four24 {
  V low, high;
};

inline Four24 Load24(const uint8_t* p) { return Four24{Spread(Load(p)), Spread(Load(p + 6))}; }

inline void Store24(uint8_t* p, V low, V high) {
  const V a = Gather(low), b = Gather(high);
  Store(p, _mm_or_si64(a, _mm_slli_si64(b, 48)));
  const int rest = _mm_cvtsi64_si32(_mm_srli_si64(b, 16));
  std::memcpy(p + 8, &rest, 4);
}

// Decodes two source pixels into the cells and halves at entry 0.
inline V DecodeTwo(const Rule& rule, V pixels, uint32_t* cells, uint32_t* halves) {
  const V c = Cells(rule, pixels);
  Store(cells, c);
  Store(halves, Halves(c));
  return c;
}

// --- 16 bits in 16-bit lanes -----------------------------------------------------------

// Four pixels to a register, for planes16.h.
struct Four {
  using V = __m64;
  // Plain copies here: the planes' loads fold into the instructions that use them.
  static V Load(const uint16_t* p) {
    V v;
    std::memcpy(&v, p, 8);
    return v;
  }
  static void Store(uint16_t* p, V v) { std::memcpy(p, &v, 8); }
  static V LoadHalf(const uint16_t* p) { return Load32(p); }
  static V InterleaveLow(V a, V b) { return _mm_unpacklo_pi16(a, b); }
  // A known value from memory; any other through a general register, spread.
  static V Set(uint32_t v) {
    if (__builtin_constant_p(v) && v == 0) return _mm_setzero_si64();
    if (__builtin_constant_p(v) && v == 12) return Constant(kLanes12);
    if (__builtin_constant_p(v) && v == 127) return Constant(kLanes127);
    if (__builtin_constant_p(v) && v == 0xFFFF) return Constant(kLanesAll);
    const V x = _mm_cvtsi32_si64(static_cast<int>(v & 0xFFFF));
    const V pair = _mm_unpacklo_pi16(x, x);
    return _mm_unpacklo_pi32(pair, pair);
  }
  static V And(V a, V b) { return _mm_and_si64(a, b); }
  static V Or(V a, V b) { return _mm_or_si64(a, b); }
  static V Add(V a, V b) { return _mm_add_pi16(a, b); }
  static V Mul(V a, V b) { return _mm_mullo_pi16(a, b); }
  static V Srl(V a, uint32_t n) { return _mm_srl_pi16(a, _mm_cvtsi32_si64(static_cast<int>(n))); }
  static V Sll(V a, uint32_t n) { return _mm_sll_pi16(a, _mm_cvtsi32_si64(static_cast<int>(n))); }
  static V SubSat(V a, V b) { return _mm_subs_pu16(a, b); }
  static V Zero(V a) { return _mm_cmpeq_pi16(a, _mm_setzero_si64()); }
  static V Select(V mask, V yes, V no) { return blurkernels::Select(mask, yes, no); }
  static bool Any(V a) { return !AllZero(a); }
  static bool All(V a) { return _mm_cvtsi64_si32(_mm_and_si64(a, _mm_srli_si64(a, 32))) == -1; }
  static V Lanes(size_t from) {
    const V last = Set(static_cast<uint32_t>(static_cast<int>(from) - 1));
    return _mm_cmpgt_pi16(Constant(kLaneIndex), last);
  }
  static V LeftPixels() { return Constant(kLeftPixels); }
};

// Four source pixels step bytes apart (2 or 4). At 4 the loads also read the pixel after
// the last sample.
inline V LoadSamples(const uint8_t* p, size_t step) {
  if (step == 2) return blurkernels::Load(p);
  // Each sample's low 16 bits, sign-extended so that the signed packing keeps them.
  const V low = _mm_srai_pi32(_mm_slli_pi32(blurkernels::Load(p), 16), 16);
  const V high = _mm_srai_pi32(_mm_slli_pi32(blurkernels::Load(p + 8), 16), 16);
  return _mm_packs_pi32(low, high);
}

template <unsigned Always>
LUMENFALL_ALIGN_STACK bool Decode16Planes(const KernelContext& k, const uint8_t* src, size_t step,
                                          size_t count, uint32_t* cells, uint32_t*) {
  const bool any = DecodeRow<Four, Always>(k, src, step, count, cells, LoadSamples);
  _mm_empty();
  return any;
}

}  // namespace

LUMENFALL_ALIGN_STACK bool Decode32_Mmx(const KernelContext& k, const uint8_t* src, size_t step,
                                        size_t count, uint32_t* cells, uint32_t* halves) {
  const Rule rule = RuleOf(k.rule);
  V any = _mm_setzero_si64();
  size_t i = 0;
  if (step == 4) {
    for (; i + 4 <= count; i += 4) {
      const V low = DecodeTwo(rule, Load(src + i * 4), cells + i, halves + i);
      const V high = DecodeTwo(rule, Load(src + i * 4 + 8), cells + i + 2, halves + i + 2);
      any = _mm_or_si64(any, _mm_or_si64(low, high));
    }
    if (i + 2 <= count) {
      any = _mm_or_si64(any, DecodeTwo(rule, Load(src + i * 4), cells + i, halves + i));
      i += 2;
    }
  } else {
    for (; i + 2 <= count; i += 2) {
      const V pixels = _mm_unpacklo_pi32(Load32(src + i * step), Load32(src + (i + 1) * step));
      any = _mm_or_si64(any, DecodeTwo(rule, pixels, cells + i, halves + i));
    }
  }
  const bool lit = !AllZero(any);
  _mm_empty();
  return Decode32_Swar(k, src + i * step, step, count - i, cells + i, halves + i) || lit;
}

LUMENFALL_ALIGN_STACK void Compose32_Mmx(const KernelContext& k, uint8_t* out,
                                         const ComposeRows& rows, size_t count) {
  const ComposeRows r = rows;  // a copy, which the pixel stores cannot alias
  size_t i = 0;
  // Four pixels at a time: one test of a lit area for both pairs.
  for (; i + 4 <= count; i += 4, out += 16) {
    if (LitAreaTwice(r, i)) {
      Store(out, LitArea(Load(r.own + i), Load(r.right + i), Load(r.down + i)));
      Store(out + 8, LitArea(Load(r.own + i + 2), Load(r.right + i + 2), Load(r.down + i + 2)));
      continue;
    }
    for (size_t pair = i; pair < i + 4; pair += 2) {
      uint8_t* at = out + (pair - i) * 4;
      if (AnyLit(r, pair)) Store(at, BlendAt(r, pair, Load(at)));
    }
  }
  for (; i + 2 <= count; i += 2, out += 8) {
    if (AnyLit(r, i)) Store(out, BlendAt(r, i, Load(out)));
  }
  _mm_empty();
  if (i < count) {
    const ComposeRows rest{r.up + i, r.left + i, r.own + i, r.right + i, r.down + i};
    Compose32_Swar(k, out, rest, count - i);
  }
}

LUMENFALL_ALIGN_STACK void ComposeBlocks32_Mmx(const KernelContext&, uint8_t* out,
                                               const uint32_t* above, const BlockRow& row,
                                               const uint32_t* below, size_t blocks) {
  for (size_t i = 0; i < blocks; ++i, out += 8) {
    const V own = Both(row.cells + i), up = Both(above + i), down = Both(below + i);
    const V side = Sides(row.neighbours + i);
    if (static_cast<int32_t>(row.cells[i]) < 0) {
      Store(out, LitBlockPixels(own, side, down));
      continue;
    }
    if (AllZero(_mm_or_si64(_mm_or_si64(own, up), _mm_or_si64(side, down)))) continue;
    Store(out, BlockPixels(Load(out), up, own, side, down));
  }
  _mm_empty();
}

// 24 bits: four pixels at a time while a fifth follows (the loads reach into it).
LUMENFALL_ALIGN_STACK bool Decode24_Mmx(const KernelContext& k, const uint8_t* src, size_t step,
                                        size_t count, uint32_t* cells, uint32_t* halves) {
  const Rule rule = RuleOf(k.rule);
  V any = _mm_setzero_si64();
  size_t i = 0;
  if (step == 3) {
    for (; i + 5 <= count; i += 4) {
      const Four24 p = Load24(src + i * 3);
      any = _mm_or_si64(any, DecodeTwo(rule, p.low, cells + i, halves + i));
      any = _mm_or_si64(any, DecodeTwo(rule, p.high, cells + i + 2, halves + i + 2));
    }
  } else {  // each sample read as four bytes: while a third follows, the fourth is its own
    for (; i + 3 <= count; i += 2) {
      const V pixels = _mm_unpacklo_pi32(Load32(src + i * step), Load32(src + (i + 1) * step));
      any = _mm_or_si64(any, DecodeTwo(rule, pixels, cells + i, halves + i));
    }
  }
  const bool lit = !AllZero(any);
  _mm_empty();
  const DecodeRowFn rest = DecodeFor24_Swar(k);
  return rest(k, src + i * step, step, count - i, cells + i, halves + i) || lit;
}

LUMENFALL_ALIGN_STACK void Compose24_Mmx(const KernelContext& k, uint8_t* out,
                                         const ComposeRows& rows, size_t count) {
  const ComposeRows r = rows;  // a copy, which the pixel stores cannot alias
  size_t i = 0;
  for (; i + 5 <= count; i += 4, out += 12) {
    if (LitAreaTwice(r, i)) {
      Store24(out, LitArea(Load(r.own + i), Load(r.right + i), Load(r.down + i)),
              LitArea(Load(r.own + i + 2), Load(r.right + i + 2), Load(r.down + i + 2)));
      continue;
    }
    if (!AnyLit(r, i) && !AnyLit(r, i + 2)) continue;
    const Four24 old = Load24(out);
    Store24(out, BlendAt(r, i, old.low), BlendAt(r, i + 2, old.high));
  }
  _mm_empty();
  if (i < count) {
    const ComposeRows rest{r.up + i, r.left + i, r.own + i, r.right + i, r.down + i};
    Compose24_Swar(k, out, rest, count - i);
  }
}

// Two blocks (four pixels) at a time while a third follows.
LUMENFALL_ALIGN_STACK void ComposeBlocks24_Mmx(const KernelContext& k, uint8_t* out,
                                               const uint32_t* above, const BlockRow& row,
                                               const uint32_t* below, size_t blocks) {
  size_t i = 0;
  for (; i + 3 <= blocks; i += 2, out += 12) {
    const V own0 = Both(row.cells + i), up0 = Both(above + i), down0 = Both(below + i);
    const V own1 = Both(row.cells + i + 1), up1 = Both(above + i + 1);
    const V down1 = Both(below + i + 1);
    const V side0 = Sides(row.neighbours + i);
    const V side1 = Sides(row.neighbours + i + 1);
    if (static_cast<int32_t>(row.cells[i] & row.cells[i + 1]) < 0) {
      Store24(out, LitBlockPixels(own0, side0, down0), LitBlockPixels(own1, side1, down1));
      continue;
    }
    const V any = _mm_or_si64(_mm_or_si64(_mm_or_si64(own0, up0), _mm_or_si64(side0, down0)),
                              _mm_or_si64(_mm_or_si64(own1, up1), _mm_or_si64(side1, down1)));
    if (AllZero(any)) continue;
    const Four24 old = Load24(out);
    Store24(out, BlockPixels(old.low, up0, own0, side0, down0),
            BlockPixels(old.high, up1, own1, side1, down1));
  }
  _mm_empty();
  if (i < blocks) {
    const BlockRow rest{row.cells + i, row.neighbours + i};
    ComposeBlocks24_Swar(k, out, above + i, rest, below + i, blocks - i);
  }
}

DecodeRowFn DecodeFor16Planes_Mmx(const KernelContext& k) {
  constexpr DecodeRowFn kByRule[8] = {Decode16Planes<0>, Decode16Planes<1>, Decode16Planes<2>,
                                      Decode16Planes<3>, Decode16Planes<4>, Decode16Planes<5>,
                                      Decode16Planes<6>, Decode16Planes<7>};
  return kByRule[AlwaysChannels(k.rule)];
}

LUMENFALL_ALIGN_STACK void Compose16Planes_Mmx(const KernelContext& k, uint8_t* out,
                                               const ComposeRows& rows, size_t count) {
  ComposeRow<Four>(k, out, rows, count);
  _mm_empty();
}

LUMENFALL_ALIGN_STACK void ComposeBlocks16Planes_Mmx(const KernelContext& k, uint8_t* out,
                                                     const uint32_t* above, const BlockRow& row,
                                                     const uint32_t* below, size_t blocks) {
  ComposeBlockRow<Four, PairWriters<Four>, SideWriters<Four>>(k, out, above, row, below, blocks);
  _mm_empty();
}

}  // namespace lumenfall::blurkernels

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif  // LUMENFALL_MMX_KERNELS

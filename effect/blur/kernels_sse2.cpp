// The SSE2 kernels: 32 bits four pixels to a register, 24 bits widened to them, and 16
// bits in 16-bit lanes, eight pixels to a register (see planes16.h).
//
// A 0x7F blend of the colour c over the old byte v is floor(v x 129 / 256) +
// floor(c x 127 / 256). The second part is the neighbour's half, worked out once per
// source pixel by the decoder. The first is (v >> 1) + (v & 1 & v >> 7): v x 129 is
// 128 v + v, so the sum over 256 is v / 2 + v / 256, which rounds up past the half
// only when v is odd and at least 128.
#include <array>
#include <cstring>

#include "effect/blur/kernels.h"

#if defined(LUMENFALL_X86_KERNELS)

// Everything here is chosen only when the processor has SSE2, the last pixels too (the
// WebAssembly build is compiled for its SIMD as a whole).
#if !defined(__EMSCRIPTEN__)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("sse2")
#endif
#endif

#include "effect/blur/kernels_x86.h"
#include "effect/blur/planes16.h"
#include "effect/blur/widen24.h"

namespace lumenfall::blurkernels {

namespace {

using namespace x86;

// old mixed at 0x7F with a neighbour whose half is given; the fourth byte becomes 0xFF.
LUMENFALL_SSE2 inline __m128i Sse2Mix(__m128i old, __m128i half) {
  const __m128i kept = _mm_add_epi8(
      _mm_and_si128(_mm_srli_epi16(old, 1), _mm_set1_epi8(0x7F)),
      _mm_and_si128(_mm_and_si128(old, _mm_srli_epi16(old, 7)), _mm_set1_epi8(1)));
  return _mm_or_si128(_mm_add_epi8(kept, half), _mm_set1_epi32(kAlpha));
}

// Four pixels of the full pass.
LUMENFALL_SSE2 inline void Sse2ComposeFour(uint8_t* out, __m128i up, __m128i left, __m128i own,
                                           __m128i right, __m128i down) {
  if (Sse2AllZero(_mm_or_si128(_mm_or_si128(_mm_or_si128(up, left), _mm_or_si128(own, right)), down)))
    return;
  __m128i* at = reinterpret_cast<__m128i*>(out);
  const __m128i ownLit = Sse2Lit(own);
  __m128i v;
  if (_mm_movemask_epi8(ownLit) == 0xFFFF) {
    v = own;  // every own write wipes out what came from above and the left
    if (_mm_movemask_ps(_mm_castsi128_ps(_mm_and_si128(right, down))) == 0xF) {
      _mm_storeu_si128(at, Sse2Mix(Sse2Mix(v, right), down));  // inside a lit area
      return;
    }
  } else {
    v = _mm_loadu_si128(at);
    v = Sse2Select(Sse2Lit(up), Sse2Mix(v, up), v);
    v = Sse2Select(Sse2Lit(left), Sse2Mix(v, left), v);
    v = Sse2Select(ownLit, own, v);
  }
  v = Sse2Select(Sse2Lit(right), Sse2Mix(v, right), v);
  v = Sse2Select(Sse2Lit(down), Sse2Mix(v, down), v);
  _mm_storeu_si128(at, v);
}

// Four pixels of the rough pass: two blocks, left and right pixel each. side holds the
// fringe from the left block in the left pixels and from the right block in the right
// pixels; the first lands before the own write, the second after it.
LUMENFALL_SSE2 inline void Sse2ComposeBlockPixels(uint8_t* out, __m128i up, __m128i own,
                                                  __m128i side, __m128i down, __m128i leftPixels) {
  if (Sse2AllZero(_mm_or_si128(_mm_or_si128(up, own), _mm_or_si128(side, down)))) return;
  __m128i* at = reinterpret_cast<__m128i*>(out);
  const __m128i ownLit = Sse2Lit(own);
  __m128i v;
  if (_mm_movemask_epi8(ownLit) == 0xFFFF) {
    // The own writes wipe out the upper fringe, and the left one in the left pixels.
    v = Sse2Select(_mm_andnot_si128(leftPixels, Sse2Lit(side)), Sse2Mix(own, side), own);
  } else {
    v = _mm_loadu_si128(at);
    if (!Sse2AllZero(up)) v = Sse2Select(Sse2Lit(up), Sse2Mix(v, up), v);
    v = Sse2Select(_mm_andnot_si128(leftPixels, ownLit), own, v);
    v = Sse2Select(Sse2Lit(side), Sse2Mix(v, side), v);
    v = Sse2Select(_mm_and_si128(leftPixels, ownLit), own, v);
  }
  if (!Sse2AllZero(down)) v = Sse2Select(Sse2Lit(down), Sse2Mix(v, down), v);
  _mm_storeu_si128(at, v);
}

struct Eight {
  using V = __m128i;
  static V Load(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static V LoadHalf(const uint16_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  }
  static void Store(uint16_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static V InterleaveLow(V a, V b) { return _mm_unpacklo_epi16(a, b); }
  static V Set(uint32_t v) { return _mm_set1_epi16(static_cast<short>(v)); }
  static V And(V a, V b) { return _mm_and_si128(a, b); }
  static V Or(V a, V b) { return _mm_or_si128(a, b); }
  static V Add(V a, V b) { return _mm_add_epi16(a, b); }
  static V Mul(V a, V b) { return _mm_mullo_epi16(a, b); }
  static V Srl(V a, uint32_t n) { return _mm_srl_epi16(a, _mm_cvtsi32_si128(static_cast<int>(n))); }
  static V Sll(V a, uint32_t n) { return _mm_sll_epi16(a, _mm_cvtsi32_si128(static_cast<int>(n))); }
  static V SubSat(V a, V b) { return _mm_subs_epu16(a, b); }
  static V Zero(V a) { return _mm_cmpeq_epi16(a, _mm_setzero_si128()); }
  static V Select(V mask, V yes, V no) { return x86::Sse2Select(mask, yes, no); }
  static bool Any(V a) { return _mm_movemask_epi8(Zero(a)) != 0xFFFF; }
  static bool All(V a) { return _mm_movemask_epi8(a) == 0xFFFF; }
  static V Lanes(size_t from) {
    const V lane = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
    return _mm_cmpgt_epi16(lane, _mm_set1_epi16(static_cast<short>(static_cast<int>(from) - 1)));
  }
  static V LeftPixels() { return _mm_set1_epi32(0xFFFF); }
};

// Eight source pixels step bytes apart (2 or 4). At 4 the loads also read the pixel
// after the last sample.
inline __m128i LoadSamples(const uint8_t* p, size_t step) {
  const auto* q = reinterpret_cast<const __m128i*>(p);
  if (step == 2) return _mm_loadu_si128(q);
  // Each sample's low 16 bits, sign-extended so that the signed packing keeps them.
  const __m128i low = _mm_srai_epi32(_mm_slli_epi32(_mm_loadu_si128(q), 16), 16);
  const __m128i high = _mm_srai_epi32(_mm_slli_epi32(_mm_loadu_si128(q + 1), 16), 16);
  return _mm_packs_epi32(low, high);
}

template <unsigned Always>
LUMENFALL_ALIGN_STACK bool Decode16Planes(const KernelContext& k, const uint8_t* src,
                                          size_t step, size_t count, uint32_t* cells,
                                          uint32_t*) {
  return DecodeRow<Eight, Always>(k, src, step, count, cells, LoadSamples);
}

}  // namespace

LUMENFALL_ALIGN_STACK LUMENFALL_SSE2 bool Decode32_Sse2(const KernelContext& k, const uint8_t* src,
                                                        size_t step, size_t count, uint32_t* cells,
                                                        uint32_t* halves) {
  const Sse2Rule rule = Sse2RuleOf(k.rule);
  const __m128i colourBytes = _mm_set1_epi32(0x00FFFFFF);
  __m128i any = _mm_setzero_si128();
  size_t i = 0;
  if (step == 4) {
    for (; i + 4 <= count; i += 4) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
      if (Sse2AllZero(_mm_and_si128(p, colourBytes))) {  // four black pixels
        Store4(cells + i, _mm_setzero_si128());
        Store4(halves + i, _mm_setzero_si128());
        continue;
      }
      const __m128i c = Sse2Cells(rule, p);
      any = _mm_or_si128(any, c);
      Store4(cells + i, c);
      Store4(halves + i, Sse2Halves(c));
    }
  } else if (step == 8) {
    // Every other pixel. The second load reaches one pixel past the fourth sample,
    // so it is only made while a further sample follows.
    for (; i + 5 <= count; i += 4) {
      const __m128 a =
          _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 8)));
      const __m128 b =
          _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 8 + 16)));
      const __m128i c = Sse2Cells(rule, _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))));
      any = _mm_or_si128(any, c);
      Store4(cells + i, c);
      Store4(halves + i, Sse2Halves(c));
    }
  }
  const bool rest = Decode32_Swar(k, src + i * step, step, count - i, cells + i, halves + i);
  return rest || !Sse2AllZero(any);
}

LUMENFALL_ALIGN_STACK LUMENFALL_SSE2 void Compose32_Sse2(const KernelContext& k, uint8_t* out,
                                                         const ComposeRows& rows, size_t count) {
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    Sse2ComposeFour(out + i * 4, Load4(rows.up + i), Load4(rows.left + i), Load4(rows.own + i),
                    Load4(rows.right + i), Load4(rows.down + i));
  }
  if (i < count) {
    const ComposeRows rest{rows.up + i, rows.left + i, rows.own + i, rows.right + i, rows.down + i};
    Compose32_Swar(k, out + i * 4, rest, count - i);
  }
}

// Two blocks (four pixels) at a time; entries i - 1 to i + 2 of the row give the own
// cells and the fringes from the left and the right.
LUMENFALL_ALIGN_STACK LUMENFALL_SSE2 void ComposeBlocks32_Sse2(const KernelContext& k, uint8_t* out,
                                                               const uint32_t* above,
                                                               const BlockRow& row,
                                                               const uint32_t* below,
                                                               size_t blocks) {
  const __m128i leftPixels = _mm_set_epi32(0, -1, 0, -1);
  size_t i = 0;
  for (; i + 2 <= blocks; i += 2) {
    const __m128i cells = Load4(row.cells + i - 1);  // blocks i - 1, i, i + 1, i + 2
    const __m128i halves = Load4(row.neighbours + i - 1);
    const __m128i own = _mm_shuffle_epi32(cells, _MM_SHUFFLE(2, 2, 1, 1));
    const __m128i fromLeft = _mm_shuffle_epi32(halves, _MM_SHUFFLE(1, 1, 0, 0));
    const __m128i fromRight = _mm_shuffle_epi32(halves, _MM_SHUFFLE(3, 3, 2, 2));
    const __m128i side = Sse2Select(leftPixels, fromLeft, fromRight);
    const __m128i up = _mm_shuffle_epi32(
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(above + i)), _MM_SHUFFLE(1, 1, 0, 0));
    const __m128i down = _mm_shuffle_epi32(
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(below + i)), _MM_SHUFFLE(1, 1, 0, 0));
    Sse2ComposeBlockPixels(out + i * 8, up, own, side, down, leftPixels);
  }
  if (i < blocks) {
    const BlockRow rest{row.cells + i, row.neighbours + i};
    ComposeBlocks32_Swar(k, out + i * 8, above + i, rest, below + i, blocks - i);
  }
}

DecodeRowFn DecodeFor16Planes_Sse2(const KernelContext& k) {
  constexpr DecodeRowFn kByRule[8] = {
      Decode16Planes<0>, Decode16Planes<1>, Decode16Planes<2>,
      Decode16Planes<3>, Decode16Planes<4>, Decode16Planes<5>,
      Decode16Planes<6>, Decode16Planes<7>};
  return kByRule[AlwaysChannels(k.rule)];
}

LUMENFALL_ALIGN_STACK void Compose16Planes_Sse2(const KernelContext& k, uint8_t* out,
                                                const ComposeRows& rows, size_t count) {
  ComposeRow<Eight>(k, out, rows, count);
}

LUMENFALL_ALIGN_STACK void ComposeBlocks16Planes_Sse2(const KernelContext& k, uint8_t* out,
                                                      const uint32_t* above, const BlockRow& row,
                                                      const uint32_t* below, size_t blocks) {
  ComposeBlockRow<Eight, PairWriters<Eight>, SideWriters<Eight>>(k, out, above, row, below, blocks);
}

bool Decode24_Sse2(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                   uint32_t* cells, uint32_t* halves) {
  return Decode24Via32<Decode32_Sse2>(k, src, step, count, cells, halves);
}

void Compose24_Sse2(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  Compose24Via32<Compose32_Sse2>(k, out, rows, count);
}

void ComposeBlocks24_Sse2(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocks24Via32<ComposeBlocks32_Sse2>(k, out, above, row, below, blocks);
}

}  // namespace lumenfall::blurkernels

#if !defined(__EMSCRIPTEN__)
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

#endif  // LUMENFALL_X86_KERNELS

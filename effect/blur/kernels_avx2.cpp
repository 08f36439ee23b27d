// The AVX2 kernels: 32 bits eight pixels to a register, 24 bits in place (the rough
// pass's samples widened to 32 bits), and 16 bits in 16-bit lanes, sixteen pixels to a
// register (see planes16.h). The blends are those of kernels_sse2.cpp.
#include <array>
#include <cstring>

#include "effect/blur/kernels.h"

#if defined(LUMENFALL_AVX2_KERNELS)

// Everything here is chosen only when the processor has AVX2, the last pixels too.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "effect/blur/kernels_x86.h"
#include "effect/blur/planes16.h"
#include "effect/blur/widen24.h"

namespace lumenfall::blurkernels {

namespace {

using namespace x86;

LUMENFALL_AVX2 inline __m256i Load8(const uint32_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

LUMENFALL_AVX2 inline void Store8(uint32_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

LUMENFALL_AVX2 inline __m256i Avx2Lit(__m256i cells) { return _mm256_srai_epi32(cells, 31); }

LUMENFALL_AVX2 inline __m256i Avx2Select(__m256i mask, __m256i yes, __m256i no) {
  return _mm256_blendv_epi8(no, yes, mask);
}

struct Avx2Rule {
  __m256i always, alwaysSteps, conditionalSteps;
};

LUMENFALL_AVX2 inline Avx2Rule Avx2RuleOf(const RuleSteps& rule) {
  const __m256i twelve = _mm256_set1_epi32(0x000C0C0C);
  const auto always = static_cast<int>(rule.always);
  const auto conditional = static_cast<int>(rule.conditional);
  return Avx2Rule{_mm256_set1_epi32(always), _mm256_and_si256(_mm256_set1_epi32(always), twelve),
                  _mm256_and_si256(_mm256_set1_epi32(conditional), twelve)};
}

LUMENFALL_AVX2 inline __m256i Avx2Cells(const Avx2Rule& rule, __m256i pixels) {
  const __m256i colour = _mm256_and_si256(pixels, _mm256_set1_epi32(0x00FFFFFF));
  const __m256i black = _mm256_cmpeq_epi32(colour, _mm256_setzero_si256());
  __m256i c = _mm256_subs_epu8(colour, rule.alwaysSteps);
  const __m256i gone =
      _mm256_cmpeq_epi32(_mm256_and_si256(c, rule.always), _mm256_setzero_si256());
  c = _mm256_subs_epu8(c, _mm256_and_si256(gone, rule.conditionalSteps));
  return _mm256_andnot_si256(black, _mm256_or_si256(c, _mm256_set1_epi32(kAlpha)));
}

// Unpack and pack work within each 128-bit half, so the byte order comes back as it was.
LUMENFALL_AVX2 inline __m256i Avx2Halves(__m256i cells) {
  const __m256i zero = _mm256_setzero_si256(), give = _mm256_set1_epi16(127);
  const __m256i lo =
      _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(cells, zero), give), 8);
  const __m256i hi =
      _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(cells, zero), give), 8);
  const __m256i shares =
      _mm256_and_si256(_mm256_packus_epi16(lo, hi), _mm256_set1_epi32(0x00FFFFFF));
  return _mm256_or_si256(shares, _mm256_and_si256(cells, _mm256_set1_epi32(kAlpha)));
}

LUMENFALL_AVX2 inline __m256i Avx2Mix(__m256i old, __m256i half) {
  const __m256i kept = _mm256_add_epi8(
      _mm256_and_si256(_mm256_srli_epi16(old, 1), _mm256_set1_epi8(0x7F)),
      _mm256_and_si256(_mm256_and_si256(old, _mm256_srli_epi16(old, 7)), _mm256_set1_epi8(1)));
  return _mm256_or_si256(_mm256_add_epi8(kept, half), _mm256_set1_epi32(kAlpha));
}

// Eight 32-bit pixels in memory as they are.
struct Avx2Bgrx {
  LUMENFALL_AVX2 static __m256i Load(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  LUMENFALL_AVX2 static void Store(uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
  }
};

// Eight 24-bit pixels (24 bytes) spread to four bytes each and gathered back. Both
// reach 4 bytes past the eighth pixel, which the caller keeps inside the row; the
// store writes those bytes back as they were.
struct Avx2Bgr {
  LUMENFALL_AVX2 static __m256i Load(const uint8_t* p) {
    const __m256i bytes = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,
                                            0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    return _mm256_shuffle_epi8(bytes, spread);
  }
  LUMENFALL_AVX2 static void Store(uint8_t* p, __m256i v) {
    const __m256i gather = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                            0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i packed = _mm256_shuffle_epi8(v, gather);
    const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12));
    const __m128i twelve = _mm_setr_epi32(-1, -1, -1, 0);
    const __m128i high = _mm_or_si128(_mm_and_si128(twelve, _mm256_extracti128_si256(packed, 1)),
                                      _mm_andnot_si128(twelve, after));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(packed));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 12), high);
  }
};

template <class Pixels>
LUMENFALL_AVX2 inline void Avx2ComposeEight(uint8_t* out, __m256i up, __m256i left, __m256i own,
                                            __m256i right, __m256i down) {
  const __m256i any = _mm256_or_si256(
      _mm256_or_si256(_mm256_or_si256(up, left), _mm256_or_si256(own, right)), down);
  if (_mm256_testz_si256(any, any)) return;
  const __m256i ownLit = Avx2Lit(own);
  __m256i v;
  if (_mm256_movemask_epi8(ownLit) == -1) {
    v = own;
  } else {
    v = Pixels::Load(out);
    v = Avx2Select(Avx2Lit(up), Avx2Mix(v, up), v);
    v = Avx2Select(Avx2Lit(left), Avx2Mix(v, left), v);
    v = Avx2Select(ownLit, own, v);
  }
  v = Avx2Select(Avx2Lit(right), Avx2Mix(v, right), v);
  v = Avx2Select(Avx2Lit(down), Avx2Mix(v, down), v);
  Pixels::Store(out, v);
}

// The cells and halves of eight pixels.
LUMENFALL_AVX2 inline __m256i Avx2DecodeEight(const Avx2Rule& rule, __m256i p, uint32_t* cells,
                                              uint32_t* halves) {
  if (_mm256_testz_si256(p, _mm256_set1_epi32(0x00FFFFFF))) {  // eight black pixels
    Store8(cells, _mm256_setzero_si256());
    Store8(halves, _mm256_setzero_si256());
    return _mm256_setzero_si256();
  }
  const __m256i c = Avx2Cells(rule, p);
  Store8(cells, c);
  Store8(halves, Avx2Halves(c));
  return c;
}

LUMENFALL_AVX2 inline void Avx2ComposeBlockPixels(uint8_t* out, __m256i up, __m256i own,
                                                  __m256i side, __m256i down, __m256i leftPixels) {
  const __m256i any = _mm256_or_si256(_mm256_or_si256(up, own), _mm256_or_si256(side, down));
  if (_mm256_testz_si256(any, any)) return;
  __m256i* at = reinterpret_cast<__m256i*>(out);
  const __m256i ownLit = Avx2Lit(own);
  __m256i v;
  if (_mm256_movemask_epi8(ownLit) == -1) {
    v = Avx2Select(_mm256_andnot_si256(leftPixels, Avx2Lit(side)), Avx2Mix(own, side), own);
  } else {
    v = _mm256_loadu_si256(at);
    if (!_mm256_testz_si256(up, up)) v = Avx2Select(Avx2Lit(up), Avx2Mix(v, up), v);
    v = Avx2Select(_mm256_andnot_si256(leftPixels, ownLit), own, v);
    v = Avx2Select(Avx2Lit(side), Avx2Mix(v, side), v);
    v = Avx2Select(_mm256_and_si256(leftPixels, ownLit), own, v);
  }
  if (!_mm256_testz_si256(down, down)) v = Avx2Select(Avx2Lit(down), Avx2Mix(v, down), v);
  _mm256_storeu_si256(at, v);
}
struct Sixteen {
  using V = __m256i;
  LUMENFALL_AVX2 static V Load(const uint16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  LUMENFALL_AVX2 static void Store(uint16_t* p, V v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
  }
  LUMENFALL_AVX2 static V Set(uint32_t v) { return _mm256_set1_epi16(static_cast<short>(v)); }
  LUMENFALL_AVX2 static V And(V a, V b) { return _mm256_and_si256(a, b); }
  LUMENFALL_AVX2 static V Or(V a, V b) { return _mm256_or_si256(a, b); }
  LUMENFALL_AVX2 static V Add(V a, V b) { return _mm256_add_epi16(a, b); }
  LUMENFALL_AVX2 static V Mul(V a, V b) { return _mm256_mullo_epi16(a, b); }
  LUMENFALL_AVX2 static V Srl(V a, uint32_t n) {
    return _mm256_srl_epi16(a, _mm_cvtsi32_si128(static_cast<int>(n)));
  }
  LUMENFALL_AVX2 static V Sll(V a, uint32_t n) {
    return _mm256_sll_epi16(a, _mm_cvtsi32_si128(static_cast<int>(n)));
  }
  LUMENFALL_AVX2 static V SubSat(V a, V b) { return _mm256_subs_epu16(a, b); }
  LUMENFALL_AVX2 static V Zero(V a) { return _mm256_cmpeq_epi16(a, _mm256_setzero_si256()); }
  LUMENFALL_AVX2 static V Select(V mask, V yes, V no) { return _mm256_blendv_epi8(no, yes, mask); }
  LUMENFALL_AVX2 static bool Any(V a) { return !_mm256_testz_si256(a, a); }
  LUMENFALL_AVX2 static bool All(V a) { return _mm256_movemask_epi8(a) == -1; }
  LUMENFALL_AVX2 static V Lanes(size_t from) {
    const V lane = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const auto last = static_cast<short>(static_cast<int>(from) - 1);
    return _mm256_cmpgt_epi16(lane, _mm256_set1_epi16(last));
  }
  LUMENFALL_AVX2 static V LeftPixels() { return _mm256_set1_epi32(0xFFFF); }
};

// Eight blocks' entries for the sixteen pixels of their pairs.
struct PairEntries {
  const uint16_t* at;
  size_t stride;
  LUMENFALL_AVX2 static __m256i Both(const uint16_t* p) {
    const __m256i e = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    return _mm256_or_si256(e, _mm256_slli_epi32(e, 16));
  }
  LUMENFALL_AVX2 __m256i Plane(size_t p) const { return Both(at + p * stride); }
};

// The side writers of eight blocks' pairs: at is the entry of the block left of the
// first; the left pixels take their left block's entry, the right ones their right's.
struct SideEntries {
  const uint16_t* at;
  size_t stride;
  LUMENFALL_AVX2 static __m256i Widen(const uint16_t* p) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
  LUMENFALL_AVX2 __m256i Plane(size_t p) const {
    const uint16_t* e = at + p * stride;
    return _mm256_or_si256(Widen(e), _mm256_slli_epi32(Widen(e + 2), 16));
  }
};

// Sixteen source pixels step bytes apart (2 or 4). At 4 the load also reads the pixel
// after the last sample.
LUMENFALL_AVX2 inline __m256i LoadSamples(const uint8_t* p, size_t step) {
  const auto* q = reinterpret_cast<const __m256i*>(p);
  if (step == 2) return _mm256_loadu_si256(q);
  const __m256i low = _mm256_set1_epi32(0xFFFF);
  const __m256i packed = _mm256_packus_epi32(_mm256_and_si256(_mm256_loadu_si256(q), low),
                                             _mm256_and_si256(_mm256_loadu_si256(q + 1), low));
  return _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0));  // packing works in halves
}

template <unsigned Always>
bool DecodeRegisters(const PlaneFormat& f, const uint8_t* src, size_t step, size_t count,
                     uint16_t* planes, size_t stride, size_t& i) {
  auto block = [&](size_t at) {
    return DecodeBlock<Sixteen, Always>(f, LoadSamples(src + at * step, step), planes + at, stride);
  };
  const size_t reach = step == 2 ? 16 : 17;  // so that a step-4 load stays before the next sample
  __m256i lit = _mm256_setzero_si256();
  for (; i + reach <= count; i += 16) lit = _mm256_or_si256(lit, block(i));
  if (step == 2 && i < count && count >= 16) {  // the last pixels again, overlapping: same entries
    lit = _mm256_or_si256(lit, block(count - 16));
    i = count;
  }
  return Sixteen::Any(lit);
}

// Then the pixels one at a time through the same code: the remainders, and any step.
template <unsigned Always>
LUMENFALL_ALIGN_STACK bool Decode16Planes(const KernelContext& k, const uint8_t* src, size_t step,
                                          size_t count, uint32_t* cells, uint32_t*) {
  const PlaneFormat f = k.planes16;  // a copy, which the vector stores cannot alias
  auto* planes = reinterpret_cast<uint16_t*>(cells);
  bool any = false;
  size_t i = 0;
  if (step == 2 || step == 4) {
    any = DecodeRegisters<Always>(f, src, step, count, planes, k.fractionOffset, i);
  }
  return DecodeRest<Always>(f, src, step, count, planes, k.fractionOffset, i) || any;
}

}  // namespace

LUMENFALL_ALIGN_STACK LUMENFALL_AVX2 bool Decode32_Avx2(const KernelContext& k, const uint8_t* src,
                                                        size_t step, size_t count, uint32_t* cells,
                                                        uint32_t* halves) {
  if (step != 4) return Decode32_Sse2(k, src, step, count, cells, halves);
  const Avx2Rule rule = Avx2RuleOf(k.rule);
  __m256i any = _mm256_setzero_si256();
  size_t i = 0;
  for (; i + 8 <= count; i += 8)
    any = _mm256_or_si256(any, Avx2DecodeEight(rule, Avx2Bgrx::Load(src + i * 4), cells + i,
                                                halves + i));
  const bool rest = Decode32_Sse2(k, src + i * 4, step, count - i, cells + i, halves + i);
  return rest || !_mm256_testz_si256(any, any);
}

LUMENFALL_ALIGN_STACK LUMENFALL_AVX2 void Compose32_Avx2(const KernelContext& k, uint8_t* out,
                                                         const ComposeRows& rows, size_t count) {
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    Avx2ComposeEight<Avx2Bgrx>(out + i * 4, Load8(rows.up + i), Load8(rows.left + i), Load8(rows.own + i),
                     Load8(rows.right + i), Load8(rows.down + i));
  }
  if (i < count) {
    const ComposeRows rest{rows.up + i, rows.left + i, rows.own + i, rows.right + i, rows.down + i};
    Compose32_Sse2(k, out + i * 4, rest, count - i);
  }
}

// 24 bits in place, eight pixels at a time while two more follow (the loads and
// stores reach 4 bytes past the eighth); the rest, and the rough pass's samples,
// through the 32-bit SSE2 kernels on widened chunks.
LUMENFALL_ALIGN_STACK LUMENFALL_AVX2 bool Decode24_Avx2(const KernelContext& k, const uint8_t* src,
                                                        size_t step, size_t count, uint32_t* cells,
                                                        uint32_t* halves) {
  if (step != 3) return Decode24_Sse2(k, src, step, count, cells, halves);
  const Avx2Rule rule = Avx2RuleOf(k.rule);
  __m256i any = _mm256_setzero_si256();
  size_t i = 0;
  for (; i + 10 <= count; i += 8)
    any = _mm256_or_si256(any, Avx2DecodeEight(rule, Avx2Bgr::Load(src + i * 3), cells + i,
                                                halves + i));
  const bool rest = Decode24_Sse2(k, src + i * 3, step, count - i, cells + i, halves + i);
  return rest || !_mm256_testz_si256(any, any);
}

LUMENFALL_ALIGN_STACK LUMENFALL_AVX2 void Compose24_Avx2(const KernelContext& k, uint8_t* out,
                                                         const ComposeRows& rows, size_t count) {
  size_t i = 0;
  for (; i + 10 <= count; i += 8) {
    Avx2ComposeEight<Avx2Bgr>(out + i * 3, Load8(rows.up + i), Load8(rows.left + i),
                              Load8(rows.own + i), Load8(rows.right + i), Load8(rows.down + i));
  }
  if (i < count) {
    const ComposeRows rest{rows.up + i, rows.left + i, rows.own + i, rows.right + i, rows.down + i};
    Compose24_Sse2(k, out + i * 3, rest, count - i);
  }
}

// Four blocks (eight pixels) at a time; reads entries up to i + 6 of the row.
LUMENFALL_ALIGN_STACK LUMENFALL_AVX2 void ComposeBlocks32_Avx2(const KernelContext& k, uint8_t* out,
                                                               const uint32_t* above,
                                                               const BlockRow& row,
                                                               const uint32_t* below,
                                                               size_t blocks) {
  const __m256i ownIndex = _mm256_setr_epi32(1, 1, 2, 2, 3, 3, 4, 4);
  const __m256i leftIndex = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
  const __m256i rightIndex = _mm256_setr_epi32(2, 2, 3, 3, 4, 4, 5, 5);
  const __m256i leftPixels = _mm256_setr_epi32(-1, 0, -1, 0, -1, 0, -1, 0);
  size_t i = 0;
  for (; i + 4 <= blocks; i += 4) {
    const __m256i cells = Load8(row.cells + i - 1);  // blocks i - 1 to i + 6
    const __m256i halves = Load8(row.neighbours + i - 1);
    const __m256i own = _mm256_permutevar8x32_epi32(cells, ownIndex);
    const __m256i side = Avx2Select(leftPixels, _mm256_permutevar8x32_epi32(halves, leftIndex),
                                    _mm256_permutevar8x32_epi32(halves, rightIndex));
    const __m256i up =
        _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(Load4(above + i)), leftIndex);
    const __m256i down =
        _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(Load4(below + i)), leftIndex);
    Avx2ComposeBlockPixels(out + i * 8, up, own, side, down, leftPixels);
  }
  if (i < blocks) {
    const BlockRow rest{row.cells + i, row.neighbours + i};
    ComposeBlocks32_Sse2(k, out + i * 8, above + i, rest, below + i, blocks - i);
  }
}
DecodeRowFn DecodeFor16Planes_Avx2(const KernelContext& k) {
  constexpr DecodeRowFn kByRule[8] = {
      Decode16Planes<0>, Decode16Planes<1>, Decode16Planes<2>, Decode16Planes<3>,
      Decode16Planes<4>, Decode16Planes<5>, Decode16Planes<6>, Decode16Planes<7>};
  return kByRule[AlwaysChannels(k.rule)];
}

LUMENFALL_ALIGN_STACK void Compose16Planes_Avx2(const KernelContext& k, uint8_t* out,
                                                const ComposeRows& rows, size_t count) {
  ComposeRow<Sixteen>(k, out, rows, count);
}

LUMENFALL_ALIGN_STACK void ComposeBlocks16Planes_Avx2(const KernelContext& k, uint8_t* out,
                                                      const uint32_t* above, const BlockRow& row,
                                                      const uint32_t* below, size_t blocks) {
  ComposeBlockRow<Sixteen, PairEntries, SideEntries>(k, out, above, row, below, blocks);
}

void ComposeBlocks24_Avx2(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocks24Via32<ComposeBlocks32_Avx2>(k, out, above, row, below, blocks);
}

}  // namespace lumenfall::blurkernels

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif  // LUMENFALL_AVX2_KERNELS

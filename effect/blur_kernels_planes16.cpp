// The 16-bit passes in 16-bit lanes with AVX2: sixteen pixels to a register (see
// blur_kernels_planes16.h).
#include <array>
#include <cstring>

#include "effect/blur_kernels.h"

#if defined(LUMENFALL_AVX2_KERNELS)

#include "effect/blur_kernels_x86.h"

// Everything here is chosen only when the processor has AVX2, the remainders too.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "effect/blur_kernels_planes16.h"

namespace lumenfall::blurkernels {
namespace {

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
bool DecodeRow(const PlaneFormat& f, const uint8_t* src, size_t step, size_t count,
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
    any = DecodeRow<Always>(f, src, step, count, planes, k.fractionOffset, i);
  }
  return DecodeRest<Always>(f, src, step, count, planes, k.fractionOffset, i) || any;
}

}  // namespace

DecodeRowFn Decode16PlanesFor(const RuleSteps& rule) {
  constexpr DecodeRowFn kByRule[8] = {
      Decode16Planes<0>, Decode16Planes<1>, Decode16Planes<2>, Decode16Planes<3>,
      Decode16Planes<4>, Decode16Planes<5>, Decode16Planes<6>, Decode16Planes<7>};
  return kByRule[AlwaysChannels(rule)];
}

LUMENFALL_ALIGN_STACK void Compose16Planes(const KernelContext& k, uint8_t* out,
                                           const ComposeRows& rows, size_t count) {
  ComposeRow<Sixteen>(k, out, rows, count);
}

LUMENFALL_ALIGN_STACK void ComposeBlocks16Planes(const KernelContext& k, uint8_t* out,
                                                 const uint32_t* above, const BlockRow& row,
                                                 const uint32_t* below, size_t blocks) {
  ComposeBlockRow<Sixteen, PairEntries, SideEntries>(k, out, above, row, below, blocks);
}

}  // namespace lumenfall::blurkernels

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif  // LUMENFALL_AVX2_KERNELS

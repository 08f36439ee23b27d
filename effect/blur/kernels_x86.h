// What the SSE2 and AVX2 kernels share: the target attributes, and SSE2's loads, selects
// and lit masks of rows of cells and its decoding of colours. The WebAssembly build
// compiles the SSE2 part to its SIMD instructions through Emscripten's SSE2 headers; the
// whole module is built for them there, so the functions need no target of their own.
//
// Each kernel file includes this after its own target pragma, and the helpers have
// internal linkage: compiled before the pragma, GCC would not inline them into the
// kernels of the 32-bit build (their targets differ), and a copy compiled for AVX2 must
// never serve the SSE2 kernels.
#pragma once

#include "effect/blur/kernels.h"

#if defined(LUMENFALL_X86_KERNELS)

#if defined(LUMENFALL_AVX2_KERNELS)
#include <immintrin.h>
#else
#include <emmintrin.h>
#endif

// A 32-bit Windows caller may enter with a stack aligned to 4 bytes only.
#if defined(__i386__)
#define LUMENFALL_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define LUMENFALL_ALIGN_STACK
#endif

#if defined(__EMSCRIPTEN__)
#define LUMENFALL_SSE2
#else
#define LUMENFALL_SSE2 __attribute__((target("sse2")))
#endif
#if defined(LUMENFALL_AVX2_KERNELS)
#define LUMENFALL_AVX2 __attribute__((target("avx2")))
#endif

namespace lumenfall::blurkernels::x86 {
namespace {

constexpr int kAlpha = static_cast<int>(kLitCell);

LUMENFALL_SSE2 inline __m128i Load4(const uint32_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

LUMENFALL_SSE2 inline void Store4(uint32_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

LUMENFALL_SSE2 inline __m128i Sse2Select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

LUMENFALL_SSE2 inline __m128i Sse2Lit(__m128i cells) { return _mm_srai_epi32(cells, 31); }

LUMENFALL_SSE2 inline bool Sse2AllZero(__m128i v) {
  return _mm_movemask_epi8(_mm_cmpeq_epi32(v, _mm_setzero_si128())) == 0xFFFF;
}

// The rule and the decoding of 32-bit lanes 0x??RRGGBB into cells and halves.
struct Sse2Rule {
  __m128i always, alwaysSteps, conditionalSteps;
};

LUMENFALL_SSE2 inline Sse2Rule Sse2RuleOf(const RuleSteps& rule) {
  const __m128i twelve = _mm_set1_epi32(0x000C0C0C);
  const auto always = static_cast<int>(rule.always);
  const auto conditional = static_cast<int>(rule.conditional);
  return Sse2Rule{_mm_set1_epi32(always), _mm_and_si128(_mm_set1_epi32(always), twelve),
                  _mm_and_si128(_mm_set1_epi32(conditional), twelve)};
}

// Cells of four source pixels (B, G, R, X in memory).
LUMENFALL_SSE2 inline __m128i Sse2Cells(const Sse2Rule& rule, __m128i pixels) {
  const __m128i colour = _mm_and_si128(pixels, _mm_set1_epi32(0x00FFFFFF));
  const __m128i black = _mm_cmpeq_epi32(colour, _mm_setzero_si128());
  __m128i c = _mm_subs_epu8(colour, rule.alwaysSteps);  // level > 12 ? level - 12 : 0
  const __m128i gone = _mm_cmpeq_epi32(_mm_and_si128(c, rule.always), _mm_setzero_si128());
  c = _mm_subs_epu8(c, _mm_and_si128(gone, rule.conditionalSteps));
  return _mm_andnot_si128(black, _mm_or_si128(c, _mm_set1_epi32(kAlpha)));
}

// The halves of four cells: floor(c x 127 / 256) per channel, 0xFF on top when lit.
LUMENFALL_SSE2 inline __m128i Sse2Halves(__m128i cells) {
  const __m128i zero = _mm_setzero_si128(), give = _mm_set1_epi16(127);
  const __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(cells, zero), give), 8);
  const __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(cells, zero), give), 8);
  const __m128i shares = _mm_and_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(0x00FFFFFF));
  return _mm_or_si128(shares, _mm_and_si128(cells, _mm_set1_epi32(kAlpha)));
}


}  // namespace
}  // namespace lumenfall::blurkernels::x86

#endif  // LUMENFALL_X86_KERNELS

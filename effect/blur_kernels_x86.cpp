// The 32-bit blur kernels with SSE2 and AVX2. Each function carries its own target
// attribute, so the rest of the program is built for the plain instruction set and
// these run only where the processor has them (see ActiveSimdLevel).
#include "effect/blur_kernels.h"

#if defined(LUMENFALL_X86_KERNELS)

#include <immintrin.h>

// A 32-bit Windows caller may enter with a stack aligned to 4 bytes only.
#if defined(__i386__)
#define LUMENFALL_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define LUMENFALL_ALIGN_STACK
#endif

#define LUMENFALL_SSE2 __attribute__((target("sse2")))
#define LUMENFALL_AVX2 __attribute__((target("avx2")))

namespace lumenfall::blurkernels {

namespace {

// --- SSE2: four pixels at a time ----------------------------------------------------

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
  return _mm_andnot_si128(black, _mm_or_si128(c, _mm_set1_epi32(static_cast<int>(kLitCell))));
}

// old mixed at 0x7F with the cell's colour, per byte: old x 129 >> 8 plus new x 127 >> 8.
// The fourth byte becomes 0xFF.
LUMENFALL_SSE2 inline __m128i Sse2Mix(__m128i old, __m128i colour) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i keep = _mm_set1_epi16(129), give = _mm_set1_epi16(127);
  const __m128i lo = _mm_add_epi16(
      _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(old, zero), keep), 8),
      _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(colour, zero), give), 8));
  const __m128i hi = _mm_add_epi16(
      _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(old, zero), keep), 8),
      _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(colour, zero), give), 8));
  return _mm_or_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(static_cast<int>(kLitCell)));
}

LUMENFALL_SSE2 inline __m128i Sse2Select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

LUMENFALL_SSE2 inline __m128i Sse2Lit(__m128i cells) { return _mm_srai_epi32(cells, 31); }

LUMENFALL_SSE2 inline __m128i Load4(const uint32_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// --- AVX2: eight pixels at a time --------------------------------------------------

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
  return _mm256_andnot_si256(black,
                             _mm256_or_si256(c, _mm256_set1_epi32(static_cast<int>(kLitCell))));
}

// Unpack and pack work within each 128-bit half, so the byte order comes back as it was.
LUMENFALL_AVX2 inline __m256i Avx2Mix(__m256i old, __m256i colour) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i keep = _mm256_set1_epi16(129), give = _mm256_set1_epi16(127);
  const __m256i lo = _mm256_add_epi16(
      _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(old, zero), keep), 8),
      _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(colour, zero), give), 8));
  const __m256i hi = _mm256_add_epi16(
      _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(old, zero), keep), 8),
      _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(colour, zero), give), 8));
  return _mm256_or_si256(_mm256_packus_epi16(lo, hi),
                         _mm256_set1_epi32(static_cast<int>(kLitCell)));
}

LUMENFALL_AVX2 inline __m256i Avx2Lit(__m256i cells) { return _mm256_srai_epi32(cells, 31); }

LUMENFALL_AVX2 inline __m256i Load8(const uint32_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

}  // namespace

LUMENFALL_ALIGN_STACK LUMENFALL_SSE2 void Decode32Sse2(const KernelContext& k, const uint8_t* src,
                                                       size_t step, size_t count,
                                                       uint32_t* cells) {
  const Sse2Rule rule = Sse2RuleOf(k.rule);
  size_t i = 0;
  if (step == 4) {
    for (; i + 4 <= count; i += 4) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(cells + i), Sse2Cells(rule, p));
    }
  } else if (step == 8) {
    // Every other pixel. The second load reaches one pixel past the fourth sample,
    // so it is only made while a further sample follows.
    for (; i + 5 <= count; i += 4) {
      const __m128 a = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 8)));
      const __m128 b =
          _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 8 + 16)));
      const __m128i p = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(cells + i), Sse2Cells(rule, p));
    }
  }
  Decode32Plain(k, src + i * step, step, count - i, cells + i);
}

LUMENFALL_ALIGN_STACK LUMENFALL_SSE2 void Compose32Sse2(const KernelContext& k, uint8_t* out,
                                                        const ComposeRows& rows, size_t count) {
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i up = Load4(rows.up + i), left = Load4(rows.left + i), own = Load4(rows.own + i),
                  right = Load4(rows.right + i), down = Load4(rows.down + i);
    const __m128i any = _mm_or_si128(_mm_or_si128(_mm_or_si128(up, left), _mm_or_si128(own, right)), down);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) == 0xFFFF) continue;
    __m128i* at = reinterpret_cast<__m128i*>(out + i * 4);
    __m128i v = _mm_loadu_si128(at);
    v = Sse2Select(Sse2Lit(up), Sse2Mix(v, up), v);
    v = Sse2Select(Sse2Lit(left), Sse2Mix(v, left), v);
    v = Sse2Select(Sse2Lit(own), own, v);
    v = Sse2Select(Sse2Lit(right), Sse2Mix(v, right), v);
    v = Sse2Select(Sse2Lit(down), Sse2Mix(v, down), v);
    _mm_storeu_si128(at, v);
  }
  if (i < count) {
    const ComposeRows rest{rows.up + i, rows.left + i, rows.own + i, rows.right + i, rows.down + i};
    Compose32Plain(k, out + i * 4, rest, count - i);
  }
}

LUMENFALL_ALIGN_STACK LUMENFALL_AVX2 void Decode32Avx2(const KernelContext& k, const uint8_t* src,
                                                       size_t step, size_t count,
                                                       uint32_t* cells) {
  if (step != 4) {
    Decode32Sse2(k, src, step, count, cells);
    return;
  }
  const Avx2Rule rule = Avx2RuleOf(k.rule);
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i * 4));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(cells + i), Avx2Cells(rule, p));
  }
  Decode32Sse2(k, src + i * 4, step, count - i, cells + i);
}

LUMENFALL_ALIGN_STACK LUMENFALL_AVX2 void Compose32Avx2(const KernelContext& k, uint8_t* out,
                                                        const ComposeRows& rows, size_t count) {
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i up = Load8(rows.up + i), left = Load8(rows.left + i), own = Load8(rows.own + i),
                  right = Load8(rows.right + i), down = Load8(rows.down + i);
    const __m256i any = _mm256_or_si256(
        _mm256_or_si256(_mm256_or_si256(up, left), _mm256_or_si256(own, right)), down);
    if (_mm256_testz_si256(any, any)) continue;
    __m256i* at = reinterpret_cast<__m256i*>(out + i * 4);
    __m256i v = _mm256_loadu_si256(at);
    v = _mm256_blendv_epi8(v, Avx2Mix(v, up), Avx2Lit(up));
    v = _mm256_blendv_epi8(v, Avx2Mix(v, left), Avx2Lit(left));
    v = _mm256_blendv_epi8(v, own, Avx2Lit(own));
    v = _mm256_blendv_epi8(v, Avx2Mix(v, right), Avx2Lit(right));
    v = _mm256_blendv_epi8(v, Avx2Mix(v, down), Avx2Lit(down));
    _mm256_storeu_si256(at, v);
  }
  if (i < count) {
    const ComposeRows rest{rows.up + i, rows.left + i, rows.own + i, rows.right + i, rows.down + i};
    Compose32Sse2(k, out + i * 4, rest, count - i);
  }
}

}  // namespace lumenfall::blurkernels

#endif  // LUMENFALL_X86_KERNELS

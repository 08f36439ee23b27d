// The 32-bit blur kernels with SSE2 and AVX2. Each function carries its own target
// attribute, so the rest of the program is built for the plain instruction set and
// these run only where the processor has them (see ActiveSimdLevel).
//
// A 0x7F blend of the colour c over the old byte v is floor(v x 129 / 256) +
// floor(c x 127 / 256). The second part is the neighbour's half, worked out once per
// source pixel by the decoder. The first is (v >> 1) + (v & 1 & v >> 7): v x 129 is
// 128 v + v, so the sum over 256 is v / 2 + v / 256, which rounds up past the half
// only when v is odd and at least 128.
#include "effect/blur_kernels.h"

#if defined(LUMENFALL_X86_KERNELS)

#include "effect/blur_kernels_x86.h"

namespace lumenfall::blurkernels {

namespace {

using namespace x86;

// --- SSE2: four pixels at a time ----------------------------------------------------

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

#if defined(LUMENFALL_AVX2_KERNELS)
// --- AVX2: eight pixels at a time --------------------------------------------------

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
#endif  // LUMENFALL_AVX2_KERNELS

}  // namespace

LUMENFALL_ALIGN_STACK LUMENFALL_SSE2 bool Decode32Sse2(const KernelContext& k, const uint8_t* src,
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
  const bool rest = Decode32Plain(k, src + i * step, step, count - i, cells + i, halves + i);
  return rest || !Sse2AllZero(any);
}

LUMENFALL_ALIGN_STACK LUMENFALL_SSE2 void Compose32Sse2(const KernelContext& k, uint8_t* out,
                                                        const ComposeRows& rows, size_t count) {
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    Sse2ComposeFour(out + i * 4, Load4(rows.up + i), Load4(rows.left + i), Load4(rows.own + i),
                    Load4(rows.right + i), Load4(rows.down + i));
  }
  if (i < count) {
    const ComposeRows rest{rows.up + i, rows.left + i, rows.own + i, rows.right + i, rows.down + i};
    Compose32Plain(k, out + i * 4, rest, count - i);
  }
}

// Two blocks (four pixels) at a time; entries i - 1 to i + 2 of the row give the own
// cells and the fringes from the left and the right.
LUMENFALL_ALIGN_STACK LUMENFALL_SSE2 void ComposeBlocks32Sse2(const KernelContext& k, uint8_t* out,
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
    ComposeBlocks32Plain(k, out + i * 8, above + i, rest, below + i, blocks - i);
  }
}

#if defined(LUMENFALL_AVX2_KERNELS)
LUMENFALL_ALIGN_STACK LUMENFALL_AVX2 bool Decode32Avx2(const KernelContext& k, const uint8_t* src,
                                                       size_t step, size_t count, uint32_t* cells,
                                                       uint32_t* halves) {
  if (step != 4) return Decode32Sse2(k, src, step, count, cells, halves);
  const Avx2Rule rule = Avx2RuleOf(k.rule);
  __m256i any = _mm256_setzero_si256();
  size_t i = 0;
  for (; i + 8 <= count; i += 8)
    any = _mm256_or_si256(any, Avx2DecodeEight(rule, Avx2Bgrx::Load(src + i * 4), cells + i,
                                                halves + i));
  const bool rest = Decode32Sse2(k, src + i * 4, step, count - i, cells + i, halves + i);
  return rest || !_mm256_testz_si256(any, any);
}

LUMENFALL_ALIGN_STACK LUMENFALL_AVX2 void Compose32Avx2(const KernelContext& k, uint8_t* out,
                                                        const ComposeRows& rows, size_t count) {
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    Avx2ComposeEight<Avx2Bgrx>(out + i * 4, Load8(rows.up + i), Load8(rows.left + i), Load8(rows.own + i),
                     Load8(rows.right + i), Load8(rows.down + i));
  }
  if (i < count) {
    const ComposeRows rest{rows.up + i, rows.left + i, rows.own + i, rows.right + i, rows.down + i};
    Compose32Sse2(k, out + i * 4, rest, count - i);
  }
}

// 24 bits in place, eight pixels at a time while two more follow (the loads and
// stores reach 4 bytes past the eighth); the rest, and the rough pass's samples,
// through the 32-bit SSE2 kernels on widened chunks.
LUMENFALL_ALIGN_STACK LUMENFALL_AVX2 bool Decode24Avx2(const KernelContext& k, const uint8_t* src,
                                                       size_t step, size_t count, uint32_t* cells,
                                                       uint32_t* halves) {
  if (step != 3) return Decode24Sse2(k, src, step, count, cells, halves);
  const Avx2Rule rule = Avx2RuleOf(k.rule);
  __m256i any = _mm256_setzero_si256();
  size_t i = 0;
  for (; i + 10 <= count; i += 8)
    any = _mm256_or_si256(any, Avx2DecodeEight(rule, Avx2Bgr::Load(src + i * 3), cells + i,
                                                halves + i));
  const bool rest = Decode24Sse2(k, src + i * 3, step, count - i, cells + i, halves + i);
  return rest || !_mm256_testz_si256(any, any);
}

LUMENFALL_ALIGN_STACK LUMENFALL_AVX2 void Compose24Avx2(const KernelContext& k, uint8_t* out,
                                                        const ComposeRows& rows, size_t count) {
  size_t i = 0;
  for (; i + 10 <= count; i += 8) {
    Avx2ComposeEight<Avx2Bgr>(out + i * 3, Load8(rows.up + i), Load8(rows.left + i),
                              Load8(rows.own + i), Load8(rows.right + i), Load8(rows.down + i));
  }
  if (i < count) {
    const ComposeRows rest{rows.up + i, rows.left + i, rows.own + i, rows.right + i, rows.down + i};
    Compose24Sse2(k, out + i * 3, rest, count - i);
  }
}

// Four blocks (eight pixels) at a time; reads entries up to i + 6 of the row.
LUMENFALL_ALIGN_STACK LUMENFALL_AVX2 void ComposeBlocks32Avx2(const KernelContext& k, uint8_t* out,
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
    ComposeBlocks32Sse2(k, out + i * 8, above + i, rest, below + i, blocks - i);
  }
}
#endif  // LUMENFALL_AVX2_KERNELS

}  // namespace lumenfall::blurkernels

#endif  // LUMENFALL_X86_KERNELS

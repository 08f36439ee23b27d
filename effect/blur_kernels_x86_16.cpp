// The 16-bit blur kernels with SSE2, for the layouts whose writes chain in
// lanes (see blur_kernels_swar.cpp for the blend). Each pixel is widened in a 32-bit
// lane to its channels, B, G, R and a fourth byte that becomes 0xFF once a write lands;
// at the end the written pixels are packed into their fields and the others keep every
// bit they had. The fields' masks and shifts come from the format, one count per pass.
#include "effect/blur_kernels.h"

#if defined(LUMENFALL_X86_KERNELS)

#include "effect/blur_kernels_x86.h"

namespace lumenfall::blurkernels {

namespace {

using namespace x86;

// --- SSE2: four pixels at a time ----------------------------------------------------

struct Sse2Fields {
  __m128i red, green, blue, keep;
  __m128i redShift, greenShift, blueShift;
};

LUMENFALL_SSE2 inline Sse2Fields Sse2FieldsOf(const KernelContext& k) {
  const PixelFormatInfo& f = k.info;
  return Sse2Fields{_mm_set1_epi32(static_cast<int>(f.redMask)),
                    _mm_set1_epi32(static_cast<int>(f.greenMask)),
                    _mm_set1_epi32(static_cast<int>(f.blueMask)),
                    _mm_set1_epi32(static_cast<int>(k.keep16)),
                    _mm_cvtsi32_si128(static_cast<int>(f.redDownshift)),
                    _mm_cvtsi32_si128(static_cast<int>(f.greenDownshift)),
                    _mm_cvtsi32_si128(static_cast<int>(f.blueDownshift))};
}

// Pixels (one in each 32-bit lane) to their channels 0x00RRGGBB.
LUMENFALL_SSE2 inline __m128i Sse2Widen(const Sse2Fields& f, __m128i v) {
  const __m128i r = _mm_and_si128(_mm_sll_epi32(_mm_and_si128(v, f.red), f.redShift),
                                  _mm_set1_epi32(0xFF0000));
  const __m128i g = _mm_and_si128(_mm_sll_epi32(_mm_and_si128(v, f.green), f.greenShift),
                                  _mm_set1_epi32(0xFF00));
  const __m128i b = _mm_and_si128(_mm_sll_epi32(_mm_and_si128(v, f.blue), f.blueShift),
                                  _mm_set1_epi32(0xFF));
  return _mm_or_si128(r, _mm_or_si128(g, b));
}

LUMENFALL_SSE2 inline __m128i Sse2Pack(const Sse2Fields& f, __m128i c) {
  const __m128i r =
      _mm_and_si128(_mm_srl_epi32(_mm_and_si128(c, _mm_set1_epi32(0xFF0000)), f.redShift), f.red);
  const __m128i g =
      _mm_and_si128(_mm_srl_epi32(_mm_and_si128(c, _mm_set1_epi32(0xFF00)), f.greenShift), f.green);
  const __m128i b =
      _mm_and_si128(_mm_srl_epi32(_mm_and_si128(c, _mm_set1_epi32(0xFF)), f.blueShift), f.blue);
  return _mm_or_si128(r, _mm_or_si128(g, b));
}

// v / 2 + half + bit 7 of v / 2 + the halved remainder, in the bits the fields keep.
LUMENFALL_SSE2 inline __m128i Sse2Mix16(const Sse2Fields& f, __m128i v, __m128i half,
                                        __m128i fraction) {
  const __m128i kept = _mm_and_si128(_mm_srli_epi16(v, 1), _mm_set1_epi8(0x7F));
  const __m128i carry =
      _mm_and_si128(_mm_srli_epi16(_mm_add_epi8(kept, fraction), 7), _mm_set1_epi8(1));
  const __m128i shares = _mm_and_si128(half, _mm_set1_epi32(0x00FFFFFF));
  const __m128i sum = _mm_add_epi8(_mm_add_epi8(kept, shares), carry);
  return _mm_or_si128(_mm_and_si128(sum, f.keep), _mm_set1_epi32(kAlpha));
}

LUMENFALL_SSE2 inline __m128i Sse2Opaque16(const Sse2Fields& f, __m128i own) {
  return _mm_or_si128(_mm_and_si128(own, f.keep), _mm_set1_epi32(kAlpha));
}

// Four 16-bit pixels in and out of 32-bit lanes.
LUMENFALL_SSE2 inline __m128i Sse2LoadPixels(const uint8_t* p) {
  return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                            _mm_setzero_si128());
}

LUMENFALL_SSE2 inline void Sse2StorePixels(const Sse2Fields& f, uint8_t* p, __m128i v,
                                           __m128i raw) {
  __m128i x = Sse2Select(Sse2Lit(v), Sse2Pack(f, v), raw);
  x = _mm_srai_epi32(_mm_slli_epi32(x, 16), 16);  // so that the signed narrowing keeps it
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packs_epi32(x, x));
}

LUMENFALL_SSE2 inline __m128i Sse2MixIfLit(const Sse2Fields& f, __m128i v, __m128i half,
                                           const uint32_t* fraction) {
  return Sse2Select(Sse2Lit(half), Sse2Mix16(f, v, half, Load4(fraction)), v);
}

LUMENFALL_SSE2 inline __m128i Sse2PairOf(const uint32_t* p) {  // entries 0, 0, 1, 1
  return _mm_shuffle_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                           _MM_SHUFFLE(1, 1, 0, 0));
}

// ((c x 127) mod 256) / 2 for red and green of four cells.
LUMENFALL_SSE2 inline __m128i Sse2Fractions(__m128i cells) {
  const __m128i zero = _mm_setzero_si128(), give = _mm_set1_epi16(127);
  const __m128i low = _mm_set1_epi16(0xFF);
  const __m128i lo = _mm_srli_epi16(
      _mm_and_si128(_mm_mullo_epi16(_mm_unpacklo_epi8(cells, zero), give), low), 1);
  const __m128i hi = _mm_srli_epi16(
      _mm_and_si128(_mm_mullo_epi16(_mm_unpackhi_epi8(cells, zero), give), low), 1);
  return _mm_and_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(0x00FFFF00));
}

// Cells, halves and remainders of four pixels (one in each 32-bit lane).
LUMENFALL_SSE2 inline __m128i Sse2DecodeFour(const Sse2Fields& f, const Sse2Rule& rule,
                                             __m128i pixels, uint32_t* cells, uint32_t* halves,
                                             size_t fo) {
  const __m128i c = Sse2Cells(rule, Sse2Widen(f, pixels));
  Store4(cells, c);
  Store4(halves, Sse2Halves(c));
  Store4(halves + fo, Sse2Fractions(c));
  return c;
}

// The fringes of two blocks from entries i - 1 to i + 2 of a row: the left block's in
// the left pixels, the right block's in the right ones.
LUMENFALL_SSE2 inline __m128i Sse2SideOf(const uint32_t* p, __m128i leftPixels) {
  const __m128i entries = Load4(p);
  return Sse2Select(leftPixels, _mm_shuffle_epi32(entries, _MM_SHUFFLE(1, 1, 0, 0)),
                    _mm_shuffle_epi32(entries, _MM_SHUFFLE(3, 3, 2, 2)));
}


}  // namespace

LUMENFALL_ALIGN_STACK LUMENFALL_SSE2 bool Decode16Sse2(const KernelContext& k, const uint8_t* src,
                                                       size_t step, size_t count, uint32_t* cells,
                                                       uint32_t* halves) {
  const Sse2Fields f = Sse2FieldsOf(k);
  const Sse2Rule rule = Sse2RuleOf(k.rule);
  const size_t fo = k.fractionOffset;
  __m128i any = _mm_setzero_si128();
  size_t i = 0;
  if (step == 2) {
    for (; i + 4 <= count; i += 4) {
      const __m128i p = Sse2LoadPixels(src + i * 2);
      any = _mm_or_si128(any, Sse2DecodeFour(f, rule, p, cells + i, halves + i, fo));
    }
  } else if (step == 4) {
    // Every other pixel; the load reaches one pixel past the fourth sample, so it is
    // only made while a further sample follows.
    for (; i + 5 <= count; i += 4) {
      const __m128i p = _mm_and_si128(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4)), _mm_set1_epi32(0xFFFF));
      any = _mm_or_si128(any, Sse2DecodeFour(f, rule, p, cells + i, halves + i, fo));
    }
  }
  const bool rest = Decode16Lanes(k, src + i * step, step, count - i, cells + i, halves + i);
  return rest || !Sse2AllZero(any);
}


LUMENFALL_ALIGN_STACK LUMENFALL_SSE2 void Compose16Sse2(const KernelContext& k, uint8_t* out,
                                                        const ComposeRows& rows, size_t count) {
  const Sse2Fields f = Sse2FieldsOf(k);
  const size_t fo = k.fractionOffset;
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i up = Load4(rows.up + i), left = Load4(rows.left + i);
    const __m128i own = Load4(rows.own + i), right = Load4(rows.right + i);
    const __m128i down = Load4(rows.down + i);
    if (Sse2AllZero(_mm_or_si128(_mm_or_si128(_mm_or_si128(up, left), _mm_or_si128(own, right)),
                                 down)))
      continue;
    uint8_t* at = out + i * 2;
    const __m128i ownLit = Sse2Lit(own);
    __m128i raw, v;
    if (_mm_movemask_epi8(ownLit) == 0xFFFF) {
      raw = _mm_setzero_si128();  // every pixel is written
      v = Sse2Opaque16(f, own);   // and the own writes wipe out the upper and left ones
    } else {
      raw = Sse2LoadPixels(at);
      v = Sse2Widen(f, raw);
      v = Sse2MixIfLit(f, v, up, rows.up + i + fo);
      v = Sse2MixIfLit(f, v, left, rows.left + i + fo);
      v = Sse2Select(ownLit, Sse2Opaque16(f, own), v);
    }
    v = Sse2MixIfLit(f, v, right, rows.right + i + fo);
    v = Sse2MixIfLit(f, v, down, rows.down + i + fo);
    Sse2StorePixels(f, at, v, raw);
  }
  if (i < count) {
    const ComposeRows rest{rows.up + i, rows.left + i, rows.own + i, rows.right + i, rows.down + i};
    Compose16Lanes(k, out + i * 2, rest, count - i);
  }
}

// Two blocks (four pixels) at a time, as the 32-bit kernel takes them.
LUMENFALL_ALIGN_STACK LUMENFALL_SSE2 void ComposeBlocks16Sse2(const KernelContext& k, uint8_t* out,
                                                              const uint32_t* above,
                                                              const BlockRow& row,
                                                              const uint32_t* below,
                                                              size_t blocks) {
  const Sse2Fields f = Sse2FieldsOf(k);
  const size_t fo = k.fractionOffset;
  const __m128i leftPixels = _mm_set_epi32(0, -1, 0, -1);
  size_t i = 0;
  for (; i + 2 <= blocks; i += 2) {
    const __m128i own = _mm_shuffle_epi32(Load4(row.cells + i - 1), _MM_SHUFFLE(2, 2, 1, 1));
    const __m128i side = Sse2SideOf(row.neighbours + i - 1, leftPixels);
    const __m128i up = Sse2PairOf(above + i), down = Sse2PairOf(below + i);
    if (Sse2AllZero(_mm_or_si128(_mm_or_si128(up, own), _mm_or_si128(side, down)))) continue;
    uint8_t* at = out + i * 4;
    const __m128i raw = Sse2LoadPixels(at);
    const __m128i ownLit = Sse2Lit(own);
    __m128i v = Sse2Widen(f, raw);
    v = Sse2Select(Sse2Lit(up), Sse2Mix16(f, v, up, Sse2PairOf(above + i + fo)), v);
    v = Sse2Select(_mm_andnot_si128(leftPixels, ownLit), Sse2Opaque16(f, own), v);
    v = Sse2Select(Sse2Lit(side), Sse2Mix16(f, v, side, Sse2SideOf(row.neighbours + i - 1 + fo, leftPixels)), v);
    v = Sse2Select(_mm_and_si128(leftPixels, ownLit), Sse2Opaque16(f, own), v);
    v = Sse2Select(Sse2Lit(down), Sse2Mix16(f, v, down, Sse2PairOf(below + i + fo)), v);
    Sse2StorePixels(f, at, v, raw);
  }
  if (i < blocks) {
    const BlockRow rest{row.cells + i, row.neighbours + i};
    ComposeBlocks16Lanes(k, out + i * 4, above + i, rest, below + i, blocks - i);
  }
}


}  // namespace lumenfall::blurkernels

#endif  // LUMENFALL_X86_KERNELS

// The 16-bit passes in 16-bit lanes with SSE2: eight pixels to a register (see
// blur_kernels_planes16.h), and the check that a format allows them.
#include <array>
#include <bit>
#include <cstring>

#include "effect/blur_kernels.h"

#if defined(LUMENFALL_X86_KERNELS)

#include "effect/blur_kernels_x86.h"

namespace lumenfall::blurkernels {

bool FillPlanes16(KernelContext& k) {
  Planes16& p = k.planes16;
  p = Planes16{};
  const uint32_t masks[3] = {k.info.blueMask, k.info.greenMask, k.info.redMask};
  const uint32_t downshift[3] = {k.info.blueDownshift, k.info.greenDownshift, k.info.redDownshift};
  for (int c = 0; c < 3; ++c) {
    const uint32_t kept = (k.keep16 >> kPlanePlace[c]) & 0xFF;
    if (kept == 0 || masks[c] == 0) return false;
    const auto lack = static_cast<uint32_t>(std::countr_zero(kept));
    const auto at = static_cast<uint32_t>(std::countr_zero(masks[c]));
    const uint32_t width = 8 - lack;
    if (((0xFFu << lack) & 0xFF) != kept || ((1u << width) - 1) << at != masks[c]) return false;
    // The writer's packing of every level must be the field's value in its place (checked
    // bit by bit: both sides are shifts and masks, which keep ORs apart).
    for (uint32_t v = 1; v < 256; v <<= 1) {
      if ((((v << kPlanePlace[c]) >> downshift[c]) & masks[c]) != (v >> lack) << at) return false;
    }
    p.lack[c] = lack;
    p.at[c] = at;
    p.fieldMask[c] = static_cast<uint16_t>((1u << width) - 1);
    p.pixelMask = static_cast<uint16_t>(p.pixelMask | masks[c]);
  }
  return true;
}

}  // namespace lumenfall::blurkernels

// The kernels below are chosen only when the processor has SSE2, the remainders too
// (the WebAssembly build is compiled for its SIMD as a whole).
#if !defined(__EMSCRIPTEN__)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("sse2")
#endif
#endif

#include "effect/blur_kernels_planes16.h"

namespace lumenfall::blurkernels {
namespace {

struct Eight {
  using V = __m128i;
  static V Load(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void Store(uint16_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
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

// Four blocks' entries for the eight pixels of their pairs.
struct PairEntries {
  const uint16_t* at;
  size_t stride;
  __m128i Plane(size_t p) const {
    const __m128i e = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at + p * stride));
    return _mm_unpacklo_epi16(e, e);
  }
};

// The side writers of four blocks' pairs: at is the entry of the block left of the
// first; the left pixels take their left block's entry, the right ones their right's.
struct SideEntries {
  const uint16_t* at;
  size_t stride;
  __m128i Plane(size_t p) const {
    const uint16_t* e = at + p * stride;
    return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(e)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(e + 2)));
  }
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
LUMENFALL_ALIGN_STACK bool Decode16PlanesSse2(const KernelContext& k, const uint8_t* src,
                                              size_t step, size_t count, uint32_t* cells,
                                              uint32_t*) {
  const PlaneFormat f = k.planes16;  // a copy, which the vector stores cannot alias
  auto* planes = reinterpret_cast<uint16_t*>(cells);
  const size_t stride = k.fractionOffset;
  __m128i lit = _mm_setzero_si128();
  size_t i = 0;
  if (step == 2 || step == 4) {
    const size_t reach = step == 2 ? 8 : 9;  // so that a step-4 load stays before the next sample
    for (; i + reach <= count; i += 8) {
      const __m128i pixels = LoadSamples(src + i * step, step);
      lit = _mm_or_si128(lit, DecodeBlock<Eight, Always>(f, pixels, planes + i, stride));
    }
  }
  return DecodeRest<Always>(f, src, step, count, planes, stride, i) || Eight::Any(lit);
}

}  // namespace

DecodeRowFn Decode16PlanesSse2For(const RuleSteps& rule) {
  constexpr DecodeRowFn kByRule[8] = {
      Decode16PlanesSse2<0>, Decode16PlanesSse2<1>, Decode16PlanesSse2<2>,
      Decode16PlanesSse2<3>, Decode16PlanesSse2<4>, Decode16PlanesSse2<5>,
      Decode16PlanesSse2<6>, Decode16PlanesSse2<7>};
  return kByRule[AlwaysChannels(rule)];
}

LUMENFALL_ALIGN_STACK void Compose16PlanesSse2(const KernelContext& k, uint8_t* out,
                                               const ComposeRows& rows, size_t count) {
  ComposeRow<Eight>(k, out, rows, count);
}

LUMENFALL_ALIGN_STACK void ComposeBlocks16PlanesSse2(const KernelContext& k, uint8_t* out,
                                                     const uint32_t* above, const BlockRow& row,
                                                     const uint32_t* below, size_t blocks) {
  ComposeBlockRow<Eight, PairEntries, SideEntries>(k, out, above, row, below, blocks);
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

// The 16-bit passes with AVX2: sixteen pixels to a register, one 16-bit lane each,
// each channel held as its field's value F (the level without its missing low bits)
// in a register of its own, so nothing is widened to 32 bits or packed back per write.
//
// A decoded row is seven planes of 16-bit entries, KernelContext::fractionOffset
// entries apart: the lit mask (0xFFFF or 0), the decayed colour's field values
// (blue, green, red), and each channel's share of a 0x7F write (blue, green, red).
// A black pixel is 0 in the lit mask; what its other planes hold is never used.
//
// The 0x7F write, with s the number of low bits a field lacks (old level v = F << s,
// new level n, decayed level c):
//  - red and green: n = (129 v + 127 c) >> 8, so F' = (F x (129 << s) + 127 c) >> (8 + s);
//    the sum stays below 65536 because F << s <= 254;
//  - blue floors its two parts apart: F' = ((F x (129 << s)) >> 8 + (127 c >> 8)) >> s.
// The shares kept in the planes are 127 c for red and green, 127 c >> 8 for blue.
//
// The fields must be contiguous, pixel = F_red << t_red | F_green << t_green | F_blue
// << t_blue; FillPlanes16 checks that against the writer's packing.
#include <array>
#include <bit>
#include <cstring>

#include "effect/blur_kernels.h"

#if defined(LUMENFALL_AVX2_KERNELS)

#include "effect/blur_kernels_x86.h"

namespace lumenfall::blurkernels {

namespace {

constexpr int kBlue = 0, kGreen = 1, kRed = 2;
constexpr uint32_t kPlace[3] = {0, 8, 16};

using PlaneFormat = Planes16;

}  // namespace

bool FillPlanes16(KernelContext& k) {
  PlaneFormat& p = k.planes16;
  p = PlaneFormat{};
  const uint32_t masks[3] = {k.info.blueMask, k.info.greenMask, k.info.redMask};
  const uint32_t downshift[3] = {k.info.blueDownshift, k.info.greenDownshift, k.info.redDownshift};
  for (int c = 0; c < 3; ++c) {
    const uint32_t kept = (k.keep16 >> kPlace[c]) & 0xFF;
    if (kept == 0 || masks[c] == 0) return false;
    const auto lack = static_cast<uint32_t>(std::countr_zero(kept));
    const auto at = static_cast<uint32_t>(std::countr_zero(masks[c]));
    const uint32_t width = 8 - lack;
    if (((0xFFu << lack) & 0xFF) != kept || ((1u << width) - 1) << at != masks[c]) return false;
    // The writer's packing of every level must be the field's value in its place.
    for (uint32_t v = 0; v < 256; ++v) {
      if ((((v << kPlace[c]) >> downshift[c]) & masks[c]) != (v >> lack) << at) return false;
    }
    p.lack[c] = lack;
    p.at[c] = at;
    p.fieldMask[c] = static_cast<uint16_t>((1u << width) - 1);
    p.pixelMask = static_cast<uint16_t>(p.pixelMask | masks[c]);
  }
  return true;
}

}  // namespace lumenfall::blurkernels

// The kernels below are chosen only when the processor has AVX2, the remainders too;
// the format check above runs on any processor.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace lumenfall::blurkernels {
namespace {

// One pixel in a plain 16-bit value: the remainders of the rows.
struct One {
  using V = uint16_t;
  static V Load(const uint16_t* p) { return *p; }
  static void Store(uint16_t* p, V v) { *p = v; }
  static V Set(uint32_t v) { return static_cast<V>(v); }
  static V And(V a, V b) { return static_cast<V>(a & b); }
  static V Or(V a, V b) { return static_cast<V>(a | b); }
  static V Add(V a, V b) { return static_cast<V>(a + b); }
  static V Mul(V a, V b) { return static_cast<V>(uint32_t{a} * b); }
  static V Srl(V a, uint32_t n) { return static_cast<V>(a >> n); }
  static V Sll(V a, uint32_t n) { return static_cast<V>(a << n); }
  static V SubSat(V a, V b) { return static_cast<V>(a > b ? a - b : 0); }
  static V Zero(V a) { return a == 0 ? 0xFFFF : 0; }
  static V Select(V mask, V yes, V no) { return static_cast<V>((yes & mask) | (no & ~mask)); }
  static bool Any(V a) { return a != 0; }
  static bool All(V a) { return a == 0xFFFF; }
};

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
};

// Decodes the pixels of one register into the planes at entry 0; true when any is lit.
// Always has bit c set for each channel c that the rule steps on every call; the
// others are stepped when those are all 0 after their step.
template <class L, unsigned Always>
inline bool DecodeBlock(const PlaneFormat& f, typename L::V pixels, uint16_t* at, size_t stride) {
  using V = typename L::V;
  const V black = L::Zero(L::And(pixels, L::Set(f.pixelMask)));
  if (L::All(black)) {
    L::Store(at, L::Set(0));
    return false;
  }
  V level[3];
  V first = L::Set(0);  // the first channels after their step, together
  for (int c = 0; c < 3; ++c) {
    level[c] = L::Sll(L::And(L::Srl(pixels, f.at[c]), L::Set(f.fieldMask[c])), f.lack[c]);
    if ((Always >> c) & 1) {
      level[c] = L::SubSat(level[c], L::Set(12));
      first = L::Or(first, level[c]);
    }
  }
  const V gone = L::And(L::Zero(first), L::Set(12));
  const V lit = L::Select(black, L::Set(0), L::Set(0xFFFF));
  L::Store(at, lit);
  for (int c = 0; c < 3; ++c) {
    const V decayed = (Always >> c) & 1 ? level[c] : L::SubSat(level[c], gone);
    const V share = L::Mul(decayed, L::Set(127));
    L::Store(at + (1 + c) * stride, L::Srl(decayed, f.lack[c]));
    L::Store(at + (4 + c) * stride, c == kBlue ? L::Srl(share, 8) : share);
  }
  return L::Any(lit);
}

// The fields of the pixels under construction, one register per channel.
template <class L>
struct Fields {
  typename L::V v[3];
};

template <class L>
inline Fields<L> Unpack(const PlaneFormat& f, typename L::V pixels) {
  Fields<L> out;
  for (int c = 0; c < 3; ++c) out.v[c] = L::And(L::Srl(pixels, f.at[c]), L::Set(f.fieldMask[c]));
  return out;
}

template <class L>
inline typename L::V Pack(const PlaneFormat& f, const Fields<L>& x) {
  return L::Or(L::Or(L::Sll(x.v[kRed], f.at[kRed]), L::Sll(x.v[kGreen], f.at[kGreen])),
               L::Sll(x.v[kBlue], f.at[kBlue]));
}

// A writer of one register of pixels: entries from at on, one per pixel.
template <class L>
struct Entries {
  const uint16_t* at;
  size_t stride;
  typename L::V Plane(size_t p) const { return L::Load(at + p * stride); }
};

// The 0x7F writes of the pixels whose writer is lit.
template <class L, class W>
inline void Mix(const PlaneFormat& f, Fields<L>& x, const W& writer) {
  using V = typename L::V;
  const V lit = writer.Plane(0);
  for (int c = 0; c < 3; ++c) {
    const V kept = L::Mul(x.v[c], L::Set(129u << f.lack[c]));
    const V share = writer.Plane(4 + c);
    const V mixed = c == kBlue ? L::Srl(L::Add(L::Srl(kept, 8), share), f.lack[c])
                               : L::Srl(L::Add(kept, share), 8 + f.lack[c]);
    x.v[c] = L::Select(lit, mixed, x.v[c]);
  }
}

// The opaque writes of the pixels in mask.
template <class L, class W>
inline void Own(Fields<L>& x, const W& own, typename L::V mask) {
  for (int c = 0; c < 3; ++c) x.v[c] = L::Select(mask, own.Plane(1 + c), x.v[c]);
}

// One register's worth of destination pixels of the full pass.
template <class L>
inline void ComposeBlock(const PlaneFormat& f, uint16_t* out, const std::array<Entries<L>, 5>& rows) {
  using V = typename L::V;
  const auto& [up, left, own, right, down] = rows;
  const V ownLit = own.Plane(0);
  Fields<L> x;
  if (L::All(ownLit)) {  // the own writes wipe out the upper and left ones
    for (int c = 0; c < 3; ++c) x.v[c] = own.Plane(1 + c);
    Mix<L>(f, x, right);
    Mix<L>(f, x, down);
    L::Store(out, Pack<L>(f, x));
    return;
  }
  const V touched = L::Or(L::Or(L::Or(up.Plane(0), left.Plane(0)), L::Or(ownLit, right.Plane(0))),
                          down.Plane(0));
  if (!L::Any(touched)) return;
  const V raw = L::Load(out);
  x = Unpack<L>(f, raw);
  Mix<L>(f, x, up);
  Mix<L>(f, x, left);
  Own<L>(x, own, ownLit);
  Mix<L>(f, x, right);
  Mix<L>(f, x, down);
  L::Store(out, L::Select(touched, Pack<L>(f, x), raw));  // the untouched keep every bit
}

// One register's worth of a row of the rough pass: pixels in pairs, a block's two. The
// left pixel of a pair takes its own write after the side's, the right one before.
// Only the pixels in fresh are written.
template <class L, class W, class S>
inline void ComposePairs(const PlaneFormat& f, uint16_t* out, const W& up, const W& own,
                         const S& side, const W& down, typename L::V leftPixels,
                         typename L::V fresh) {
  using V = typename L::V;
  const V ownLit = own.Plane(0);
  const V writers = L::Or(L::Or(up.Plane(0), ownLit), L::Or(side.Plane(0), down.Plane(0)));
  const V touched = L::And(writers, fresh);
  if (!L::Any(touched)) return;
  const V raw = L::Load(out);
  Fields<L> x = Unpack<L>(f, raw);
  Mix<L>(f, x, up);
  Own<L>(x, own, L::Select(leftPixels, L::Set(0), ownLit));
  Mix<L>(f, x, side);
  Own<L>(x, own, L::And(leftPixels, ownLit));
  Mix<L>(f, x, down);
  L::Store(out, L::Select(touched, Pack<L>(f, x), raw));
}

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

const uint16_t* At(const uint32_t* p) { return reinterpret_cast<const uint16_t*>(p); }

template <class L>
inline std::array<Entries<L>, 5> RowEntries(const ComposeRows& rows, size_t i, size_t stride) {
  return {Entries<L>{At(rows.up) + i, stride}, Entries<L>{At(rows.left) + i, stride},
          Entries<L>{At(rows.own) + i, stride}, Entries<L>{At(rows.right) + i, stride},
          Entries<L>{At(rows.down) + i, stride}};
}

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
  bool any = false;
  for (; i + reach <= count; i += 16) any |= block(i);
  if (step == 2 && i < count && count >= 16) {  // the last pixels again, overlapping: same entries
    any |= block(count - 16);
    i = count;
  }
  return any;
}

template <class L>
void ComposeRow(const PlaneFormat& f, uint8_t* out, const ComposeRows& rows, size_t count,
                size_t stride, size_t& i) {
  constexpr size_t kLanes = sizeof(typename L::V) / 2;
  for (; i + kLanes <= count; i += kLanes) {
    ComposeBlock<L>(f, reinterpret_cast<uint16_t*>(out + i * 2), RowEntries<L>(rows, i, stride));
  }
}

// Then the pixels one at a time through the same code: the remainders, and any step.
template <unsigned Always>
LUMENFALL_ALIGN_STACK bool Decode16Planes(const KernelContext& k, const uint8_t* src, size_t step,
                                          size_t count, uint32_t* cells, uint32_t*) {
  const PlaneFormat& f = k.planes16;
  auto* planes = reinterpret_cast<uint16_t*>(cells);
  bool any = false;
  size_t i = 0;
  if (step == 2 || step == 4) {
    any = DecodeRow<Always>(f, src, step, count, planes, k.fractionOffset, i);
  }
  for (; i < count; ++i) {
    uint16_t pixel = 0;
    std::memcpy(&pixel, src + i * step, 2);
    any |= DecodeBlock<One, Always>(f, pixel, planes + i, k.fractionOffset);
  }
  return any;
}

}  // namespace

DecodeRowFn Decode16PlanesFor(const RuleSteps& rule) {
  constexpr DecodeRowFn kByRule[8] = {
      Decode16Planes<0>, Decode16Planes<1>, Decode16Planes<2>, Decode16Planes<3>,
      Decode16Planes<4>, Decode16Planes<5>, Decode16Planes<6>, Decode16Planes<7>};
  unsigned always = 0;
  for (int c = 0; c < 3; ++c) always |= (rule.always >> kPlace[c]) & 1 ? 1u << c : 0;
  return kByRule[always];
}

LUMENFALL_ALIGN_STACK void Compose16Planes(const KernelContext& k, uint8_t* out,
                                           const ComposeRows& rows, size_t count) {
  const PlaneFormat& f = k.planes16;
  size_t i = 0;
  ComposeRow<Sixteen>(f, out, rows, count, k.fractionOffset, i);
  for (; i < count; ++i) {
    uint16_t pixel = 0;
    std::memcpy(&pixel, out + i * 2, 2);
    ComposeBlock<One>(f, &pixel, RowEntries<One>(rows, i, k.fractionOffset));
    std::memcpy(out + i * 2, &pixel, 2);
  }
}

// Eight blocks (sixteen pixels) at a time, the last ones overlapping the eight before
// (only their new pixels written); pixel by pixel in rows of fewer than eight.
LUMENFALL_ALIGN_STACK void ComposeBlocks16Planes(const KernelContext& k, uint8_t* out,
                                                 const uint32_t* above, const BlockRow& row,
                                                 const uint32_t* below, size_t blocks) {
  const PlaneFormat& f = k.planes16;
  const size_t stride = k.fractionOffset;
  const uint16_t *up = At(above), *own = At(row.cells), *side = At(row.neighbours);
  const uint16_t* down = At(below);
  auto* pixels = reinterpret_cast<uint16_t*>(out);
  const __m256i leftPixels = _mm256_set1_epi32(0xFFFF);
  auto eight = [&](size_t at, __m256i fresh) {
    ComposePairs<Sixteen>(f, pixels + 2 * at, PairEntries{up + at, stride},
                          PairEntries{own + at, stride}, SideEntries{side + at - 1, stride},
                          PairEntries{down + at, stride}, leftPixels, fresh);
  };
  size_t i = 0;
  for (; i + 8 <= blocks; i += 8) eight(i, _mm256_set1_epi32(-1));
  if (i < blocks && blocks >= 8) {
    const __m256i lane = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const auto done = static_cast<short>(2 * (i - (blocks - 8)));  // pixels already written
    eight(blocks - 8, _mm256_cmpgt_epi16(lane, _mm256_set1_epi16(static_cast<short>(done - 1))));
    i = blocks;
  }
  for (; i < blocks; ++i) {
    for (size_t right = 0; right < 2; ++right) {
      using E = Entries<One>;
      ComposePairs<One>(f, pixels + 2 * i + right, E{up + i, stride}, E{own + i, stride},
                        E{side + i + 2 * right - 1, stride}, E{down + i, stride},
                        right != 0 ? 0 : 0xFFFF, 0xFFFF);
    }
  }
}

}  // namespace lumenfall::blurkernels

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif  // LUMENFALL_AVX2_KERNELS

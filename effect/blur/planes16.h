// The 16-bit passes in 16-bit lanes: one lane a pixel (sixteen to an AVX2 register,
// eight to an SSE2 one), each channel held as its field's value F (the level without
// its missing low bits) in a register of its own, so nothing is widened to 32 bits or
// packed back per write.
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
//
// The arithmetic is written once, as templates over a lane type L: the AVX2 kernels
// (kernels_avx2.cpp), the SSE2 ones (kernels_sse2.cpp) and the one-pixel remainders of
// both. The templates have internal linkage on purpose: each
// file includes this header under its own instruction set and compiles its own copy,
// so the SSE2 kernels can never pick up a copy compiled for AVX2.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "effect/blur/kernels.h"

namespace lumenfall::blurkernels {
namespace {

constexpr int kBlue = 0, kGreen = 1, kRed = 2;
constexpr const uint32_t (&kPlace)[3] = kPlanePlace;

using PlaneFormat = Planes16;

// One pixel in an ordinary 16-bit value: the remainders of the rows.
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

// Decodes the pixels of one register into the planes at entry 0; returns the lit mask
// (the rows test it once, OR-ed together). Always has bit c set for each channel c that
// the rule steps on every call; the others are stepped when those are all 0 after
// their step.
template <class L, unsigned Always>
inline typename L::V DecodeBlock(const PlaneFormat& f, typename L::V pixels, uint16_t* at,
                                 size_t stride) {
  using V = typename L::V;
  const V black = L::Zero(L::And(pixels, L::Set(f.pixelMask)));
  if (L::All(black)) {
    L::Store(at, L::Set(0));
    return L::Set(0);
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
  return lit;
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

// The 0x7F writes of a writer: of its lit pixels, or (AllLit) of every pixel.
template <class L, bool AllLit = false, class W>
inline void Mix(const PlaneFormat& f, Fields<L>& x, const W& writer) {
  using V = typename L::V;
  for (int c = 0; c < 3; ++c) {
    const V kept = L::Mul(x.v[c], L::Set(129u << f.lack[c]));
    const V share = writer.Plane(4 + c);
    const V mixed = c == kBlue ? L::Srl(L::Add(L::Srl(kept, 8), share), f.lack[c])
                               : L::Srl(L::Add(kept, share), 8 + f.lack[c]);
    x.v[c] = AllLit ? mixed : L::Select(writer.Plane(0), mixed, x.v[c]);
  }
}

// The opaque writes of the pixels in mask.
template <class L, class W>
inline void Own(Fields<L>& x, const W& own, typename L::V mask) {
  for (int c = 0; c < 3; ++c) x.v[c] = L::Select(mask, own.Plane(1 + c), x.v[c]);
}

// One register's worth of destination pixels of the full pass.
template <class L>
inline void ComposeBlock(const PlaneFormat& f, uint16_t* out,
                         const std::array<Entries<L>, 5>& rows) {
  using V = typename L::V;
  const auto& [up, left, own, right, down] = rows;
  const V ownLit = own.Plane(0);
  Fields<L> x;
  if (L::All(ownLit)) {  // the own writes wipe out the upper and left ones
    for (int c = 0; c < 3; ++c) x.v[c] = own.Plane(1 + c);
    if (L::All(L::And(right.Plane(0), down.Plane(0)))) {  // inside a lit area
      Mix<L, true>(f, x, right);
      Mix<L, true>(f, x, down);
    } else {
      Mix<L>(f, x, right);
      Mix<L>(f, x, down);
    }
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

inline const uint16_t* At(const uint32_t* p) { return reinterpret_cast<const uint16_t*>(p); }

template <class L>
inline std::array<Entries<L>, 5> RowEntries(const ComposeRows& rows, size_t i, size_t stride) {
  return {Entries<L>{At(rows.up) + i, stride}, Entries<L>{At(rows.left) + i, stride},
          Entries<L>{At(rows.own) + i, stride}, Entries<L>{At(rows.right) + i, stride},
          Entries<L>{At(rows.down) + i, stride}};
}


// The pixels from i to count one at a time (the remainders, and any step).
template <unsigned Always>
bool DecodeRest(const PlaneFormat& f, const uint8_t* src, size_t step, size_t count,
                uint16_t* planes, size_t stride, size_t i) {
  bool any = false;
  for (; i < count; ++i) {
    uint16_t pixel = 0;
    std::memcpy(&pixel, src + i * step, 2);
    any |= DecodeBlock<One, Always>(f, pixel, planes + i, stride) != 0;
  }
  return any;
}

// The writers of a register's pixels taken in pairs, a block's two, for the lane types
// that read half a register of entries (LoadHalf) and interleave the low halves of two
// registers (InterleaveLow): four blocks' entries for eight pixels with SSE2, two for four
// with MMX. The side writers start at the entry of the block left of the first: the left
// pixels take their left block's entry, the right ones their right's.
template <class L>
struct PairWriters {
  const uint16_t* at;
  size_t stride;
  typename L::V Plane(size_t p) const {
    const typename L::V e = L::LoadHalf(at + p * stride);
    return L::InterleaveLow(e, e);
  }
};

template <class L>
struct SideWriters {
  const uint16_t* at;
  size_t stride;
  typename L::V Plane(size_t p) const {
    const uint16_t* e = at + p * stride;
    return L::InterleaveLow(L::LoadHalf(e), L::LoadHalf(e + 2));
  }
};

// A row of the decoder: whole registers of source pixels step bytes apart (2 or 4),
// which samples(p, step) reads (at step 4 reaching the pixel after the last sample, so
// one more sample must follow), then one at a time. True when any pixel is lit.
template <class L, unsigned Always, class Samples>
bool DecodeRow(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
               uint32_t* cells, Samples samples) {
  const PlaneFormat f = k.planes16;  // a copy, which the vector stores cannot alias
  auto* planes = reinterpret_cast<uint16_t*>(cells);
  const size_t stride = k.fractionOffset;
  constexpr size_t kLanes = sizeof(typename L::V) / 2;
  typename L::V lit = L::Set(0);
  size_t i = 0;
  if (step == 2 || step == 4) {
    const size_t reach = step == 2 ? kLanes : kLanes + 1;
    for (; i + reach <= count; i += kLanes) {
      const typename L::V pixels = samples(src + i * step, step);
      lit = L::Or(lit, DecodeBlock<L, Always>(f, pixels, planes + i, stride));
    }
  }
  return DecodeRest<Always>(f, src, step, count, planes, stride, i) || L::Any(lit);
}

inline void ComposeRest(const PlaneFormat& f, uint8_t* out, const ComposeRows& rows, size_t count,
                        size_t stride, size_t i) {
  for (; i < count; ++i) {
    uint16_t pixel = 0;
    std::memcpy(&pixel, out + i * 2, 2);
    ComposeBlock<One>(f, &pixel, RowEntries<One>(rows, i, stride));
    std::memcpy(out + i * 2, &pixel, 2);
  }
}

// The rough pass's blocks from i to blocks one pixel at a time.
inline void ComposeBlocksRest(const PlaneFormat& f, uint8_t* out, const uint32_t* above,
                              const BlockRow& row, const uint32_t* below, size_t stride, size_t i,
                              size_t blocks) {
  const uint16_t *up = At(above), *own = At(row.cells), *side = At(row.neighbours);
  const uint16_t* down = At(below);
  auto* pixels = reinterpret_cast<uint16_t*>(out);
  for (; i < blocks; ++i) {
    for (size_t right = 0; right < 2; ++right) {
      using E = Entries<One>;
      ComposePairs<One>(f, pixels + 2 * i + right, E{up + i, stride}, E{own + i, stride},
                        E{side + i + 2 * right - 1, stride}, E{down + i, stride},
                        right != 0 ? 0 : 0xFFFF, 0xFFFF);
    }
  }
}

// A row of the full pass: whole registers of pixels, then one pixel at a time.
template <class L>
void ComposeRow(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  const PlaneFormat f = k.planes16;  // copies, which the vector stores cannot alias
  const ComposeRows local = rows;
  const size_t stride = k.fractionOffset;
  constexpr size_t kLanes = sizeof(typename L::V) / 2;
  size_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    ComposeBlock<L>(f, reinterpret_cast<uint16_t*>(out + i * 2), RowEntries<L>(local, i, stride));
  }
  ComposeRest(f, out, local, count, stride, i);
}

// A row of the rough pass: whole registers of blocks, the last ones overlapping those
// before (only their new pixels written), and one pixel at a time in rows narrower than
// a register. Pairs and Sides read a register's writers (see ComposePairs); L::Lanes(n)
// marks the lanes from n on, L::LeftPixels() the left pixel of every pair.
template <class L, class Pairs, class Sides>
void ComposeBlockRow(const KernelContext& k, uint8_t* out, const uint32_t* above,
                     const BlockRow& row, const uint32_t* below, size_t blocks) {
  const PlaneFormat f = k.planes16;  // a copy, which the vector stores cannot alias
  const size_t stride = k.fractionOffset;
  constexpr size_t kBlocks = sizeof(typename L::V) / 4;  // two pixels a block
  const uint16_t *up = At(above), *own = At(row.cells), *side = At(row.neighbours);
  const uint16_t* down = At(below);
  auto* pixels = reinterpret_cast<uint16_t*>(out);
  auto group = [&](size_t at, typename L::V fresh) {
    ComposePairs<L>(f, pixels + 2 * at, Pairs{up + at, stride}, Pairs{own + at, stride},
                    Sides{side + at - 1, stride}, Pairs{down + at, stride}, L::LeftPixels(),
                    fresh);
  };
  size_t i = 0;
  for (; i + kBlocks <= blocks; i += kBlocks) group(i, L::Set(0xFFFF));
  if (i < blocks && blocks >= kBlocks) {
    group(blocks - kBlocks, L::Lanes(2 * (i - (blocks - kBlocks))));  // after those written
    i = blocks;
  }
  ComposeBlocksRest(f, out, above, row, below, stride, i, blocks);
}

}  // namespace
}  // namespace lumenfall::blurkernels

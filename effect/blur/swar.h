// The Swar kernels' arithmetic, written once for both words (kernels_swar.cpp: 24 and 32
// bits, kernels_swar16.cpp: 16 bits): a pixel's channels in the 8-bit lanes of a word (B,
// G, R, then the fourth byte), two pixels to a 64-bit word (Swar64) or one to a 32-bit
// word (Swar32). A 32-bit program has no 64-bit registers and would do every 64-bit
// operation in two halves, so it takes Swar32. A pixel's cells and halves are words of
// the same form; a lit one has 0xFF on top.
//
// Decoding: each pixel through the decay tables, made for the rule so that a channel it
// steps on every call is read once; Swar64 ORs a channel's cell and half in one word,
// Swar32 in two.
//
// Composing: every write that may land is computed for every pixel of a word and kept
// only where its writer is lit (a select on masks), so the only branches are the skip
// of a word with nothing lit around it and the short cuts when the own writes wipe out
// the upper and left ones.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "effect/blur/kernels.h"

static_assert(std::endian::native == std::endian::little, "pixels are read as words");

namespace lumenfall::blurkernels {
namespace {

// The constants of a word W (uint32_t or uint64_t), each byte or each pixel alike.
template <class W>
constexpr W kOnes = W(~W{0}) / 0xFF;
template <class W>
constexpr W kPixelOnes = W(~W{0}) / 0xFFFFFFFFu;  // 1 in each pixel
template <class W>
constexpr W kHigh = kOnes<W> * 0x80;  // the top bit of every byte
template <class W>
constexpr W kLow7 = kOnes<W> * 0x7F;
template <class W>
constexpr W kColour = kPixelOnes<W> * 0x00FFFFFF;
template <class W>
constexpr W kTops = kPixelOnes<W> * 0xFF000000;  // each pixel's lit mark

template <class W>
inline W Both(uint32_t v) {
  return W{v} * kPixelOnes<W>;
}

inline uint64_t Pair(uint32_t low, uint32_t high) { return uint64_t{low} | (uint64_t{high} << 32); }

// All ones in the lit pixels of cells and halves (their top byte is 0xFF, else 0).
template <class W>
inline W LitMask(W w) {
  return ((w >> 24) & (kPixelOnes<W> * 0xFF)) * 0x01010101;
}

template <class W>
inline W Select(W mask, W yes, W no) {
  return no ^ ((yes ^ no) & mask);
}

// floor(v x 129 / 256) per colour byte; 0 in the fourth bytes.
template <class W>
inline W KeptShare(W v) {
  return ((v >> 1) & (kLow7<W> & kColour<W>)) + (v & (v >> 7) & (kOnes<W> & kColour<W>));
}

// a when test is not 0, else b, without a branch: the test follows the picture. The
// compiler turns an ordinary choice here into a branch, so x86-64 gets its conditional
// move by hand.
inline uint64_t UnlessZero(uint64_t test, uint64_t a, uint64_t b) {
#if defined(__GNUC__) && defined(__x86_64__)
  asm("testq %1, %1\n\tcmovzq %2, %0" : "+r"(a) : "r"(test), "r"(b) : "cc");
  return a;
#else
  return Select(uint64_t{0} - uint64_t{test == 0}, b, a);
#endif
}

// The n bytes at p (at most a word's) as the low bytes of a word, read in pieces of 4, 2
// and 1: a copy into a zeroed word goes through memory and stalls the load.
template <size_t n, class W>
inline W LoadBytes(const uint8_t* p) {
  static_assert(n <= sizeof(W));
  W w = 0;
  if constexpr (n == 8) {
    std::memcpy(&w, p, 8);
  } else if constexpr (n >= 4) {
    uint32_t part;
    std::memcpy(&part, p, 4);
    w = part;
    if constexpr (n > 4) w |= LoadBytes<n - 4, W>(p + 4) << 32;
  } else if constexpr (n >= 2) {
    uint16_t part;
    std::memcpy(&part, p, 2);
    w = part;
    if constexpr (n == 3) w |= W{p[2]} << 16;
  } else if constexpr (n == 1) {
    w = p[0];
  }
  return w;
}

template <size_t N, class W>
inline W LoadEntries(const uint32_t* p) {
  return LoadBytes<N * 4, W>(reinterpret_cast<const uint8_t*>(p));
}

// --- Decoding --------------------------------------------------------------------------

// A channel's decay entries, ORed: its cell and its half, in one 64-bit word (the cell
// in the low half) or in two 32-bit ones.
template <class W>
struct Entry {
  W cell = 0, half = 0;  // Swar64: half unused
  void Add(const uint64_t& e) {
    if constexpr (sizeof(W) == 8) {
      cell |= e;
    } else {  // the two halves read apart: a copy of the whole goes through the stack
      const auto* bytes = reinterpret_cast<const uint8_t*>(&e);
      uint32_t part;
      std::memcpy(&part, bytes, 4);
      cell |= part;
      std::memcpy(&part, bytes + 4, 4);
      half |= part;
    }
  }
  Entry& operator|=(const Entry& e) {
    cell |= e.cell;
    half |= e.half;
    return *this;
  }
  uint32_t Cell() const { return static_cast<uint32_t>(cell); }
  uint32_t Half() const {
    if constexpr (sizeof(W) == 8) return static_cast<uint32_t>(cell >> 32);
    return static_cast<uint32_t>(half);
  }
};

// first where test (its channels that the rule always steps, after their step) is not
// 0, else both.
template <class W>
inline Entry<W> FirstUnlessGone(uint32_t test, const Entry<W>& first, const Entry<W>& both) {
  Entry<W> d;
  if constexpr (sizeof(W) == 8) {
    d.cell = UnlessZero(test, first.cell, both.cell);
  } else {
    const uint32_t gone = 0u - uint32_t{test == 0};
    d.cell = Select(gone, both.cell, first.cell);
    d.half = Select(gone, both.half, first.half);
  }
  return d;
}

// Channel c's entries at a level: into common where the rule always steps it, else into
// first (its first step) and both (both steps).
template <unsigned Always, int c, class W>
inline void AddChannel(const KernelContext& k, uint32_t level, Entry<W>& common, Entry<W>& first,
                       Entry<W>& both) {
  if constexpr (((Always >> c) & 1) != 0) {
    common.Add(k.decay[c][0][level]);
  } else {
    first.Add(k.decay[c][0][level]);
    both.Add(k.decay[c][1][level]);
  }
}

// Channel c's entry at a level, where the rule steps it only on condition: with that
// step (stepped 1) or without.
template <unsigned Always, int c, class W>
inline void AddConditional(const KernelContext& k, uint32_t level, uint32_t stepped,
                           Entry<W>& d) {
  if constexpr (((Always >> c) & 1) == 0) d.Add(k.decay[c][stepped][level]);
}

// Each pixel through the decay tables: its cell, its half and, where the depth keeps
// them, its remainders. No branch follows the picture. Always has bit c set for each
// channel c that the rule steps on every call: those channels' entries are the same
// with and without the conditional step, so they are looked up once. Channels gives a
// pixel's channel levels (and lit mark, where the tables do not carry it).
template <unsigned Always, class Channels, class W>
bool DecodeWith(const Channels& channels, const KernelContext& k, const uint8_t* src,
                size_t step, size_t count, uint32_t* cells, uint32_t* halves) {
  // The rule's mask of the channels it always steps (RuleSteps::always).
  constexpr uint32_t kAlways =
      ((Always & 1) != 0 ? 0xFFu : 0) | ((Always & 2) != 0 ? 0xFF00u : 0) |
      ((Always & 4) != 0 ? 0xFF0000u : 0);
  const size_t fo = k.fractionOffset;
  uint32_t any = 0;
  auto decode = [&](const uint8_t* p, size_t i) {
    uint32_t level[3], lit = 0;
    channels.Read(p, level[0], level[1], level[2], lit);
    Entry<W> common, first, both, d;
    AddChannel<Always, 0>(k, level[0], common, first, both);
    AddChannel<Always, 1>(k, level[1], common, first, both);
    AddChannel<Always, 2>(k, level[2], common, first, both);
    // The second step is taken when the first leaves the channels it always steps at 0:
    // Swar64 chooses between both entries with a conditional move, Swar32 (short of
    // registers) looks up the one it needs.
    if constexpr (sizeof(W) == 8) {
      d = FirstUnlessGone(common.Cell() & kAlways, first, both);
    } else {
      const uint32_t stepped = (common.Cell() & kAlways) == 0 ? 1 : 0;
      AddConditional<Always, 0>(k, level[0], stepped, d);
      AddConditional<Always, 1>(k, level[1], stepped, d);
      AddConditional<Always, 2>(k, level[2], stepped, d);
    }
    d |= common;
    uint32_t cell = d.Cell(), half = d.Half();
    if constexpr (Channels::kFractions) {  // the top bytes hold remainders, not lit marks
      halves[i + fo] = ((cell >> 8) & 0xFF0000) | ((half >> 16) & 0xFF00);
      cell = (cell & 0xFFFFFF) | lit;
      half = (half & 0xFFFFFF) | lit;
    }
    cells[i] = cell;
    halves[i] = half;
    if constexpr (sizeof(W) == 8) any |= cell;
  };
  // The full pass reads every pixel: a step known here keeps one of the few 32-bit
  // registers free.
  if (sizeof(W) == 4 && step == Channels::kBytes) {
    for (size_t i = 0; i < count; ++i) decode(src + i * Channels::kBytes, i);
  } else {
    for (size_t i = 0; i < count; ++i) decode(src + i * step, i);
  }
  // With 32-bit registers the loop above has none left for any, which would go through
  // memory from one pixel to the next: the cells are ORed afterwards.
  if constexpr (sizeof(W) == 4) {
    for (size_t i = 0; i < count; ++i) any |= cells[i];
  }
  return any != 0;
}

template <class Channels, class W, unsigned Always>
bool DecodeRow(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
               uint32_t* cells, uint32_t* halves) {
  return DecodeWith<Always, Channels, W>(Channels::Of(k), k, src, step, count, cells, halves);
}

// The decoder made for the rule.
template <class Channels, class W>
DecodeRowFn DecoderFor(const RuleSteps& rule) {
  constexpr DecodeRowFn kByRule[8] = {
      DecodeRow<Channels, W, 0>, DecodeRow<Channels, W, 1>, DecodeRow<Channels, W, 2>,
      DecodeRow<Channels, W, 3>, DecodeRow<Channels, W, 4>, DecodeRow<Channels, W, 5>,
      DecodeRow<Channels, W, 6>, DecodeRow<Channels, W, 7>};
  return kByRule[AlwaysChannels(rule)];
}

// --- Composing -------------------------------------------------------------------------

// The writers of N pixels, in the order their writes land. Writers gives each one's words
// (cells or halves) and, for the remainders that the depth may keep fractionOffset
// entries further on, where they lie.
enum Which { kUp, kLeft, kOwn, kRight, kDown };

// The writers of the full pass at entry i of the rows; with OneSideRow the right
// neighbours are read two entries after the left ones instead of through rows.right.
template <size_t N, class W, bool OneSideRow>
struct RowWriters {
  const ComposeRows& rows;
  size_t i;
  const uint32_t* At(Which w) const {
    switch (w) {
      case kUp: return rows.up + i;
      case kLeft: return rows.left + i;
      case kOwn: return rows.own + i;
      case kRight: return (OneSideRow ? rows.left + 2 : rows.right) + i;
      case kDown: break;
    }
    return rows.down + i;
  }
  W Value(Which w) const { return LoadEntries<N, W>(At(w)); }
};

// Writers given by their values; a missing one is 0, its remainders read anywhere they
// can be (they are never used).
template <class W>
struct GivenWriters {
  W value[5];
  const uint32_t* at[5];
  const uint32_t* At(Which w) const { return at[w]; }
  W Value(Which w) const { return value[w]; }
};

template <size_t N, class Depth, class Writers, class W = typename Depth::Word>
inline W FractionsOf(const Writers& writers, Which w, size_t fo) {
  if constexpr (Depth::kFractions) return LoadEntries<N, W>(writers.At(w) + fo);
  return 0;
}

// N pixels (at most a word's) from their writers.
template <size_t N, class Depth, class Writers, class W = typename Depth::Word>
inline void ComposeWriters(const Depth& depth, uint8_t* out, const Writers& writers, size_t fo) {
  auto mix = [&](W v, W value, Which w) {
    return depth.Mix(v, value, FractionsOf<N, Depth>(writers, w, fo));
  };
  constexpr W kAll = N * 4 == sizeof(W) ? ~W{0} : W{0xFFFFFFFF};
  constexpr W kLit = kAll & kTops<W>;
  const W own = writers.Value(kOwn);
  if ((own & kLit) == kLit) {  // the own writes wipe out the upper and left ones
    const W right = writers.Value(kRight), down = writers.Value(kDown);
    W v = depth.Opaque(own);
    if ((right & down & kLit) == kLit) {  // inside a lit area: both writes land
      v = mix(mix(v, right, kRight), down, kDown);
    } else {
      v = Select(LitMask(right), mix(v, right, kRight), v);
      v = Select(LitMask(down), mix(v, down, kDown), v);
    }
    depth.template Store<N>(out, v, kAll);
    return;
  }
  const W up = writers.Value(kUp), left = writers.Value(kLeft);
  const W right = writers.Value(kRight), down = writers.Value(kDown);
  const W any = up | left | own | right | down;
  if (any == 0) return;
  W v = depth.template Load<N>(out);
  v = Select(LitMask(up), mix(v, up, kUp), v);
  v = Select(LitMask(left), mix(v, left, kLeft), v);
  v = Select(LitMask(own), depth.Opaque(own), v);
  v = Select(LitMask(right), mix(v, right, kRight), v);
  v = Select(LitMask(down), mix(v, down, kDown), v);
  depth.template Store<N>(out, v, LitMask(any));
}

template <class Depth>
void ComposeWith(const Depth& depth, const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                 size_t count) {
  using W = typename Depth::Word;
  const ComposeRows local = rows;  // a copy, which the pixel stores cannot alias
  const size_t fo = k.fractionOffset;
  size_t i = 0;
  // A word at a time where the side neighbours come from one row, as in the full pass
  // (one pointer fewer to keep); anything else one pixel at a time.
  constexpr size_t kPixels = sizeof(W) / 4;
  if (local.right == local.left + 2) {
    for (; i + kPixels <= count; i += kPixels) {
      ComposeWriters<kPixels>(depth, out + i * Depth::kBytes,
                              RowWriters<kPixels, W, true>{local, i}, fo);
    }
  }
  for (; i < count; ++i)
    ComposeWriters<1>(depth, out + i * Depth::kBytes, RowWriters<1, W, false>{local, i}, fo);
}

// One block of the rough pass in a 64-bit word: its left pixel in the low half, its
// right pixel in the high half. The left pixel takes the left block's fringe before its
// own write, the right pixel the right block's after it.
template <class Depth>
inline void ComposeBlockPair(const Depth& depth, uint8_t* out, const uint32_t* above,
                             const BlockRow& row, const uint32_t* below, size_t i, size_t fo) {
  using Word = uint64_t;
  constexpr Word kRightPixel = 0xFFFFFFFF00000000ull;
  const Word own = Both<Word>(row.cells[i]), up = Both<Word>(above[i]);
  const Word down = Both<Word>(below[i]);
  const Word side = Pair(row.neighbours[i - 1], row.neighbours[i + 1]);
  const Word any = own | up | down | side;
  if (any == 0) return;
  Word fu = 0, fs = 0, fd = 0;
  if constexpr (Depth::kFractions) {
    fu = Both<Word>(above[i + fo]);
    fd = Both<Word>(below[i + fo]);
    fs = Pair(row.neighbours[i - 1 + fo], row.neighbours[i + 1 + fo]);
  }
  Word v;
  if (LitMask(own) != 0) {
    v = depth.Opaque(own);
    constexpr Word kRightTop = 0xFF00000000000000ull;  // the right pixel's lit mark
    if ((side & down & kRightTop) == kRightTop) {  // the right fringe and the lower one land
      v = Select(kRightPixel, depth.Mix(v, side, fs), v);
      depth.template Store<2>(out, depth.Mix(v, down, fd), ~Word{0});
      return;
    }
    v = Select(LitMask(side) & kRightPixel, depth.Mix(v, side, fs), v);
  } else {
    v = depth.template Load<2>(out);
    v = Select(LitMask(up), depth.Mix(v, up, fu), v);
    v = Select(LitMask(side), depth.Mix(v, side, fs), v);
  }
  v = Select(LitMask(down), depth.Mix(v, down, fd), v);
  depth.template Store<2>(out, v, LitMask(any));
}

template <class Depth>
void ComposeBlocksWith(const Depth& depth, const KernelContext& k, uint8_t* out,
                       const uint32_t* above, const BlockRow& row, const uint32_t* below,
                       size_t blocks) {
  using W = typename Depth::Word;
  const size_t fo = k.fractionOffset;
  for (size_t i = 0; i < blocks; ++i, out += 2 * Depth::kBytes) {
    if constexpr (sizeof(W) == 8) {
      ComposeBlockPair(depth, out, above, row, below, i, fo);
    } else {
      // A pixel at a time: the left one has the left block's fringe as its left writer,
      // the right one the right block's as its right writer; the missing writer's
      // remainders are read beside the own cell's.
      const uint32_t *side = row.neighbours, *own = row.cells + i;
      const GivenWriters<W> left{{above[i], side[i - 1], *own, 0, below[i]},
                                 {above + i, side + i - 1, own, own, below + i}};
      const GivenWriters<W> right{{above[i], 0, *own, side[i + 1], below[i]},
                                  {above + i, own, own, side + i + 1, below + i}};
      ComposeWriters<1>(depth, out, left, fo);
      ComposeWriters<1>(depth, out + Depth::kBytes, right, fo);
    }
  }
}

}  // namespace
}  // namespace lumenfall::blurkernels

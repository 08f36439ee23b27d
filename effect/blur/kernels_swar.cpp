// The 16-, 24- and 32-bit kernels in 64-bit words (Swar64): the channels of two
// pixels side by side in one 64-bit word, one byte each (B, G, R, then the fourth
// byte, for the pixel in the low half and again for the one in the high half). A
// pixel's cells and halves are words of the same form; a lit one has 0xFF on top.
//
// Every write that may land is computed for both pixels and kept only where its
// writer is lit (a select on masks), so the only branches are the skip of a pair with
// nothing lit around it and the short cut when both own writes wipe out the upper and
// left ones.
//
// The decoders read each channel's decay entries from tables, made for the rule so that
// a channel it steps on every call is read once. A 16-bit pixel is read through two
// tables instead, one for each part of it between whole fields (FillParts16).
//
// The 0x7F blends, per byte:
//  - 24 and 32 bits: floor(v x 129 / 256) + half, the first part being
//    (v >> 1) + (v & 1 & v >> 7) (see kernels_sse2.cpp);
//  - 16 bits: the old level v of a field always has its low bit clear (fields of at
//    most 7 bits), so floor((129 v + 127 c) / 256) = v / 2 + half + the carry of
//    v + (127 c mod 256) past 255, which is bit 7 of v / 2 + the halved remainder
//    (the remainder's low bit cannot make it carry). Blue floors its two parts
//    apart: no carry. The result keeps only the bits its field holds.
#include <bit>
#include <cstring>

#include "effect/blur/kernels.h"

static_assert(std::endian::native == std::endian::little, "pixels are read as words");

namespace lumenfall::blurkernels {

namespace {

using Word = uint64_t;
constexpr Word kOnes = 0x0101010101010101ull;
constexpr Word kHigh = 0x8080808080808080ull;  // the top bit of every byte
constexpr Word kLow7 = 0x7F7F7F7F7F7F7F7Full;
constexpr Word kColour = 0x00FFFFFF00FFFFFFull;
constexpr Word kPixelOnes = 0x0000000100000001ull;
constexpr Word kPixelAll = 0xFFFFFFFFull;   // times a pixel's 0 or 1: its mask
constexpr Word kRightPixel = 0xFFFFFFFF00000000ull;

inline Word Both(uint32_t v) { return Word{v} * kPixelOnes; }
inline Word Pair(uint32_t low, uint32_t high) { return Word{low} | (Word{high} << 32); }

// All ones in the lit pixels of cells and halves (their top byte is 0xFF, else 0).
inline Word LitMask(Word w) { return ((w >> 24) & 0x000000FF000000FFull) * 0x01010101; }

inline Word Select(Word mask, Word yes, Word no) { return no ^ ((yes ^ no) & mask); }

// floor(v x 129 / 256) per colour byte; 0 in the fourth bytes.
inline Word KeptShare(Word v) {
  return ((v >> 1) & (kLow7 & kColour)) + (v & (v >> 7) & (kOnes & kColour));
}

// a when test is not 0, else b, without a branch: the test follows the picture. The
// compiler turns an ordinary choice here into a branch, so x86-64 gets its conditional
// move by hand.
inline uint64_t UnlessZero(uint64_t test, uint64_t a, uint64_t b) {
#if defined(__GNUC__) && defined(__x86_64__)
  asm("testq %1, %1\n\tcmovzq %2, %0" : "+r"(a) : "r"(test), "r"(b) : "cc");
  return a;
#else
  const uint64_t none = uint64_t{0} - uint64_t{test == 0};
  return a ^ ((a ^ b) & none);
#endif
}

// The n bytes at p (at most 8) as the low bytes of a word, read in pieces of 4, 2
// and 1: a copy into a zeroed word goes through memory and stalls the load.
template <size_t n>
inline Word LoadBytes(const uint8_t* p) {
  Word w = 0;
  if constexpr (n == 8) {
    std::memcpy(&w, p, 8);
  } else if constexpr (n >= 4) {
    uint32_t part;
    std::memcpy(&part, p, 4);
    w = part;
    if constexpr (n > 4) w |= LoadBytes<n - 4>(p + 4) << 32;
  } else if constexpr (n >= 2) {
    uint16_t part;
    std::memcpy(&part, p, 2);
    w = part;
    if constexpr (n == 3) w |= Word{p[2]} << 16;
  } else if constexpr (n == 1) {
    w = p[0];
  }
  return w;
}

template <size_t N>
inline Word LoadEntries(const uint32_t* p) {
  return LoadBytes<N * 4>(reinterpret_cast<const uint8_t*>(p));
}

// 24 and 32 bits: the pixel is the cell's form (24-bit pixels get a fourth byte in
// the word, dropped again when they are stored).
template <size_t Bytes>
struct Bgr {
  static constexpr size_t kBytes = Bytes;
  static constexpr bool kFractions = false;
  static Bgr Of(const KernelContext&) { return {}; }
  // The channels of the pixel at p; the decay tables carry its lit mark.
  void Channels(const uint8_t* p, uint32_t& b, uint32_t& g, uint32_t& r, uint32_t&) const {
    b = p[0];
    g = p[1];
    r = p[2];
  }
  template <size_t N>
  Word Load(const uint8_t* p) const {
    Word w = LoadBytes<N * Bytes>(p);
    if (Bytes == 3 && N == 2) w = (w & 0xFFFFFF) | ((w << 8) & 0x00FFFFFF00000000ull);
    return w;
  }
  Word Opaque(Word own) const { return own; }
  // The half's 0xFF becomes the fourth byte.
  Word Mix(Word old, Word half, Word) const { return KeptShare(old) + half; }
  // Pixels without a lit writer still hold what was loaded.
  template <size_t N>
  void Store(uint8_t* p, Word v, Word) const {
    if (Bytes == 3 && N == 2) v = (v & 0xFFFFFF) | ((v >> 8) & 0xFFFFFF000000ull);
    std::memcpy(p, &v, N * Bytes);
  }
};

// 16 bits whose fields allow lanes: each field shifted into its channel's byte and
// back, for both pixels of a word at once (the fields fit in 16 bits, the shifts keep
// each pixel inside its half).
struct Fields16 {
  static constexpr size_t kBytes = 2;
  static constexpr bool kFractions = true;
  static constexpr Word kChannel[3] = {0x00FF000000FF0000ull, 0x0000FF000000FF00ull,
                                       0x000000FF000000FFull};  // red, green, blue
  const KernelContext& k;
  Word field[3];  // each channel's mask, in both halves
  uint32_t down[3];
  Word keep;
  static Fields16 Of(const KernelContext& k);
  // A 16-bit pixel in each half of raw to the channel levels of both.
  Word Widen(Word raw) const {
    return (((raw & field[0]) << down[0]) & kChannel[0]) |
           (((raw & field[1]) << down[1]) & kChannel[1]) |
           (((raw & field[2]) << down[2]) & kChannel[2]);
  }
  // Both pixels packed, the low one in bits 0-15 and the high one in bits 16-31. Every
  // level it is given holds only the bits its field keeps (keep, or a widened pixel),
  // and those land inside the field.
  uint32_t Pack(Word v) const {
    const Word packed = ((v & kChannel[0]) >> down[0]) | ((v & kChannel[1]) >> down[1]) |
                        ((v & kChannel[2]) >> down[2]);
    return static_cast<uint32_t>(packed | (packed >> 16));
  }
  // One pixel through the tables of its bytes: its channels and its lit mark.
  void Channels(const uint8_t* p, uint32_t& b, uint32_t& g, uint32_t& r, uint32_t& lit) const {
    const uint32_t c = k.widen16[0][p[0]] | k.widen16[1][p[1]];
    b = c & 0xFF;
    g = (c >> 8) & 0xFF;
    r = (c >> 16) & 0xFF;
    lit = c & kLitCell;
  }
  template <size_t N>
  Word Load(const uint8_t* p) const {
    const auto raw = static_cast<uint32_t>(LoadBytes<N * 2>(p));
    return Widen(Pair(raw & 0xFFFF, raw >> 16));
  }
  Word Opaque(Word own) const { return own & keep; }
  Word Mix(Word old, Word half, Word fraction) const {
    const Word kept = (old >> 1) & kLow7;
    return (kept + half + (((kept + fraction) & kHigh) >> 7)) & keep;  // keep drops the 0xFF
  }
  // Only the pixels with a lit writer are packed: the others keep every bit they had.
  template <size_t N>
  void Store(uint8_t* p, Word v, Word touched) const {
    const auto raw = static_cast<uint32_t>(LoadBytes<N * 2>(p));
    const uint32_t mask = static_cast<uint32_t>(touched & 0x0000FFFF0000FFFFull) |
                          static_cast<uint32_t>(touched >> 16);
    const uint32_t out = raw ^ ((Pack(v) ^ raw) & mask);
    std::memcpy(p, &out, N * 2);
  }
};

// Each pixel through the decay tables: its cell, its half and, where the depth keeps
// them, its remainders. No branch follows the picture. Always has bit c set for each
// channel c that the rule steps on every call: those channels' entries are the same
// with and without the conditional step, so they are looked up once.
template <unsigned Always, class Depth>
bool DecodeWith(const Depth& depth, const KernelContext& k, const uint8_t* src, size_t step,
                size_t count, uint32_t* cells, uint32_t* halves) {
  const uint64_t always = k.rule.always;
  const size_t fo = k.fractionOffset;
  uint32_t any = 0;
  for (size_t i = 0; i < count; ++i, src += step) {
    uint32_t level[3], lit = 0;
    depth.Channels(src, level[0], level[1], level[2], lit);
    uint64_t common = 0, first = 0, both = 0;
    for (int c = 0; c < 3; ++c) {
      if ((Always >> c) & 1) {
        common |= k.decay[0][c][level[c]];
      } else {
        first |= k.decay[0][c][level[c]];
        both |= k.decay[1][c][level[c]];
      }
    }
    // The second step is taken when the first leaves the channels it always steps at 0.
    const uint64_t d = common | UnlessZero(common & always, first, both);
    auto cell = static_cast<uint32_t>(d), half = static_cast<uint32_t>(d >> 32);
    if constexpr (Depth::kFractions) {  // the top bytes hold remainders, not lit marks
      halves[i + fo] = ((cell >> 8) & 0xFF0000) | ((half >> 16) & 0xFF00);
      cell = (cell & 0xFFFFFF) | lit;
      half = (half & 0xFFFFFF) | lit;
    }
    cells[i] = cell;
    halves[i] = half;
    any |= cell;
  }
  return any != 0;
}

template <class Depth, unsigned Always>
bool DecodeRow(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
               uint32_t* cells, uint32_t* halves) {
  return DecodeWith<Always>(Depth::Of(k), k, src, step, count, cells, halves);
}

// The decoder made for the rule.
template <class Depth>
DecodeRowFn DecoderFor(const RuleSteps& rule) {
  constexpr DecodeRowFn kByRule[8] = {
      DecodeRow<Depth, 0>, DecodeRow<Depth, 1>, DecodeRow<Depth, 2>, DecodeRow<Depth, 3>,
      DecodeRow<Depth, 4>, DecodeRow<Depth, 5>, DecodeRow<Depth, 6>, DecodeRow<Depth, 7>};
  return kByRule[AlwaysChannels(rule)];
}

// The remainders of N entries at p, where the depth keeps them.
template <size_t N, class Depth>
inline Word Fractions(const uint32_t* p, size_t fo) {
  if constexpr (Depth::kFractions) return LoadEntries<N>(p + fo);
  return 0;
}

// N pixels of the full pass from entry i of the rows; with kOneSideRow the right
// neighbours are read two entries after the left ones instead of through rows.right.
template <size_t N, bool kOneSideRow, class Depth>
inline void ComposeSome(const Depth& depth, uint8_t* out, const ComposeRows& rows, size_t i,
                        size_t fo) {
  const uint32_t* rightRow = kOneSideRow ? rows.left + 2 : rows.right;
  const Word up = LoadEntries<N>(rows.up + i), left = LoadEntries<N>(rows.left + i);
  const Word own = LoadEntries<N>(rows.own + i), right = LoadEntries<N>(rightRow + i);
  const Word down = LoadEntries<N>(rows.down + i);
  const Word any = up | left | own | right | down;
  if (any == 0) return;
  // The right and lower writes, which every pixel takes last.
  auto mixRight = [&](Word v) {
    return depth.Mix(v, right, Fractions<N, Depth>(rightRow + i, fo));
  };
  auto mixDown = [&](Word v) { return depth.Mix(v, down, Fractions<N, Depth>(rows.down + i, fo)); };
  auto last = [&](Word v) {
    v = Select(LitMask(right), mixRight(v), v);
    return Select(LitMask(down), mixDown(v), v);
  };
  constexpr Word kAll = N == 2 ? ~Word{0} : kPixelAll;
  constexpr Word kTops = kAll & 0xFF000000FF000000ull;
  if ((own & kTops) == kTops) {  // the own writes wipe out the upper and left ones
    const Word v = depth.Opaque(own);
    const bool litArea = (right & down & kTops) == kTops;  // both writes land
    depth.template Store<N>(out, litArea ? mixDown(mixRight(v)) : last(v), kAll);
    return;
  }
  const Word ownLit = LitMask(own);
  Word v = depth.template Load<N>(out);
  v = Select(LitMask(up), depth.Mix(v, up, Fractions<N, Depth>(rows.up + i, fo)), v);
  v = Select(LitMask(left), depth.Mix(v, left, Fractions<N, Depth>(rows.left + i, fo)), v);
  v = Select(ownLit, depth.Opaque(own), v);
  depth.template Store<N>(out, last(v), LitMask(any));
}

template <class Depth>
void ComposeWith(const Depth& depth, const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                 size_t count) {
  const ComposeRows local = rows;  // a copy, which the pixel stores cannot alias
  const size_t fo = k.fractionOffset;
  size_t i = 0;
  // Pairs where the side neighbours come from one row, as in the full pass (one
  // pointer fewer to keep); anything else one pixel at a time.
  if (local.right == local.left + 2) {
    for (; i + 2 <= count; i += 2)
      ComposeSome<2, true>(depth, out + i * Depth::kBytes, local, i, fo);
  }
  for (; i < count; ++i) ComposeSome<1, false>(depth, out + i * Depth::kBytes, local, i, fo);
}

// One block of the rough pass: its left pixel in the low half of the word, its right
// pixel in the high half. The left pixel takes the left block's fringe before its own
// write, the right pixel the right block's after it.
template <class Depth>
inline void ComposeBlock(const Depth& depth, uint8_t* out, const uint32_t* above,
                         const BlockRow& row, const uint32_t* below, size_t i, size_t fo) {
  const Word own = Both(row.cells[i]), up = Both(above[i]), down = Both(below[i]);
  const Word side = Pair(row.neighbours[i - 1], row.neighbours[i + 1]);
  const Word any = own | up | down | side;
  if (any == 0) return;
  Word fu = 0, fs = 0, fd = 0;
  if constexpr (Depth::kFractions) {
    fu = Both(above[i + fo]);
    fd = Both(below[i + fo]);
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
  for (size_t i = 0; i < blocks; ++i)
    ComposeBlock(depth, out + i * 2 * Depth::kBytes, above, row, below, i, k.fractionOffset);
}

Fields16 Fields16::Of(const KernelContext& k) {
  const PixelFormatInfo& f = k.info;
  return Fields16{k,
                  {Both(f.redMask), Both(f.greenMask), Both(f.blueMask)},
                  {f.redDownshift, f.greenDownshift, f.blueDownshift},
                  Both(k.keep16)};
}

}  // namespace

bool Decode16Parts_Swar64(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                          uint32_t* cells, uint32_t* halves) {
  const uint64_t always = k.rule.always;
  const size_t fo = k.fractionOffset;
  const uint64_t *low = k.parts16.low.data(), *high = k.parts16.high.data();
  const uint32_t split = k.parts16.split, lowBits = (1u << split) - 1;
  uint32_t any = 0;
  for (size_t i = 0; i < count; ++i, src += step) {
    uint16_t pixel;
    std::memcpy(&pixel, src, 2);
    const uint64_t* a = low + 3 * size_t{pixel & lowBits};
    const uint64_t* b = high + 3 * size_t{uint32_t{pixel} >> split};
    const uint64_t first = a[0] | b[0], both = a[1] | b[1], fractions = a[2] | b[2];
    // The second step is taken when the first leaves the channels it always steps at 0.
    const uint64_t d = UnlessZero(first & always, first, both);
    const uint64_t fr = UnlessZero(first & always, fractions, fractions >> 32);
    cells[i] = static_cast<uint32_t>(d);
    halves[i] = static_cast<uint32_t>(d >> 32);
    halves[i + fo] = static_cast<uint32_t>(fr);
    any |= static_cast<uint32_t>(d);
  }
  return any != 0;
}

DecodeRowFn DecodeFor32_Swar64(const KernelContext& k) { return DecoderFor<Bgr<4>>(k.rule); }

bool Decode32_Swar64(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                     uint32_t* cells, uint32_t* halves) {
  return DecodeFor32_Swar64(k)(k, src, step, count, cells, halves);
}

void Compose32_Swar64(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                      size_t count) {
  ComposeWith(Bgr<4>{}, k, out, rows, count);
}

void ComposeBlocks32_Swar64(const KernelContext& k, uint8_t* out, const uint32_t* above,
                            const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Bgr<4>{}, k, out, above, row, below, blocks);
}

DecodeRowFn DecodeFor24_Swar64(const KernelContext& k) { return DecoderFor<Bgr<3>>(k.rule); }

void Compose24_Swar64(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                      size_t count) {
  ComposeWith(Bgr<3>{}, k, out, rows, count);
}

void ComposeBlocks24_Swar64(const KernelContext& k, uint8_t* out, const uint32_t* above,
                            const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Bgr<3>{}, k, out, above, row, below, blocks);
}

DecodeRowFn DecodeFor16Lanes_Swar64(const KernelContext& k) {
  return k.parts16.split != 0 ? Decode16Parts_Swar64 : DecoderFor<Fields16>(k.rule);
}

bool Decode16Lanes_Swar64(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                          uint32_t* cells, uint32_t* halves) {
  return DecoderFor<Fields16>(k.rule)(k, src, step, count, cells, halves);
}

void Compose16Lanes_Swar64(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                           size_t count) {
  ComposeWith(Fields16::Of(k), k, out, rows, count);
}

void ComposeBlocks16Lanes_Swar64(const KernelContext& k, uint8_t* out, const uint32_t* above,
                                 const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Fields16::Of(k), k, out, above, row, below, blocks);
}

}  // namespace lumenfall::blurkernels

// The 16- and 32-bit blur kernels without vector instructions: the channels of two
// pixels side by side in one 64-bit word, one byte each (B, G, R, then the fourth
// byte, for the pixel in the low half and again for the one in the high half). A
// pixel's cells and halves are words of the same form; a lit one has bit 31 set.
//
// Every write that may land is computed for both pixels and kept only where its
// writer is lit (a select on masks), so the only branches are the skip of a pair with
// nothing lit around it and the short cut when both own writes wipe out the upper and
// left ones.
//
// The 0x7F blends, per byte:
//  - 24 and 32 bits: floor(v x 129 / 256) + half, the first part being
//    (v >> 1) + (v & 1 & v >> 7) (see blur_kernels_x86.cpp);
//  - 16 bits: the old level v of a field always has its low bit clear (fields of at
//    most 7 bits), so floor((129 v + 127 c) / 256) = v / 2 + half + the carry of
//    v + (127 c mod 256) past 255. Blue floors its two parts apart: no carry.
//    The result keeps only the bits its field holds.
#include <bit>
#include <cstring>

#include "effect/blur_kernels.h"

static_assert(std::endian::native == std::endian::little, "pixels are read as words");

namespace lumenfall::blurkernels {

namespace {

using Word = uint64_t;
constexpr Word kOnes = 0x0101010101010101ull;
constexpr Word kHigh = 0x8080808080808080ull;  // the top bit of every byte
constexpr Word kLow7 = 0x7F7F7F7F7F7F7F7Full;
constexpr Word kEven = 0x00FF00FF00FF00FFull;  // bytes 0, 2, 4, 6
constexpr Word kColour = 0x00FFFFFF00FFFFFFull;
constexpr Word kAlpha = 0xFF000000FF000000ull;
constexpr Word kRedGreen = 0x00FFFF0000FFFF00ull;
constexpr Word kPixelOnes = 0x0000000100000001ull;
constexpr Word kPixelAll = 0xFFFFFFFFull;   // times a pixel's 0 or 1: its mask
constexpr Word kRightPixel = 0xFFFFFFFF00000000ull;

inline Word Both(uint32_t v) { return Word{v} * kPixelOnes; }
inline Word Pair(uint32_t low, uint32_t high) { return Word{low} | (Word{high} << 32); }

// All ones in the pixels whose bit 31 is set (lit cells and halves).
inline Word LitMask(Word w) { return ((w >> 31) & kPixelOnes) * kPixelAll; }

// All ones in the pixels whose colour bytes are not all zero.
inline Word NonZeroMask(Word w) {
  return ((((w & kColour) + kColour) >> 24) & kPixelOnes) * kPixelAll;
}

inline Word Select(Word mask, Word yes, Word no) { return no ^ ((yes ^ no) & mask); }

// level > step ? level - step : 0 in every byte, for steps below 128. The top bit is
// set before subtracting so that no byte borrows from the next one.
inline Word SubSaturated(Word x, Word steps) {
  const Word d = (x | kHigh) - steps;
  const Word low = ~x & kHigh;  // bytes below 128 ...
  const Word under = low & ~d;  // ... that the step took below zero
  return (d ^ low) & ~((under >> 7) * 0xFF);
}

struct WordRule {
  Word always, alwaysSteps, conditionalSteps;
};

WordRule WordRuleOf(const RuleSteps& rule) {
  return WordRule{Both(rule.always), Both(rule.always & 0x0C0C0C),
                  Both(rule.conditional & 0x0C0C0C)};
}

// Cells of two colours 0x00RRGGBB: the rule's step, and the conditional one where the
// first channels are all gone; 0 for black.
inline Word Cells(const WordRule& rule, Word colour) {
  const Word lit = NonZeroMask(colour);
  Word c = SubSaturated(colour, rule.alwaysSteps);
  const Word left = NonZeroMask(c & rule.always);
  c = SubSaturated(c, rule.conditionalSteps & ~left);
  return (c | kAlpha) & lit;
}

// c x 127 per byte, in 16-bit lanes: the even bytes and the odd ones.
struct Products {
  Word even, odd;
};

inline Products TimesGive(Word cells) {
  return Products{(cells & kEven) * 127, ((cells >> 8) & kEven) * 127};
}

// floor(c x 127 / 256) per channel, the fourth byte kept from the cell.
inline Word Halves(Word cells, const Products& p) {
  const Word shares = ((p.even >> 8) & kEven) | (p.odd & ~kEven);
  return (shares & kColour) | (cells & kAlpha);
}

// (c x 127) mod 256 for red and green.
inline Word Fractions(const Products& p) {
  return ((p.even & kEven) | ((p.odd << 8) & ~kEven)) & kRedGreen;
}

// floor(v x 129 / 256) per byte.
inline Word KeptShare(Word v) { return ((v >> 1) & kLow7) + (v & (v >> 7) & kOnes); }

// 1 in the bytes where a + b passes 255.
inline Word Carry(Word a, Word b) {
  const Word low = (a & kLow7) + (b & kLow7);
  return (((a & b) | ((a | b) & low)) & kHigh) >> 7;
}

template <size_t N>
inline Word LoadEntries(const uint32_t* p) {
  Word w = 0;
  std::memcpy(&w, p, N * 4);
  return w;
}

template <size_t N>
inline void StoreEntries(uint32_t* p, Word w) {
  std::memcpy(p, &w, N * 4);
}

// 32 bits (and 24 bits widened): the pixel is the cell's form.
struct Bgrx {
  static constexpr size_t kBytes = 4;
  static constexpr bool kFractions = false;
  template <size_t N>
  Word Colours(const uint8_t* src, size_t step) const {
    Word w = 0;
    if (N == 2 && step == 4) {
      std::memcpy(&w, src, 8);
    } else {
      uint32_t a = 0, b = 0;
      std::memcpy(&a, src, 4);
      if (N == 2) std::memcpy(&b, src + step, 4);
      w = Pair(a, b);
    }
    return w & kColour;
  }
  template <size_t N>
  Word Load(const uint8_t* p) const {
    Word w = 0;
    std::memcpy(&w, p, N * 4);
    return w;
  }
  Word Opaque(Word own) const { return own; }
  Word Mix(Word old, Word half, Word) const { return (KeptShare(old) + (half & kColour)) | kAlpha; }
  // Pixels without a lit writer still hold what was loaded.
  template <size_t N>
  void Store(uint8_t* p, Word v, Word) const {
    std::memcpy(p, &v, N * 4);
  }
};

// 16 bits whose fields allow lanes: pixels widened and packed through the tables.
struct Fields16 {
  static constexpr size_t kBytes = 2;
  static constexpr bool kFractions = true;
  const KernelContext& k;
  Word keep;
  uint32_t Widen(uint32_t v) const { return k.widen16[0][v & 0xFF] | k.widen16[1][v >> 8]; }
  uint32_t Pack(uint32_t c) const {
    return uint32_t{k.pack16[0][(c >> 16) & 0xFF]} | k.pack16[1][(c >> 8) & 0xFF] |
           k.pack16[2][c & 0xFF];
  }
  template <size_t N>
  Word Colours(const uint8_t* src, size_t step) const {
    const uint32_t a = uint32_t{src[0]} | (uint32_t{src[1]} << 8);
    if (N == 1) return Widen(a);
    return Pair(Widen(a), Widen(uint32_t{src[step]} | (uint32_t{src[step + 1]} << 8)));
  }
  template <size_t N>
  Word Load(const uint8_t* p) const {
    uint32_t raw = 0;
    std::memcpy(&raw, p, N * 2);
    return N == 1 ? Widen(raw) : Pair(Widen(raw & 0xFFFF), Widen(raw >> 16));
  }
  Word Opaque(Word own) const { return own & keep; }
  Word Mix(Word old, Word half, Word fraction) const {
    return (((old >> 1) & kLow7) + (half & kColour) + Carry(old, fraction)) & keep;
  }
  // Only the pixels with a lit writer are packed: the others keep every bit they had.
  template <size_t N>
  void Store(uint8_t* p, Word v, Word touched) const {
    uint32_t raw = 0;
    std::memcpy(&raw, p, N * 2);
    uint32_t packed = Pack(static_cast<uint32_t>(v));
    if (N == 2) packed |= Pack(static_cast<uint32_t>(v >> 32)) << 16;
    const uint32_t mask =
        (static_cast<uint32_t>(touched) & 0xFFFF) | (static_cast<uint32_t>(touched >> 32) << 16);
    const uint32_t out = raw ^ ((packed ^ raw) & mask);
    std::memcpy(p, &out, N * 2);
  }
};

template <size_t N, class Depth>
inline Word DecodeSome(const Depth& depth, const WordRule& rule, const KernelContext& k,
                       const uint8_t* src, size_t step, uint32_t* cells, uint32_t* halves) {
  const Word c = Cells(rule, depth.template Colours<N>(src, step));
  const Products p = TimesGive(c);
  StoreEntries<N>(cells, c);
  StoreEntries<N>(halves, Halves(c, p));
  if constexpr (Depth::kFractions) StoreEntries<N>(halves + k.fractionOffset, Fractions(p));
  return c;
}

template <class Depth>
bool DecodeWith(const Depth& depth, const KernelContext& k, const uint8_t* src, size_t step,
                size_t count, uint32_t* cells, uint32_t* halves) {
  const WordRule rule = WordRuleOf(k.rule);
  Word any = 0;
  size_t i = 0;
  for (; i + 2 <= count; i += 2)
    any |= DecodeSome<2>(depth, rule, k, src + i * step, step, cells + i, halves + i);
  if (i < count) any |= DecodeSome<1>(depth, rule, k, src + i * step, step, cells + i, halves + i);
  return any != 0;
}

// N pixels of the full pass from entry i of the rows.
template <size_t N, class Depth>
inline void ComposeSome(const Depth& depth, uint8_t* out, const ComposeRows& rows, size_t i,
                        size_t fo) {
  const Word up = LoadEntries<N>(rows.up + i), left = LoadEntries<N>(rows.left + i);
  const Word own = LoadEntries<N>(rows.own + i), right = LoadEntries<N>(rows.right + i);
  const Word down = LoadEntries<N>(rows.down + i);
  const Word any = up | left | own | right | down;
  if (any == 0) return;
  Word fu = 0, fl = 0, fr = 0, fd = 0;
  if constexpr (Depth::kFractions) {
    fu = LoadEntries<N>(rows.up + i + fo);
    fl = LoadEntries<N>(rows.left + i + fo);
    fr = LoadEntries<N>(rows.right + i + fo);
    fd = LoadEntries<N>(rows.down + i + fo);
  }
  const Word ownLit = LitMask(own);
  Word v;
  if (ownLit == (N == 2 ? ~Word{0} : kPixelAll)) {
    v = depth.Opaque(own);  // the own writes wipe out the upper and left ones
  } else {
    v = depth.template Load<N>(out);
    v = Select(LitMask(up), depth.Mix(v, up, fu), v);
    v = Select(LitMask(left), depth.Mix(v, left, fl), v);
    v = Select(ownLit, depth.Opaque(own), v);
  }
  v = Select(LitMask(right), depth.Mix(v, right, fr), v);
  v = Select(LitMask(down), depth.Mix(v, down, fd), v);
  depth.template Store<N>(out, v, LitMask(any));
}

template <class Depth>
void ComposeWith(const Depth& depth, const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                 size_t count) {
  size_t i = 0;
  for (; i + 2 <= count; i += 2)
    ComposeSome<2>(depth, out + i * Depth::kBytes, rows, i, k.fractionOffset);
  if (i < count) ComposeSome<1>(depth, out + i * Depth::kBytes, rows, i, k.fractionOffset);
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

Fields16 FieldsOf(const KernelContext& k) { return Fields16{k, Both(k.keep16)}; }

}  // namespace

bool Decode32Plain(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                   uint32_t* cells, uint32_t* halves) {
  return DecodeWith(Bgrx{}, k, src, step, count, cells, halves);
}

void Compose32Plain(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeWith(Bgrx{}, k, out, rows, count);
}

void ComposeBlocks32Plain(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Bgrx{}, k, out, above, row, below, blocks);
}

bool Decode16Lanes(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                   uint32_t* cells, uint32_t* halves) {
  return DecodeWith(FieldsOf(k), k, src, step, count, cells, halves);
}

void Compose16Lanes(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeWith(FieldsOf(k), k, out, rows, count);
}

void ComposeBlocks16Lanes(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(FieldsOf(k), k, out, above, row, below, blocks);
}

}  // namespace lumenfall::blurkernels

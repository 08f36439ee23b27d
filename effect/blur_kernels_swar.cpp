// The 16-, 24- and 32-bit blur kernels without vector instructions: the channels of two
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
//    v + (127 c mod 256) past 255, which is bit 7 of v / 2 + the halved remainder
//    (the remainder's low bit cannot make it carry). Blue floors its two parts
//    apart: no carry. The result keeps only the bits its field holds.
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
constexpr Word kColour = 0x00FFFFFF00FFFFFFull;
constexpr Word kAlpha = 0xFF000000FF000000ull;
constexpr Word kPixelOnes = 0x0000000100000001ull;
constexpr Word kPixelAll = 0xFFFFFFFFull;   // times a pixel's 0 or 1: its mask
constexpr Word kRightPixel = 0xFFFFFFFF00000000ull;

inline Word Both(uint32_t v) { return Word{v} * kPixelOnes; }
inline Word Pair(uint32_t low, uint32_t high) { return Word{low} | (Word{high} << 32); }

// All ones in the pixels whose bit 31 is set (lit cells and halves).
inline Word LitMask(Word w) { return ((w >> 31) & kPixelOnes) * kPixelAll; }

inline Word Select(Word mask, Word yes, Word no) { return no ^ ((yes ^ no) & mask); }

// floor(v x 129 / 256) per byte.
inline Word KeptShare(Word v) { return ((v >> 1) & kLow7) + (v & (v >> 7) & kOnes); }

template <size_t N>
inline Word LoadEntries(const uint32_t* p) {
  Word w = 0;
  std::memcpy(&w, p, N * 4);
  return w;
}

// 24 and 32 bits: the pixel is the cell's form (24-bit pixels get a fourth byte in
// the word, dropped again when they are stored).
template <size_t Bytes>
struct Bgr {
  static constexpr size_t kBytes = Bytes;
  static constexpr bool kFractions = false;
  void Channels(const uint8_t* p, uint32_t& b, uint32_t& g, uint32_t& r) const {
    b = p[0];
    g = p[1];
    r = p[2];
  }
  template <size_t N>
  Word Load(const uint8_t* p) const {
    Word w = 0;
    std::memcpy(&w, p, N * Bytes);
    if (Bytes == 3 && N == 2) w = (w & 0xFFFFFF) | ((w << 8) & 0x00FFFFFF00000000ull);
    return w;
  }
  Word Opaque(Word own) const { return own; }
  Word Mix(Word old, Word half, Word) const { return (KeptShare(old) + (half & kColour)) | kAlpha; }
  // Pixels without a lit writer still hold what was loaded.
  template <size_t N>
  void Store(uint8_t* p, Word v, Word) const {
    if (Bytes == 3 && N == 2) v = (v & 0xFFFFFF) | ((v >> 8) & 0xFFFFFF000000ull);
    std::memcpy(p, &v, N * Bytes);
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
  void Channels(const uint8_t* p, uint32_t& b, uint32_t& g, uint32_t& r) const {
    const uint32_t c = Widen(uint32_t{p[0]} | (uint32_t{p[1]} << 8));
    b = c & 0xFF;
    g = (c >> 8) & 0xFF;
    r = c >> 16;
  }
  template <size_t N>
  Word Load(const uint8_t* p) const {
    uint32_t raw = 0;
    std::memcpy(&raw, p, N * 2);
    return N == 1 ? Widen(raw) : Pair(Widen(raw & 0xFFFF), Widen(raw >> 16));
  }
  Word Opaque(Word own) const { return own & keep; }
  Word Mix(Word old, Word half, Word fraction) const {
    const Word kept = (old >> 1) & kLow7;
    return (kept + (half & kColour) + (((kept + fraction) & kHigh) >> 7)) & keep;
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

// One pixel from its channel levels through the decay tables: its cell, its half and,
// where the depth keeps them, its remainders.
template <class Depth>
inline uint32_t DecodeOne(const KernelContext& k, uint32_t always, uint32_t b, uint32_t g,
                          uint32_t r, uint32_t* cell, uint32_t* half, size_t fo) {
  const uint64_t first = k.decay[0][0][b] | k.decay[0][1][g] | k.decay[0][2][r];
  const uint64_t both = k.decay[1][0][b] | k.decay[1][1][g] | k.decay[1][2][r];
  const uint64_t d = (static_cast<uint32_t>(first) & always) != 0 ? first : both;
  const uint32_t lit = (b | g | r) != 0 ? kLitCell : 0;
  const uint32_t c = (static_cast<uint32_t>(d) & 0xFFFFFF) | lit;
  *cell = c;
  *half = (static_cast<uint32_t>(d >> 32) & 0xFFFFFF) | lit;
  if constexpr (Depth::kFractions)
    half[fo] = (static_cast<uint32_t>(d >> 8) & 0xFF0000) | (static_cast<uint32_t>(d >> 48) & 0xFF00);
  return c;
}

template <class Depth>
bool DecodeWith(const Depth& depth, const KernelContext& k, const uint8_t* src, size_t step,
                size_t count, uint32_t* cells, uint32_t* halves) {
  const uint32_t always = k.rule.always;
  uint32_t any = 0;
  for (size_t i = 0; i < count; ++i, src += step) {
    uint32_t b, g, r;
    depth.Channels(src, b, g, r);
    any |= DecodeOne<Depth>(k, always, b, g, r, cells + i, halves + i, k.fractionOffset);
  }
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
  return DecodeWith(Bgr<4>{}, k, src, step, count, cells, halves);
}

void Compose32Plain(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeWith(Bgr<4>{}, k, out, rows, count);
}

void ComposeBlocks32Plain(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Bgr<4>{}, k, out, above, row, below, blocks);
}

bool Decode24Plain(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                   uint32_t* cells, uint32_t* halves) {
  return DecodeWith(Bgr<3>{}, k, src, step, count, cells, halves);
}

void Compose24Plain(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeWith(Bgr<3>{}, k, out, rows, count);
}

void ComposeBlocks24Plain(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Bgr<3>{}, k, out, above, row, below, blocks);
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

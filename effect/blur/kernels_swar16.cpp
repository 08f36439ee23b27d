// The 16-bit kernels without vector instructions, in 64- and 32-bit words (Swar64, Swar32;
// see swar.h), for the formats whose writes chain in 8-bit lanes: each field shifted
// into its channel's byte and back.
//
// The 0x7F blend: the old level v of a field always has its low bit clear (fields of at
// most 7 bits), so floor((129 v + 127 c) / 256) = v / 2 + half + the carry of
// v + (127 c mod 256) past 255, which is bit 7 of v / 2 + the halved remainder (the
// remainder's low bit cannot make it carry). Blue floors its two parts apart: no carry.
// The result keeps only the bits its field holds.
#include "effect/blur/swar.h"

namespace lumenfall::blurkernels {

namespace {

// One pixel through the widening tables of its bytes: its channels and its lit mark.
struct WidenedChannels {
  static constexpr size_t kBytes = 2;
  static constexpr bool kFractions = true;
  const KernelContext& k;
  static WidenedChannels Of(const KernelContext& k) { return {k}; }
  void Read(const uint8_t* p, uint32_t& b, uint32_t& g, uint32_t& r, uint32_t& lit) const {
    const uint32_t c = k.widen16[0][p[0]] | k.widen16[1][p[1]];
    b = c & 0xFF;
    g = (c >> 8) & 0xFF;
    r = (c >> 16) & 0xFF;
    lit = c & kLitCell;
  }
};

// The fields of every pixel of a word at once (they fit in 16 bits, and the shifts keep
// each pixel inside its part of the word).
template <class W>
struct Fields16 {
  using Word = W;
  static constexpr size_t kBytes = 2;
  static constexpr bool kFractions = true;
  static constexpr W kChannel[3] = {kPixelOnes<W> * 0xFF0000, kPixelOnes<W> * 0xFF00,
                                    kPixelOnes<W> * 0xFF};  // red, green, blue
  W field[3];  // each channel's mask, in every pixel
  uint32_t down[3];
  W keep;
  static Fields16 Of(const KernelContext& k) {
    const PixelFormatInfo& f = k.info;
    return Fields16{{Both<W>(f.redMask), Both<W>(f.greenMask), Both<W>(f.blueMask)},
                    {f.redDownshift, f.greenDownshift, f.blueDownshift},
                    Both<W>(k.keep16)};
  }
  // A 16-bit pixel in each pixel of raw to its channel levels.
  W Widen(W raw) const {
    return (((raw & field[0]) << down[0]) & kChannel[0]) |
           (((raw & field[1]) << down[1]) & kChannel[1]) |
           (((raw & field[2]) << down[2]) & kChannel[2]);
  }
  // The pixels packed, the first in bits 0-15 and a second in bits 16-31. Every level
  // it is given holds only the bits its field keeps (keep, or a widened pixel), and
  // those land inside the field.
  uint32_t Pack(W v) const {
    const W packed = ((v & kChannel[0]) >> down[0]) | ((v & kChannel[1]) >> down[1]) |
                     ((v & kChannel[2]) >> down[2]);
    if constexpr (sizeof(W) == 8) return static_cast<uint32_t>(packed | (packed >> 16));
    return static_cast<uint32_t>(packed);
  }
  template <size_t N>
  W Load(const uint8_t* p) const {
    const auto raw = static_cast<uint32_t>(LoadBytes<N * 2, W>(p));
    if constexpr (sizeof(W) == 8) return Widen(Pair(raw & 0xFFFF, raw >> 16));
    return Widen(raw);
  }
  W Opaque(W own) const { return own & keep; }
  W Mix(W old, W half, W fraction) const {
    const W kept = (old >> 1) & kLow7<W>;
    return (kept + half + (((kept + fraction) & kHigh<W>) >> 7)) & keep;  // keep drops the 0xFF
  }
  // Only the pixels with a lit writer are packed: the others keep every bit they had.
  template <size_t N>
  void Store(uint8_t* p, W v, W touched) const {
    const auto raw = static_cast<uint32_t>(LoadBytes<N * 2, W>(p));
    uint32_t mask = static_cast<uint32_t>(touched) & 0xFFFF;
    if constexpr (sizeof(W) == 8) {
      mask = static_cast<uint32_t>(touched & 0x0000FFFF0000FFFFull) |
             static_cast<uint32_t>(touched >> 16);
    }
    const uint32_t out = raw ^ ((Pack(v) ^ raw) & mask);
    std::memcpy(p, &out, N * 2);
  }
};

// The 32-bit word n of the 64-bit words from e on.
inline uint32_t Word32(const uint64_t* e, uint32_t n) {
  uint32_t w;
  std::memcpy(&w, reinterpret_cast<const uint8_t*>(e) + 4 * n, 4);
  return w;
}

// The pixels through the two part tables (FillParts16): each value of a part has the OR
// of its fields' entries with the first step, with both steps, and their remainders.
template <class W>
bool DecodeParts(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                 uint32_t* cells, uint32_t* halves) {
  const uint32_t always = k.rule.always;
  const size_t fo = k.fractionOffset;
  const uint64_t *low = k.parts16.low.data(), *high = k.parts16.high.data();
  const uint32_t split = k.parts16.split, lowBits = (1u << split) - 1;
  uint32_t any = 0;
  for (size_t i = 0; i < count; ++i, src += step) {
    uint16_t pixel;
    std::memcpy(&pixel, src, 2);
    const uint64_t* a = low + 3 * size_t{pixel & lowBits};
    const uint64_t* b = high + 3 * size_t{uint32_t{pixel} >> split};
    if constexpr (sizeof(W) == 8) {
      Entry<W> first, both;
      first.Add(a[0]);
      first.Add(b[0]);
      both.Add(a[1]);
      both.Add(b[1]);
      // The second step is taken when the first leaves the channels it always steps at
      // 0; the remainders of both steps lie in the high half of the third word.
      const uint32_t test = first.Cell() & always;
      const Entry<W> d = FirstUnlessGone(test, first, both);
      const uint64_t fractions = a[2] | b[2];
      cells[i] = d.Cell();
      halves[i] = d.Half();
      halves[i + fo] = static_cast<uint32_t>(UnlessZero(test, fractions, fractions >> 32));
      any |= d.Cell();
    } else {  // Swar32: the 32-bit words of the step it needs, looked up
      const uint32_t stepped = ((Word32(a, 0) | Word32(b, 0)) & always) == 0 ? 1 : 0;
      const uint32_t cell = Word32(a, 2 * stepped) | Word32(b, 2 * stepped);
      cells[i] = cell;
      halves[i] = Word32(a, 2 * stepped + 1) | Word32(b, 2 * stepped + 1);
      halves[i + fo] = Word32(a, 4 + stepped) | Word32(b, 4 + stepped);
      any |= cell;
    }
  }
  return any != 0;
}

}  // namespace

DecodeRowFn DecodeFor16Lanes_Swar64(const KernelContext& k) {
  if (k.parts16.split != 0) return DecodeParts<uint64_t>;
  return DecoderFor<WidenedChannels, uint64_t>(k.rule);
}

void Compose16Lanes_Swar64(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                           size_t count) {
  ComposeWith(Fields16<uint64_t>::Of(k), k, out, rows, count);
}

void ComposeBlocks16Lanes_Swar64(const KernelContext& k, uint8_t* out, const uint32_t* above,
                                 const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Fields16<uint64_t>::Of(k), k, out, above, row, below, blocks);
}

DecodeRowFn DecodeFor16Lanes_Swar32(const KernelContext& k) {
  if (k.parts16.split != 0) return DecodeParts<uint32_t>;
  return DecoderFor<WidenedChannels, uint32_t>(k.rule);
}

void Compose16Lanes_Swar32(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                           size_t count) {
  ComposeWith(Fields16<uint32_t>::Of(k), k, out, rows, count);
}

void ComposeBlocks16Lanes_Swar32(const KernelContext& k, uint8_t* out, const uint32_t* above,
                                 const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Fields16<uint32_t>::Of(k), k, out, above, row, below, blocks);
}

}  // namespace lumenfall::blurkernels

// The per-depth blends of the fast blur passes that go one write at a time: 8 bits
// through its palette tables and 16 bits with unusual fields; the decay tables; and
// 24 bits through the 32-bit vector kernels, a chunk of pixels widened to four bytes.
#include <cstring>

#include "effect/blur_kernels.h"

namespace lumenfall::blurkernels {

RuleSteps MakeRuleSteps(uint32_t always, uint32_t conditional) {
  RuleSteps r;
  r.always = always;
  r.conditional = conditional;
  r.alwaysLanes = SpreadLanes(always);
  r.alwaysSteps = r.alwaysLanes & kLaneTwelve;
  r.conditionalSteps = SpreadLanes(conditional) & kLaneTwelve;
  return r;
}

void FillDecayTables(KernelContext& k, bool remainders) {
  const uint32_t stepped[2] = {k.rule.always, k.rule.always | k.rule.conditional};
  for (uint32_t v = 0; v < 256; ++v) {
    // The level as it is and stepped: the level, its half and its halved remainder.
    uint64_t parts[2][3];
    for (int s = 0; s < 2; ++s) {
      const uint32_t d = s == 0 ? v : (v > 12 ? v - 12 : 0);
      parts[s][0] = d;
      parts[s][1] = (d * 127) >> 8;
      parts[s][2] = ((d * 127) & 0xFF) >> 1;
    }
    for (int conditional = 0; conditional < 2; ++conditional) {
      for (uint32_t channel = 0; channel < 3; ++channel) {
        const uint32_t place = 8 * channel;
        const uint64_t* p = parts[(stepped[conditional] >> place & 0xFF) != 0 ? 1 : 0];
        uint64_t entry = (p[0] << place) | (p[1] << (32 + place));
        if (remainders) {
          if (channel == 2) entry |= p[2] << 24;
          if (channel == 1) entry |= p[2] << 56;
        } else if (v != 0) {
          entry |= 0xFF000000FF000000ull;  // a lit pixel's marks in the cell and the half
        }
        k.decay[conditional][channel][v] = entry;
      }
    }
  }
}

namespace {

inline uint32_t Load16(const uint8_t* p) { return uint32_t{p[0]} | (uint32_t{p[1]} << 8); }

inline uint32_t LitCell(const RuleSteps& rule, uint32_t colour) {
  return colour == 0 ? 0 : kLitCell | Decay(rule, colour);
}

// --- decoding -------------------------------------------------------------------

}  // namespace

bool Decode8(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
             uint32_t* cells, uint32_t*) {
  uint32_t any = 0;
  for (size_t i = 0; i < count; ++i, src += step) any |= cells[i] = k.cell8[*src];
  return any != 0;
}

bool Decode16(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
              uint32_t* cells, uint32_t*) {
  // Local copies: the stores to cells could otherwise alias the format's fields.
  const uint32_t rm = k.info.redMask, gm = k.info.greenMask, bm = k.info.blueMask;
  const uint32_t rd = k.info.redDownshift, gd = k.info.greenDownshift, bd = k.info.blueDownshift;
  const RuleSteps rule = k.rule;
  uint32_t any = 0;
  for (size_t i = 0; i < count; ++i, src += step) {
    const uint32_t v = Load16(src);
    if (v == 0) {  // black in every format: the common case, cheaply
      cells[i] = 0;
      continue;
    }
    const uint32_t colour = (((v & rm) << rd) & 0xFF0000) + (((v & gm) << gd) & 0xFF00) +
                            (((v & bm) << bd) & 0xFF);
    any |= cells[i] = LitCell(rule, colour);
  }
  return any != 0;
}

namespace {

// --- composing --------------------------------------------------------------------

// Replays the writes that survive onto one pixel: own opaque write, or the old value
// mixed with the upper and left neighbours; then the right and the lower ones.
template <class Depth>
inline void ComposePixel(const Depth& depth, uint8_t* out, uint32_t up, uint32_t left,
                         uint32_t own, uint32_t right, uint32_t down) {
  if ((up | left | own | right | down) == 0) return;
  typename Depth::Value v;
  if (own != 0) {
    v = depth.Opaque(own);
  } else {
    v = depth.Load(out);
    if (up != 0) v = depth.Mix(v, up);
    if (left != 0) v = depth.Mix(v, left);
  }
  if (right != 0) v = depth.Mix(v, right);
  if (down != 0) v = depth.Mix(v, down);
  depth.Store(out, v);
}

template <class Depth>
inline void ComposeRowWith(const Depth& depth, uint8_t* out, const ComposeRows& rows,
                           size_t count) {
  for (size_t i = 0; i < count; ++i, out += Depth::kBytes)
    ComposePixel(depth, out, rows.up[i], rows.left[i], rows.own[i], rows.right[i], rows.down[i]);
}

// A block's left pixel gets no write from the right block, its right pixel none from
// the left block.
template <class Depth>
inline void ComposeBlocksWith(const Depth& depth, uint8_t* out, const uint32_t* above,
                              const BlockRow& row, const uint32_t* below, size_t blocks) {
  for (size_t i = 0; i < blocks; ++i, out += 2 * Depth::kBytes) {
    const uint32_t own = row.cells[i], up = above[i], down = below[i];
    ComposePixel(depth, out, up, *(row.neighbours + i - 1), own, 0, down);
    ComposePixel(depth, out + Depth::kBytes, up, 0, own, row.neighbours[i + 1], down);
  }
}

// 8 bits: palette indices through the per-pass tables.
struct Depth8 {
  static constexpr size_t kBytes = 1;
  using Value = uint32_t;
  const KernelContext& k;
  Value Load(const uint8_t* p) const { return *p; }
  Value Opaque(uint32_t cell) const { return (cell >> 16) & 0xFF; }
  Value Mix(Value index, uint32_t cell) const {
    uint32_t level = uint32_t{k.keep8[index]} + (cell & 0xFF);
    if (level > 255) level = 255;
    return k.ramp8[level];
  }
  void Store(uint8_t* p, Value v) const { *p = static_cast<uint8_t>(v); }
};

// 16 bits: every write packs into the pixel and the next one unpacks it again, losing
// the low bits, exactly as the writer does.
struct Depth16 {
  static constexpr size_t kBytes = 2;
  using Value = uint32_t;
  PixelFormatInfo f;  // a copy, which the pixel stores cannot alias
  Value Pack(uint32_t r, uint32_t g, uint32_t b) const {
    return ((((r << 16) >> f.redDownshift) & f.redMask) +
            (((g << 8) >> f.greenDownshift) & f.greenMask) + ((b >> f.blueDownshift) & f.blueMask)) &
           0xFFFF;
  }
  Value Load(const uint8_t* p) const { return Load16(p); }
  Value Opaque(uint32_t cell) const {
    return Pack((cell >> 16) & 0xFF, (cell >> 8) & 0xFF, cell & 0xFF);
  }
  Value Mix(Value old, uint32_t cell) const {
    const uint32_t oldR = (((old & f.redMask) << f.redDownshift) >> 16) & 0xFF;
    const uint32_t oldG = (((old & f.greenMask) << f.greenDownshift) >> 8) & 0xFF;
    const uint32_t oldB = ((old & f.blueMask) << f.blueDownshift) & 0xFF;
    const uint32_t r = (cell >> 16) & 0xFF, g = (cell >> 8) & 0xFF, b = cell & 0xFF;
    const uint32_t newR = ((oldR * 129 + r * 127) >> 8) & 0xFF;
    const uint32_t newG = ((oldG * 129 + g * 127) >> 8) & 0xFF;
    const uint32_t newB = ((oldB * 129 >> 8) + (b * 127 >> 8)) & 0xFF;
    return Pack(newR, newG, newB);
  }
  void Store(uint8_t* p, Value v) const {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  }
};

}  // namespace

void Compose8(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeRowWith(Depth8{k}, out, rows, count);
}

void ComposeBlocks8(const KernelContext& k, uint8_t* out, const uint32_t* above,
                    const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Depth8{k}, out, above, row, below, blocks);
}

void Compose16(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeRowWith(Depth16{k.info}, out, rows, count);
}

void ComposeBlocks16(const KernelContext& k, uint8_t* out, const uint32_t* above,
                     const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Depth16{k.info}, out, above, row, below, blocks);
}

#if defined(LUMENFALL_X86_KERNELS)
// Only the vector kernels take this road; elsewhere it is not built.
namespace {

// 24 bits through the 32-bit kernels: a chunk of pixels is widened to four bytes,
// worked on, and narrowed back. The fourth byte is never looked at.
constexpr size_t kChunk = 256;

inline uint32_t Load24(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
}

// Every pixel but the last is read and written as four bytes: the extra byte belongs
// to the next pixel of the chunk, which is read as it was and written after.
inline void Widen(const uint8_t* src, size_t step, size_t count, uint32_t* wide) {
  if (count == 0) return;
  for (size_t i = 0; i + 1 < count; ++i, src += step) {
    uint32_t v;
    std::memcpy(&v, src, 4);
    wide[i] = v;
  }
  wide[count - 1] = Load24(src);
}

inline void Narrow(const uint32_t* wide, size_t count, uint8_t* out) {
  if (count == 0) return;
  for (size_t i = 0; i + 1 < count; ++i, out += 3) std::memcpy(out, &wide[i], 4);
  const uint32_t last = wide[count - 1];
  out[0] = static_cast<uint8_t>(last);
  out[1] = static_cast<uint8_t>(last >> 8);
  out[2] = static_cast<uint8_t>(last >> 16);
}

inline uint8_t* Bytes(uint32_t* wide) { return reinterpret_cast<uint8_t*>(wide); }

template <DecodeRowFn Decode32>
bool Decode24Via32(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                   uint32_t* cells, uint32_t* halves) {
  uint32_t wide[kChunk];
  bool any = false;
  for (size_t done = 0; done < count; done += kChunk) {
    const size_t n = count - done < kChunk ? count - done : kChunk;
    Widen(src + done * step, step, n, wide);
    any = Decode32(k, Bytes(wide), 4, n, cells + done, halves + done) || any;
  }
  return any;
}

template <ComposeRowFn Compose32>
void Compose24Via32(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  uint32_t wide[kChunk];
  for (size_t done = 0; done < count; done += kChunk) {
    const size_t n = count - done < kChunk ? count - done : kChunk;
    Widen(out + done * 3, 3, n, wide);
    const ComposeRows part{rows.up + done, rows.left + done, rows.own + done, rows.right + done,
                           rows.down + done};
    Compose32(k, Bytes(wide), part, n);
    Narrow(wide, n, out + done * 3);
  }
}

template <ComposeBlockRowFn ComposeBlocks32>
void ComposeBlocks24Via32(const KernelContext& k, uint8_t* out, const uint32_t* above,
                          const BlockRow& row, const uint32_t* below, size_t blocks) {
  constexpr size_t kBlocks = kChunk / 2;
  uint32_t wide[kChunk];
  for (size_t done = 0; done < blocks; done += kBlocks) {
    const size_t n = blocks - done < kBlocks ? blocks - done : kBlocks;
    Widen(out + done * 6, 3, 2 * n, wide);
    const BlockRow part{row.cells + done, row.neighbours + done};
    ComposeBlocks32(k, Bytes(wide), above + done, part, below + done, n);
    Narrow(wide, 2 * n, out + done * 6);
  }
}

}  // namespace

#if defined(LUMENFALL_MMX_KERNELS)
bool Decode24Mmx(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                 uint32_t* cells, uint32_t* halves) {
  return Decode24Via32<Decode32Mmx>(k, src, step, count, cells, halves);
}
void Compose24Mmx(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  Compose24Via32<Compose32Mmx>(k, out, rows, count);
}
void ComposeBlocks24Mmx(const KernelContext& k, uint8_t* out, const uint32_t* above,
                        const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocks24Via32<ComposeBlocks32Mmx>(k, out, above, row, below, blocks);
}
#endif
bool Decode24Sse2(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                  uint32_t* cells, uint32_t* halves) {
  return Decode24Via32<Decode32Sse2>(k, src, step, count, cells, halves);
}
void Compose24Sse2(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  Compose24Via32<Compose32Sse2>(k, out, rows, count);
}
void ComposeBlocks24Sse2(const KernelContext& k, uint8_t* out, const uint32_t* above,
                         const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocks24Via32<ComposeBlocks32Sse2>(k, out, above, row, below, blocks);
}
#if defined(LUMENFALL_AVX2_KERNELS)
void ComposeBlocks24Avx2(const KernelContext& k, uint8_t* out, const uint32_t* above,
                         const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocks24Via32<ComposeBlocks32Avx2>(k, out, above, row, below, blocks);
}
#endif
#endif

}  // namespace lumenfall::blurkernels

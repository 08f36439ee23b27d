// The scalar kernels, one write at a time: 8 bits through its palette tables, and 16 bits
// whose fields do not allow lanes.
#include "effect/blur/kernels.h"

namespace lumenfall::blurkernels {

namespace {

inline uint32_t Load16(const uint8_t* p) { return uint32_t{p[0]} | (uint32_t{p[1]} << 8); }

inline uint32_t LitCell(const RuleSteps& rule, uint32_t colour) {
  return colour == 0 ? 0 : kLitCell | Decay(rule, colour);
}

// --- decoding -------------------------------------------------------------------

}  // namespace

bool Decode8_Scalar(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
                    uint32_t* cells, uint32_t*) {
  uint32_t any = 0;
  for (size_t i = 0; i < count; ++i, src += step) any |= cells[i] = k.cell8[*src];
  return any != 0;
}

bool Decode16_Scalar(const KernelContext& k, const uint8_t* src, size_t step, size_t count,
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

void Compose8_Scalar(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeRowWith(Depth8{k}, out, rows, count);
}

void ComposeBlocks8_Scalar(const KernelContext& k, uint8_t* out, const uint32_t* above,
                           const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Depth8{k}, out, above, row, below, blocks);
}

void Compose16_Scalar(const KernelContext& k, uint8_t* out, const ComposeRows& rows, size_t count) {
  ComposeRowWith(Depth16{k.info}, out, rows, count);
}

void ComposeBlocks16_Scalar(const KernelContext& k, uint8_t* out, const uint32_t* above,
                            const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Depth16{k.info}, out, above, row, below, blocks);
}

}  // namespace lumenfall::blurkernels

// The 24- and 32-bit kernels without vector instructions, in 64- and 32-bit words
// (Swar64, Swar32; see swar.h).
//
// The 0x7F blend per byte is floor(v x 129 / 256) + half, the first part being
// (v >> 1) + (v & 1 & v >> 7) (see kernels_sse2.cpp).
#include "effect/blur/swar.h"

namespace lumenfall::blurkernels {

namespace {

// The channels of the pixel at p; the decay tables carry its lit mark.
template <size_t Bytes>
struct BgrChannels {
  static constexpr size_t kBytes = Bytes;
  static constexpr bool kFractions = false;
  static BgrChannels Of(const KernelContext&) { return {}; }
  void Read(const uint8_t* p, uint32_t& b, uint32_t& g, uint32_t& r, uint32_t&) const {
    b = p[0];
    g = p[1];
    r = p[2];
  }
};

// The pixel is the cell's form (24-bit pixels get a fourth byte in the word, dropped
// again when they are stored).
template <size_t Bytes, class W>
struct Bgr {
  using Word = W;
  static constexpr size_t kBytes = Bytes;
  static constexpr bool kFractions = false;
  template <size_t N>
  W Load(const uint8_t* p) const {
    W w = LoadBytes<N * Bytes, W>(p);
    if constexpr (Bytes == 3 && N == 2) w = (w & 0xFFFFFF) | ((w << 8) & 0x00FFFFFF00000000ull);
    return w;
  }
  W Opaque(W own) const { return own; }
  // The half's 0xFF becomes the fourth byte.
  W Mix(W old, W half, W) const { return KeptShare(old) + half; }
  // Pixels without a lit writer still hold what was loaded.
  template <size_t N>
  void Store(uint8_t* p, W v, W) const {
    if constexpr (Bytes == 3 && N == 2) v = (v & 0xFFFFFF) | ((v >> 8) & 0xFFFFFF000000ull);
    std::memcpy(p, &v, N * Bytes);
  }
};

}  // namespace

DecodeRowFn DecodeFor32_Swar64(const KernelContext& k) {
  return DecoderFor<BgrChannels<4>, uint64_t>(k.rule);
}

void Compose32_Swar64(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                      size_t count) {
  ComposeWith(Bgr<4, uint64_t>{}, k, out, rows, count);
}

void ComposeBlocks32_Swar64(const KernelContext& k, uint8_t* out, const uint32_t* above,
                            const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Bgr<4, uint64_t>{}, k, out, above, row, below, blocks);
}

DecodeRowFn DecodeFor24_Swar64(const KernelContext& k) {
  return DecoderFor<BgrChannels<3>, uint64_t>(k.rule);
}

void Compose24_Swar64(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                      size_t count) {
  ComposeWith(Bgr<3, uint64_t>{}, k, out, rows, count);
}

void ComposeBlocks24_Swar64(const KernelContext& k, uint8_t* out, const uint32_t* above,
                            const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Bgr<3, uint64_t>{}, k, out, above, row, below, blocks);
}

DecodeRowFn DecodeFor32_Swar32(const KernelContext& k) {
  return DecoderFor<BgrChannels<4>, uint32_t>(k.rule);
}

void Compose32_Swar32(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                      size_t count) {
  ComposeWith(Bgr<4, uint32_t>{}, k, out, rows, count);
}

void ComposeBlocks32_Swar32(const KernelContext& k, uint8_t* out, const uint32_t* above,
                            const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Bgr<4, uint32_t>{}, k, out, above, row, below, blocks);
}

DecodeRowFn DecodeFor24_Swar32(const KernelContext& k) {
  return DecoderFor<BgrChannels<3>, uint32_t>(k.rule);
}

void Compose24_Swar32(const KernelContext& k, uint8_t* out, const ComposeRows& rows,
                      size_t count) {
  ComposeWith(Bgr<3, uint32_t>{}, k, out, rows, count);
}

void ComposeBlocks24_Swar32(const KernelContext& k, uint8_t* out, const uint32_t* above,
                            const BlockRow& row, const uint32_t* below, size_t blocks) {
  ComposeBlocksWith(Bgr<3, uint32_t>{}, k, out, above, row, below, blocks);
}

}  // namespace lumenfall::blurkernels

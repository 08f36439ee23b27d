// 24 bits through the 32-bit kernels of an instruction set: a chunk of pixels is widened
// to four bytes, worked on, and narrowed back. The fourth byte is never looked at.
//
// Each kernel file includes this under its own instruction set, and the templates have
// internal linkage, so that no kernel picks up a copy compiled for another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "effect/blur/kernels.h"

namespace lumenfall::blurkernels {
namespace {

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
}  // namespace lumenfall::blurkernels

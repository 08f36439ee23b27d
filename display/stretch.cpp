#include "display/stretch.h"

#include <cstring>
#include <vector>

namespace lumenfall {

namespace {

bool BufferIsSound(const PixelBuffer& b) {
  if (b.pixels == nullptr) return false;
  if (b.bytesPerPixel < 1 || b.bytesPerPixel > 4) return false;
  return b.pitch >= 0 && uint64_t(b.pitch) >= uint64_t{b.width} * b.bytesPerPixel;
}

bool RectInside(const Rect& r, const PixelBuffer& b) {
  return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
         int64_t{r.right} <= int64_t{b.width} && int64_t{r.bottom} <= int64_t{b.height};
}

template <uint32_t Bpp>
void CopyRow(uint8_t* dst, const uint8_t* src, const uint32_t* columns, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    std::memcpy(dst + size_t{i} * Bpp, src + size_t{columns[i]} * Bpp, Bpp);
  }
}

using RowCopier = void (*)(uint8_t*, const uint8_t*, const uint32_t*, uint32_t);

RowCopier RowCopierFor(uint32_t bytesPerPixel) {
  switch (bytesPerPixel) {
    case 1: return CopyRow<1>;
    case 2: return CopyRow<2>;
    case 3: return CopyRow<3>;
    case 4: return CopyRow<4>;
    default: return nullptr;
  }
}

// The sampled column of every destination column, without a division per column:
// the numerator (2i + 1) x srcLength grows by 2 x srcLength from one column to the next.
void FillColumns(uint32_t* columns, uint32_t srcLength, uint32_t dstLength) {
  const uint64_t denominator = uint64_t{2} * dstLength;
  const uint64_t step = uint64_t{2} * srcLength;
  const uint64_t stepWhole = step / denominator, stepPart = step % denominator;
  uint64_t whole = srcLength / denominator;  // column 0: srcLength / (2 x dstLength)
  uint64_t part = srcLength % denominator;
  for (uint32_t i = 0; i < dstLength; ++i) {
    columns[i] = static_cast<uint32_t>(whole);
    whole += stepWhole;
    part += stepPart;
    if (part >= denominator) {
      part -= denominator;
      ++whole;
    }
  }
}

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Four-byte pixels, four at a time.
void GatherRow4(uint8_t* dst, const uint8_t* src, const uint32_t* columns, uint32_t count) {
  uint32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const uint32_t a = Load32(src + size_t{columns[i]} * 4);
    const uint32_t b = Load32(src + size_t{columns[i + 1]} * 4);
    const uint32_t c = Load32(src + size_t{columns[i + 2]} * 4);
    const uint32_t d = Load32(src + size_t{columns[i + 3]} * 4);
    Store32(dst + size_t{i} * 4, a);
    Store32(dst + size_t{i} * 4 + 4, b);
    Store32(dst + size_t{i} * 4 + 8, c);
    Store32(dst + size_t{i} * 4 + 12, d);
  }
  for (; i < count; ++i) Store32(dst + size_t{i} * 4, Load32(src + size_t{columns[i]} * 4));
}

RowCopier GatherFor(uint32_t bytesPerPixel) {
  return bytesPerPixel == 4 ? GatherRow4 : RowCopierFor(bytesPerPixel);
}

// A zoom samples long runs of consecutive source columns, broken where a column repeats
// or is skipped. starts[r] is the first destination column of run r, starts[runs] the
// row's width. A run of eight pixels or more is copied in chunks of eight, the last
// chunk ending at the run's end (it may overlap the one before); shorter runs pixel by
// pixel.
template <uint32_t Bpp>
void CopyRuns(uint8_t* dst, const uint8_t* src, const uint32_t* columns, const uint32_t* starts,
              uint32_t runs) {
  constexpr size_t kChunk = 8 * Bpp;
  for (uint32_t r = 0; r < runs; ++r) {
    const uint32_t first = starts[r], length = starts[r + 1] - first;
    uint8_t* out = dst + size_t{first} * Bpp;
    if (length < 8) {
      CopyRow<Bpp>(out, src, columns + first, length);
      continue;
    }
    const uint8_t* in = src + size_t{columns[first]} * Bpp;
    const size_t bytes = size_t{length} * Bpp;
    for (size_t o = 0; o + kChunk < bytes; o += kChunk) std::memcpy(out + o, in + o, kChunk);
    std::memcpy(out + bytes - kChunk, in + bytes - kChunk, kChunk);
  }
}

using RunCopier = void (*)(uint8_t*, const uint8_t*, const uint32_t*, const uint32_t*, uint32_t);

RunCopier RunCopierFor(uint32_t bytesPerPixel) {
  switch (bytesPerPixel) {
    case 1: return CopyRuns<1>;
    case 2: return CopyRuns<2>;
    case 3: return CopyRuns<3>;
    default: return CopyRuns<4>;
  }
}

// The runs of the column table into starts (room for count / 8 + 1 entries); 0 when
// there are more than count / 8 of them, too short on average to be worth it.
uint32_t FindRuns(const uint32_t* columns, uint32_t count, uint32_t* starts) {
  const uint32_t limit = count / 8;
  uint32_t runs = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (i > 0 && columns[i] == columns[i - 1] + 1) continue;
    if (runs == limit) return 0;
    starts[runs++] = i;
  }
  starts[runs] = count;
  return runs;
}

// Column table storage: on the stack up to kInlineColumns entries.
constexpr uint32_t kInlineColumns = 4096;

}  // namespace

bool StretchCopy(const PixelBuffer& dst, const Rect& dstRect, const PixelBuffer& src,
                 const Rect& srcRect) {
  if (!BufferIsSound(dst) || !BufferIsSound(src)) return false;
  if (dst.bytesPerPixel != src.bytesPerPixel) return false;
  if (!RectInside(dstRect, dst) || !RectInside(srcRect, src)) return false;
  const RowCopier gather = GatherFor(dst.bytesPerPixel);
  if (gather == nullptr) return false;

  const auto dw = static_cast<uint32_t>(dstRect.right - dstRect.left);
  const auto dh = static_cast<uint32_t>(dstRect.bottom - dstRect.top);
  const auto sw = static_cast<uint32_t>(srcRect.right - srcRect.left);
  const auto sh = static_cast<uint32_t>(srcRect.bottom - srcRect.top);
  const size_t bpp = dst.bytesPerPixel;
  const size_t rowBytes = size_t{dw} * bpp;
  const bool sameWidth = sw == dw;  // column i samples column i: rows copy whole

  // The column table, then room for its runs.
  uint32_t inlineColumns[kInlineColumns + kInlineColumns / 8 + 1];
  std::vector<uint32_t> heapColumns;
  uint32_t* columns = inlineColumns;
  uint32_t runs = 0;
  if (!sameWidth) {
    if (dw > kInlineColumns) {
      heapColumns.resize(size_t{dw} + dw / 8 + 1);
      columns = heapColumns.data();
    }
    FillColumns(columns, sw, dw);
    runs = FindRuns(columns, dw, columns + dw);
  }
  const RunCopier copyRuns = RunCopierFor(dst.bytesPerPixel);

  const uint8_t* srcOrigin =
      src.pixels + size_t(srcRect.top) * size_t(src.pitch) + size_t(srcRect.left) * bpp;
  uint8_t* dstOrigin =
      dst.pixels + size_t(dstRect.top) * size_t(dst.pitch) + size_t(dstRect.left) * bpp;
  const bool distinctBuffers = src.pixels != dst.pixels;

  // Rows advance like the columns: the sampled row of destination row j.
  const uint64_t denominator = uint64_t{2} * dh;
  const uint64_t step = uint64_t{2} * sh;
  const uint64_t stepWhole = step / denominator, stepPart = step % denominator;
  uint64_t row = sh / denominator, part = sh % denominator;
  uint64_t previousRow = UINT64_MAX;
  uint8_t* previousDst = nullptr;
  for (uint32_t j = 0; j < dh; ++j) {
    uint8_t* out = dstOrigin + size_t{j} * size_t(dst.pitch);
    const uint8_t* in = srcOrigin + size_t(row) * size_t(src.pitch);
    if (row == previousRow && distinctBuffers) {
      std::memcpy(out, previousDst, rowBytes);  // a repeated row is copied whole
    } else if (sameWidth) {
      std::memmove(out, in, rowBytes);
    } else if (runs != 0) {
      copyRuns(out, in, columns, columns + dw, runs);
    } else {
      gather(out, in, columns, dw);
    }
    previousRow = row;
    previousDst = out;
    row += stepWhole;
    part += stepPart;
    if (part >= denominator) {
      part -= denominator;
      ++row;
    }
  }
  return true;
}

bool StretchCopyReference(const PixelBuffer& dst, const Rect& dstRect, const PixelBuffer& src,
                          const Rect& srcRect) {
  if (!BufferIsSound(dst) || !BufferIsSound(src)) return false;
  if (dst.bytesPerPixel != src.bytesPerPixel) return false;
  if (!RectInside(dstRect, dst) || !RectInside(srcRect, src)) return false;
  const RowCopier copyRow = RowCopierFor(dst.bytesPerPixel);
  if (copyRow == nullptr) return false;

  const auto dw = static_cast<uint32_t>(dstRect.right - dstRect.left);
  const auto dh = static_cast<uint32_t>(dstRect.bottom - dstRect.top);
  const auto sw = static_cast<uint32_t>(srcRect.right - srcRect.left);
  const auto sh = static_cast<uint32_t>(srcRect.bottom - srcRect.top);

  // The sampled source column of every destination column, worked out once.
  std::vector<uint32_t> columns(dw);
  for (uint32_t i = 0; i < dw; ++i) columns[i] = StretchSample(i, sw, dw);

  const size_t bpp = dst.bytesPerPixel;
  const uint8_t* srcOrigin =
      src.pixels + size_t(srcRect.top) * size_t(src.pitch) + size_t(srcRect.left) * bpp;
  uint8_t* dstOrigin =
      dst.pixels + size_t(dstRect.top) * size_t(dst.pitch) + size_t(dstRect.left) * bpp;
  uint32_t previousRow = UINT32_MAX;
  uint8_t* previousDst = nullptr;
  for (uint32_t j = 0; j < dh; ++j) {
    const uint32_t row = StretchSample(j, sh, dh);
    uint8_t* out = dstOrigin + size_t{j} * size_t(dst.pitch);
    if (row == previousRow && src.pixels != dst.pixels) {
      std::memcpy(out, previousDst, size_t{dw} * bpp);  // a repeated row is copied whole
    } else {
      copyRow(out, srcOrigin + size_t{row} * size_t(src.pitch), columns.data(), dw);
    }
    previousRow = row;
    previousDst = out;
  }
  return true;
}

}  // namespace lumenfall

// The drivers of the fast passes: the walk over the rows of a pass with the kernels that
// the table chose.
#include "effect/blur/fast_blur.h"

#include <cstring>
#include <vector>

#include "effect/blur/kernel_table.h"

namespace lumenfall {

namespace {

using namespace blurkernels;

// The surfaces must not share memory: the closed form reads every source pixel
// before any write lands near it, which the plain loop does not.
bool Disjoint(const PassMemory& m) {
  const auto s = reinterpret_cast<uintptr_t>(m.src);
  const auto d = reinterpret_cast<uintptr_t>(m.dst);
  return s + m.srcSpan <= d || d + m.dstSpan <= s;
}

// Room for the cell rows of one pass, all zero to start with: on the stack for the
// usual sizes.
class CellScratch {
 public:
  explicit CellScratch(size_t count) {
    if (count <= kInline) {
      data_ = inline_;
    } else {
      heap_.resize(count);
      data_ = heap_.data();
    }
    std::memset(data_, 0, count * sizeof(uint32_t));
  }
  CellScratch(const CellScratch&) = delete;
  CellScratch& operator=(const CellScratch&) = delete;
  uint32_t* Take(size_t count) {
    uint32_t* p = data_ + used_;
    used_ += count;
    return p;
  }

 private:
  static constexpr size_t kInline = 4096;
  uint32_t inline_[kInline];
  std::vector<uint32_t> heap_;
  uint32_t* data_ = nullptr;
  size_t used_ = 0;
};

// One decoded source row: its cells and the values its neighbours read.
struct DecodedRow {
  uint32_t* cells = nullptr;
  uint32_t* neighbours = nullptr;  // the halves, or the cells themselves
  bool lit = false;                // any cell lit
};

// The rows of one pass, all zero to start with: a row of zeros and a ring of three
// decoded rows, rowCells entries each, every pointer on entry `first`. The remainders
// of every row lie one whole set of rows further on; planes follow one another within
// their row.
// Whether the neighbours read a row of halves of their own.
bool Halves(const PassKernels& kernels) {
  return kernels.rows == RowLayout::Halves || kernels.rows == RowLayout::Remainders;
}

class PassRows {
 public:
  PassRows(const PassKernels& kernels, size_t rowCells, size_t first, KernelContext& k)
      : entry_(Planes(kernels) ? 2 : 4),
        words_(Planes(kernels) ? (rowCells * kPlanes16 + 1) / 2 : rowCells),
        scratch_(words_ * Rows(kernels) * (kernels.rows == RowLayout::Remainders ? 2 : 1)) {
    k.fractionOffset = Planes(kernels) ? rowCells : rowCells * Rows(kernels);
    zero = At(scratch_.Take(words_), first);
    for (DecodedRow& r : ring) {
      r.cells = At(scratch_.Take(words_), first);
      r.neighbours = Halves(kernels) ? At(scratch_.Take(words_), first) : r.cells;
    }
  }
  uint32_t* At(uint32_t* row, size_t n) const {  // entry n of a row
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(row) + n * entry_);
  }
  uint32_t* zero = nullptr;
  DecodedRow ring[3];

 private:
  static bool Planes(const PassKernels& kernels) { return kernels.rows == RowLayout::Planes16; }
  static size_t Rows(const PassKernels& kernels) { return Halves(kernels) ? 7 : 4; }
  size_t entry_, words_;
  CellScratch scratch_;
};

}  // namespace

bool FastFeedbackPass(const DisplayState& display, const PassMemory& m, const Rect& region,
                      ColourDecayRule rule) {
  KernelContext k;
  PassKernels kernels;
  if (!Disjoint(m) || !ChooseKernels(display, rule, k, kernels)) return false;
  const int64_t width = int64_t{region.right} - region.left;
  const int64_t height = int64_t{region.bottom} - region.top;
  if (width < 3 || height < 3) return true;  // no interior: the pass writes nothing

  // Rows cover columns left - 1 to right: entry x - left + 1. Only the interior
  // columns left + 1 to right - 2 are ever lit.
  const size_t rowCells = size_t(width) + 2;
  const size_t interior = size_t(width) - 2;
  PassRows rowSet(kernels, rowCells, 0, k);
  uint32_t* zero = rowSet.zero;
  DecodedRow* ring = rowSet.ring;
  auto at = [&rowSet](uint32_t* row, size_t n) { return rowSet.At(row, n); };

  const size_t bpp = kernels.bytesPerPixel;
  const size_t srcPitch = size_t(m.srcPitch), dstPitch = size_t(m.dstPitch);
  const int32_t firstRow = region.top + 1, lastRow = region.bottom - 2;  // interior rows
  const DecodedRow none{zero, zero, false};

  // Rows y - 1, y and y + 1 around the destination row y; zero outside the interior.
  DecodedRow above = none, current = none;
  size_t next = 0;
  for (int32_t y = region.top; y < region.bottom; ++y) {
    DecodedRow below = none;
    if (y + 1 >= firstRow && y + 1 <= lastRow) {
      below = ring[next];
      next = (next + 1) % 3;
      below.lit =
          kernels.decode(k, m.src + size_t(y + 1) * srcPitch + size_t(region.left + 1) * bpp,
                         bpp, interior, at(below.cells, 2),
                         Halves(kernels) ? at(below.neighbours, 2) : nullptr);
    }
    if (!above.lit && !current.lit && !below.lit) {  // nothing reaches this row
      above = current;
      current = below;
      continue;
    }
    ComposeRows rows5;
    rows5.up = at(above.neighbours, 1);
    rows5.left = current.neighbours;
    rows5.own = at(current.cells, 1);
    rows5.right = at(current.neighbours, 2);
    rows5.down = at(below.neighbours, 1);
    kernels.compose(k, m.dst + size_t(y) * dstPitch + size_t(region.left) * bpp, rows5,
                    size_t(width));
    above = current;
    current = below;
  }
  return true;
}

bool FastRoughPass(const DisplayState& display, const PassMemory& m, const Rect& region, int32_t dx,
                   int32_t dy, ColourDecayRule rule) {
  KernelContext k;
  PassKernels kernels;
  if (!Disjoint(m) || !ChooseKernels(display, rule, k, kernels)) return false;
  const int64_t width = int64_t{region.right} - region.left;
  const int64_t height = int64_t{region.bottom} - region.top;
  // Samples per row and rows of samples, as the plain loop's counters give them.
  const int64_t columns = width >= 4 ? (width - 3) / 2 : 0;
  const int64_t sampleRows = height >= 4 ? (height - 3) / 2 : 0;
  if (columns == 0 || sampleRows == 0) return true;  // no sample: the pass writes nothing

  // Blocks sit at x0 + 2i, y0 + 2j. Their fringes reach one pixel further on every
  // side: column x0 - 1 (written only by block 0 of the row), column x0 + 2 x columns
  // (only by the last block), row y0 - 1 and row y0 + 2 x sampleRows.
  const int64_t x0 = int64_t{region.left} + dx;
  const int64_t y0 = int64_t{region.top} + dy;
  const size_t blocks = size_t(columns);
  // Rows hold blocks -1 to blocks, then slack that the vector kernels may read.
  const size_t rowCells = blocks + 2 + kBlockCellSlack;
  PassRows rowSet(kernels, rowCells, 1, k);
  uint32_t* zero = rowSet.zero;
  DecodedRow* ring = rowSet.ring;

  const size_t bpp = kernels.bytesPerPixel;
  const size_t srcPitch = size_t(m.srcPitch), dstPitch = size_t(m.dstPitch);
  auto decodeBlockRow = [&](int64_t j, DecodedRow& row) {
    row.lit = kernels.decode(k, m.src + size_t(y0 + 2 * j) * srcPitch + size_t(x0) * bpp, 2 * bpp,
                             blocks, row.cells, Halves(kernels) ? row.neighbours : nullptr);
  };
  auto rowAt = [&](int64_t y) { return m.dst + size_t(y) * dstPitch; };
  auto composeBlocks = [&](int64_t y, const DecodedRow& above, const DecodedRow& row,
                           const DecodedRow& below) {
    if (!above.lit && !row.lit && !below.lit) return;  // nothing reaches this row
    kernels.composeBlocks(k, rowAt(y) + size_t(x0) * bpp, above.neighbours,
                          BlockRow{row.cells, row.neighbours}, below.neighbours, blocks);
  };
  // The two fringe pixels at the ends of a row of blocks: each has one writer.
  auto composeEnds = [&](int64_t y, const DecodedRow& row) {
    if (!row.lit) return;
    // Entries of the rows themselves, so that what lies beside them (remainders) is theirs.
    const uint32_t* first = row.neighbours;
    const uint32_t* last = rowSet.At(row.neighbours, blocks - 1);
    kernels.compose(k, rowAt(y) + size_t(x0 - 1) * bpp, ComposeRows{zero, zero, zero, first, zero},
                    1);
    kernels.compose(k, rowAt(y) + size_t(x0 + 2 * columns) * bpp,
                    ComposeRows{zero, last, zero, zero, zero}, 1);
  };

  const DecodedRow none{zero, zero, false};
  DecodedRow current = ring[0];
  decodeBlockRow(0, current);
  composeBlocks(y0 - 1, none, none, current);  // the fringe above the first blocks
  DecodedRow above = none;
  for (int64_t j = 0; j < sampleRows; ++j) {
    composeBlocks(y0 + 2 * j, above, current, none);
    composeEnds(y0 + 2 * j, current);
    DecodedRow below = none;
    if (j + 1 < sampleRows) {
      below = ring[(j + 1) % 3];
      decodeBlockRow(j + 1, below);
    }
    composeBlocks(y0 + 2 * j + 1, none, current, below);
    composeEnds(y0 + 2 * j + 1, current);
    above = current;
    current = below;
  }
  composeBlocks(y0 + 2 * sampleRows, above, none, none);  // the fringe below the last blocks
  return true;
}

}  // namespace lumenfall

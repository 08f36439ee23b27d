// The text renderer: measures and lays out a text in a box and blends the glyphs of the
// anti-aliased bitmap font straight into a locked work surface.
//
// The font is a bare byte array. Its cell size is found from the 0xFF bytes that end
// the glyph rows (ReadFontCell), anew on every call. Every read is bounded by the
// font's length, so a damaged font draws less, never reads past its end:
// - a glyph row ends at its 0xFF, at the end of its cell row, or at the end of the
//   font, whichever comes first;
// - a glyph whose rows lie (partly) past the end of the font has empty rows there.
// Characters other than newline, space and 33..126 (control characters and bytes
// 0x80-0xFF) have no glyph: they are skipped without moving the pen and measure 0.
#include "effect/bitmap_font.h"

#include <climits>
#include <cstring>

#include "display/surface_ops.h"

namespace lumenfall {

namespace {

constexpr uint8_t kRowEnd = 0xFF;
constexpr int64_t kSpaceAdvance = 10;
constexpr unsigned kFirstGlyph = 33;
constexpr unsigned kLastGlyph = 126;
// The wrap test reads the next word into a buffer of this size. A longer word is cut
// to its first 255 characters: its measured width is then smaller than the whole
// word's, which only matters for words far wider than any box.
constexpr size_t kWordBufferSize = 256;

// The cell size as the data gives it, kept in size_t so that huge values cannot wrap.
struct Cell {
  size_t width = 0;   // 0: the font has no two 0xFF bytes, so no glyph can be found
  size_t height = 0;  // at least 3 whenever width is not 0
};

Cell DeriveCell(const BitmapFont& font) {
  Cell cell;
  const uint8_t* bytes = font.bytes;
  const size_t size = font.size;
  const void* first = std::memchr(bytes, kRowEnd, size);
  if (first == nullptr) return cell;
  const size_t i1 = size_t(static_cast<const uint8_t*>(first) - bytes);
  const void* second = std::memchr(bytes + i1 + 1, kRowEnd, size - i1 - 1);
  if (second == nullptr) return cell;
  const size_t i2 = size_t(static_cast<const uint8_t*>(second) - bytes);
  cell.width = i2 - i1;
  // Each lone 0xFF counts one more row; the first adjacent pair (the separator row)
  // stops the count. The font's last byte has no successor and counts as lone.
  size_t count = 0;
  for (size_t i = i2 + 1; i < size; ++i) {
    if (bytes[i] != kRowEnd) continue;
    if (i + 1 < size && bytes[i + 1] == kRowEnd) break;
    ++count;
  }
  cell.height = 3 + count;
  return cell;
}

bool FontPresent(const BitmapFont* font) { return font != nullptr && font->bytes != nullptr; }

bool HasGlyph(unsigned c) { return c >= kFirstGlyph && c <= kLastGlyph; }

// The offset of the glyph's cell, or false when the cell would start past the font.
bool CellOffset(const BitmapFont& font, const Cell& cell, unsigned c, size_t& offset) {
  if (cell.width == 0 || !HasGlyph(c)) return false;
  const size_t index = c - kFirstGlyph;
  if (cell.width > font.size / cell.height) return false;  // one cell would not fit
  const size_t cellBytes = cell.width * cell.height;
  if (index != 0 && cellBytes > font.size / index) return false;
  offset = index * cellBytes;
  return offset < font.size;
}

// The coverage bytes of glyph row r: a pointer to its first byte and the number of
// bytes that can be read from it (bounded by the cell row and the font's end).
struct Row {
  const uint8_t* bytes = nullptr;
  size_t limit = 0;
};

Row GlyphRow(const BitmapFont& font, const Cell& cell, size_t cellOffset, size_t r) {
  Row row;
  const size_t room = font.size - cellOffset;  // cellOffset < size
  if (r != 0 && cell.width > room / r) return row;
  const size_t start = r * cell.width;
  if (start >= room) return row;
  row.bytes = font.bytes + cellOffset + start;
  row.limit = room - start < cell.width ? room - start : cell.width;
  return row;
}

// The number of coverage bytes in a row: up to its 0xFF or its limit.
size_t RowWidth(const Row& row) {
  size_t n = 0;
  while (n < row.limit && row.bytes[n] != kRowEnd) ++n;
  return n;
}

// What the pen advances over character c when nothing cuts it: 10 for a space, the
// first row's width + 1 for a glyph, 0 for a character without a glyph.
int64_t Advance(const BitmapFont& font, const Cell& cell, unsigned c) {
  if (c == ' ') return kSpaceAdvance;
  size_t offset = 0;
  if (!CellOffset(font, cell, c, offset)) return HasGlyph(c) && cell.width != 0 ? 1 : 0;
  return int64_t(RowWidth(GlyphRow(font, cell, offset, 0))) + 1;
}

int64_t MeasureLine(const unsigned char* text, const BitmapFont& font, const Cell& cell) {
  int64_t width = 0;
  for (; *text != 0 && *text != '\n'; ++text) width += Advance(font, cell, *text);
  return width;
}

int64_t FloorHalf(int64_t v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }

// The whitespace that sscanf's "%s" skips and stops at.
bool IsScanSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads the next word after p as sscanf(p, "%s", word) would, bounded to the buffer.
// False when only whitespace is left.
bool ReadWord(const unsigned char* p, unsigned char (&word)[kWordBufferSize]) {
  while (IsScanSpace(*p)) ++p;
  if (*p == 0) return false;
  size_t n = 0;
  while (*p != 0 && !IsScanSpace(*p) && n + 1 < kWordBufferSize) word[n++] = *p++;
  word[n] = 0;
  return true;
}

// ---- The per-depth blends. Each gives the bytes that BlendPixelN gives for the colour
// word (a << 24) | colour, for a from 1 to 253. ----

struct Blend24 {
  uint32_t r, g, b;
  void operator()(uint8_t* p, uint32_t a) const {
    const uint32_t inv = 256 - a;
    p[0] = static_cast<uint8_t>((p[0] * inv >> 8) + (b * a >> 8));
    p[1] = static_cast<uint8_t>((p[1] * inv >> 8) + (g * a >> 8));
    p[2] = static_cast<uint8_t>((p[2] * inv >> 8) + (r * a >> 8));
  }
};

// The 24-bit blend, with the fourth byte made opaque.
struct Blend32 {
  Blend24 rgb;
  void operator()(uint8_t* p, uint32_t a) const {
    rgb(p, a);
    p[3] = 0xFF;
  }
};

struct Blend16 {
  uint32_t r, g, b;
  uint32_t redMask, greenMask, blueMask;
  uint32_t redDown, greenDown, blueDown;
  void operator()(uint8_t* p, uint32_t a) const {
    const uint32_t inv = 256 - a;
    const uint32_t old = uint32_t{p[0]} | (uint32_t{p[1]} << 8);
    const uint32_t oldR = (((old & redMask) << redDown) >> 16) & 0xFF;
    const uint32_t oldG = (((old & greenMask) << greenDown) >> 8) & 0xFF;
    const uint32_t oldB = ((old & blueMask) << blueDown) & 0xFF;
    const uint32_t newR = ((oldR * inv + r * a) >> 8) & 0xFF;
    const uint32_t newG = ((oldG * inv + g * a) >> 8) & 0xFF;
    const uint32_t newB = ((oldB * inv >> 8) + (b * a >> 8)) & 0xFF;
    const uint32_t v = (((newR << 16) >> redDown) & redMask) +
                       (((newG << 8) >> greenDown) & greenMask) + ((newB >> blueDown) & blueMask);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  }
};

struct Blend8 {
  const DisplayState* display;
  uint32_t sNew;
  void operator()(uint8_t* p, uint32_t a) const {
    const PaletteEntry& e = display->greyPalette.entry[*p];
    const uint32_t sOld = uint32_t{e.peRed} + e.peGreen + e.peBlue;
    uint32_t level = sNew * a / 765 + sOld * (255 - a) / 765;
    if (level > 255) level = 255;
    *p = static_cast<uint8_t>(display->greyRamp.entry[level]);
  }
};

// Everything one draw call needs once the surface is locked.
struct Layout {
  const BitmapFont* font;
  Cell cell;
  uint8_t* pixels;
  size_t pitch;
  size_t bytesPerPixel;
  int64_t surfaceHeight;
  int64_t left, right, bottom;
  uint32_t alpha;
  int flags;
};

// The pen advance of a glyph drawn at x: n + 1, where n is the number of columns of
// its last row that are processed, the row's width unless the right edge cuts it short.
int64_t GlyphStep(const BitmapFont& font, const Cell& cell, size_t offset, int64_t x, int64_t right) {
  const int64_t width = int64_t(RowWidth(GlyphRow(font, cell, offset, cell.height - 2)));
  const int64_t room = right - x;
  return (room <= 0 ? 0 : room < width ? room : width) + 1;
}

// Blends one glyph with its top-left corner at (x, y).
template <typename Blend>
void DrawGlyph(const Layout& l, const Blend& blend, size_t offset, int64_t x, int64_t y) {
  const size_t glyphRows = l.cell.height - 1;
  for (size_t r = 0; r < glyphRows; ++r) {
    const int64_t py = y + int64_t(r);
    if (py < 0) continue;
    if (py >= l.surfaceHeight) break;
    const Row row = GlyphRow(*l.font, l.cell, offset, r);
    for (size_t i = 0; i < row.limit; ++i) {
      const uint8_t v = row.bytes[i];
      if (v == kRowEnd) break;
      const int64_t px = x + int64_t(i);
      if (px >= l.right) break;
      if (v == 0 || px < 0) continue;
      const uint32_t a = (v * l.alpha) >> 8;
      if (a == 0) continue;
      blend(l.pixels + size_t(py) * l.pitch + size_t(px) * l.bytesPerPixel, a);
    }
  }
}

template <typename Blend>
void DrawText(const Layout& l, const Blend& blend, const unsigned char* text, int64_t x, int64_t y) {
  const unsigned char* p = text;
  for (;;) {
    const unsigned c = *p;
    if (c == '\n') {
      y += int64_t(l.cell.height);
      x = l.left;
    } else if (c == ' ') {
      x += kSpaceAdvance;
      unsigned char word[kWordBufferSize];
      if ((l.flags & TEXT_WORDWRAP) != 0 && ReadWord(p, word) &&
          x + MeasureLine(word, *l.font, l.cell) > l.right) {
        y += int64_t(l.cell.height);
        x = l.left;
      }
    } else if (HasGlyph(c) && l.cell.width != 0) {
      size_t offset = 0;
      if (CellOffset(*l.font, l.cell, c, offset)) {
        DrawGlyph(l, blend, offset, x, y);
        x += GlyphStep(*l.font, l.cell, offset, x, l.right);
      } else {
        x += 1;  // a cell past the end of the font: no columns
      }
    }
    if (y > l.bottom) break;
    if ((l.flags & TEXT_WORDWRAP) == 0 && x > l.right) break;
    ++p;
    if (*p == 0) break;
  }
}

}  // namespace

int64_t GlyphAdvance(const BitmapFont* font, unsigned char c, int64_t x, int64_t right) {
  if (!FontPresent(font)) return 0;
  if (c == ' ') return kSpaceAdvance;
  const Cell cell = DeriveCell(*font);
  if (!HasGlyph(c) || cell.width == 0) return 0;
  size_t offset = 0;
  if (!CellOffset(*font, cell, c, offset)) return 1;
  return GlyphStep(*font, cell, offset, x, right);
}

int ReadFontCell(const BitmapFont* font, int* cellWidth, int* cellHeight) {
  if (!FontPresent(font)) return 0;
  const Cell cell = DeriveCell(*font);
  if (cellWidth != nullptr) *cellWidth = cell.width > size_t{INT_MAX} ? INT_MAX : int(cell.width);
  if (cellHeight != nullptr)
    *cellHeight = cell.height > size_t{INT_MAX} ? INT_MAX : int(cell.height);
  return 1;
}

int MeasureBitmapText(const char* text, const BitmapFont* font) {
  if (!FontPresent(font) || text == nullptr) return 0;
  const int64_t width =
      MeasureLine(reinterpret_cast<const unsigned char*>(text), *font, DeriveCell(*font));
  return width > INT_MAX ? INT_MAX : int(width);
}

int DrawBitmapText(const DisplayState& display, const char* text, WorkSurface* surface,
                   TextBox* box, const BitmapFont* font, ArgbColour colour, int flags) {
  if (!FontPresent(font)) return 0;
  const Cell cell = DeriveCell(*font);
  if (surface == nullptr || box == nullptr) return 0;

  // A surface that cannot be described soundly, or whose depth is not the display's
  // (the blend follows the display, the addressing the surface), is not drawn into.
  SurfaceDesc desc;
  if (surface->Describe(desc) != kSurfaceOk || !SurfaceDescIsSound(desc)) return 0;
  if (desc.bitCount != display.format.bitsPerPixel) return 0;
  if (desc.width > uint32_t{INT32_MAX} || desc.height > uint32_t{INT32_MAX}) return 0;

  // Right and bottom are clamped in place; left and top are not.
  const auto surfaceWidth = int32_t(desc.width);
  const auto surfaceHeight = int32_t(desc.height);
  if (box->right < 0) box->right = 0;
  if (box->right > surfaceWidth) box->right = surfaceWidth;
  if (box->bottom < 0) box->bottom = 0;
  if (box->bottom > surfaceHeight) box->bottom = surfaceHeight;
  if (box->left >= box->right || box->top >= box->bottom) return 0;

  const auto* utext = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
  const int64_t left = box->left, top = box->top, right = box->right, bottom = box->bottom;
  const auto lineHeight = int64_t(cell.height);

  // The pen's start. Flag 1 beats 2, flag 4 beats 8. A box lower than one line keeps
  // the text at its top when centring.
  int64_t x = left;
  if ((flags & TEXT_HCENTRE) != 0) {
    x = left + FloorHalf(right - left - MeasureLine(utext, *font, cell));
  } else if ((flags & TEXT_RIGHT) != 0) {
    x = right - MeasureLine(utext, *font, cell);
  }
  int64_t y = top;
  if ((flags & TEXT_VCENTRE) != 0) {
    if (bottom - top >= lineHeight) y = top + FloorHalf(bottom - top - lineHeight);
  } else if ((flags & TEXT_BOTTOM) != 0) {
    y = bottom - lineHeight;
  }

  uint8_t* pixels = LockSurface(surface);
  if (pixels == nullptr) return 0;  // nothing is written through a failed lock
  if (*utext == 0) {
    UnlockSurface(surface);
    return 1;
  }

  const uint32_t alpha = colour >> 24;
  const uint32_t r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
  const Layout layout{font,  cell,  pixels, size_t(desc.pitch), desc.bitCount / 8u,
                      surfaceHeight, left, right, bottom, alpha, flags};
  const PixelFormatInfo& f = display.pixelInfo;
  switch (display.format.bitsPerPixel) {
    case 32:
      DrawText(layout, Blend32{{r, g, b}}, utext, x, y);
      break;
    case 24:
      DrawText(layout, Blend24{r, g, b}, utext, x, y);
      break;
    case 16:
      DrawText(layout,
               Blend16{r, g, b, f.redMask, f.greenMask, f.blueMask, f.redDownshift & 31u,
                       f.greenDownshift & 31u, f.blueDownshift & 31u},
               utext, x, y);
      break;
    case 8:
      DrawText(layout, Blend8{&display, r + g + b}, utext, x, y);
      break;
    default:
      break;  // no blend at this depth (the surface check above already refuses it)
  }
  UnlockSurface(surface);
  return 1;
}

}  // namespace lumenfall

// The anti-aliased bitmap font and the text renderer that blends it into a work
// surface at the display's depth.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/pixel_format.h"
#include "display/types.h"
#include "display/work_surface.h"

namespace lumenfall {

// The font bytes (94 cells of cellWidth x cellHeight) with their length, so that no
// read ever runs past the end of a damaged font.
struct BitmapFont {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
};

// {left, top, right, bottom}, right and bottom exclusive.
using TextBox = Rect;

constexpr int TEXT_HCENTRE = 0x01;
constexpr int TEXT_RIGHT = 0x02;
constexpr int TEXT_VCENTRE = 0x04;
constexpr int TEXT_BOTTOM = 0x08;
constexpr int TEXT_WORDWRAP = 0x10;

// The program's own font, embedded in every build.
const BitmapFont& ProgramFont();

// 0 when the font is missing; otherwise 1, and each output that is given is set.
int ReadFontCell(const BitmapFont* font, int* cellWidth, int* cellHeight);

// Width in pixels of the text's first line; 0 for a missing font or an empty text.
int MeasureBitmapText(const char* text, const BitmapFont* font);

// How far the pen moves over character c drawn with its left edge at x in a box whose
// right edge is right: 10 for a space; for a glyph n + 1, where n is the number of
// columns of its last row left of the right edge; 0 for a character without a glyph
// (newline included) and for a missing font.
int64_t GlyphAdvance(const BitmapFont* font, unsigned char c, int64_t x, int64_t right);

// Draws the text into the surface. 0 for a missing font or a box that is empty after
// clamping (the box's right and bottom are clamped in place); otherwise 1. Also 0,
// with nothing drawn, when the surface cannot be described soundly, when its depth
// is not the display's, or when it cannot be locked. Characters other than newline,
// space and 33..126 are skipped without moving the pen; a null text counts as empty.
int DrawBitmapText(const DisplayState& display, const char* text, WorkSurface* surface,
                   TextBox* box, const BitmapFont* font, ArgbColour colour, int flags);

}  // namespace lumenfall

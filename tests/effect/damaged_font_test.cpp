// Damaged fonts: whatever the bytes, no read leaves the font (each font below lives in a
// heap block of exactly its length, so the address sanitizer build catches any
// overrun), nothing is written right of the box or outside the surface, and the
// surface is left unlocked.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "effect/bitmap_font.h"
#include "font_test_support.h"

namespace lumenfall::test {
namespace {

std::string AllCharacters() {
  std::string text;
  for (int c = 33; c <= 126; ++c) {
    text += char(c);
    if (c % 9 == 0) text += ' ';
    if (c % 31 == 0) text += '\n';
  }
  return text;
}

// Draws a text over every glyph with several flag sets; checks the invariants.
void DrawEverything(const BitmapFont* font) {
  static const std::string text = AllCharacters() + " \x80\xff\x01" + std::string(300, 'M');
  for (int flags : {0, TEXT_WORDWRAP, TEXT_HCENTRE | TEXT_VCENTRE, TEXT_RIGHT | TEXT_BOTTOM | TEXT_WORDWRAP}) {
    Canvas canvas(72, 48, 32);
    TextBox box{2, 3, 60, 48};
    ASSERT_EQ(DrawBitmapText(canvas.display, text.c_str(), &canvas.surface, &box, font, 0xFFFFFFFF,
                             flags),
              1);
    ASSERT_FALSE(canvas.surface.IsLocked());
    for (int y = 0; y < 48; ++y)
      for (int x = 60; x < 72; ++x) ASSERT_FALSE(canvas.Inked(x, y)) << x << "," << y;
  }
  int w = -1, h = -1;
  EXPECT_EQ(ReadFontCell(font, &w, &h), 1);
  EXPECT_GE(w, 0);
  EXPECT_GE(h, 0);
  EXPECT_GE(MeasureBitmapText(text.c_str(), font), 0);
}

bool DrawsNothing(const BitmapFont* font, const char* text) {
  Canvas canvas(72, 48, 32);
  canvas.Draw(text, {0, 0, 72, 48}, font, TEXT_WORDWRAP);
  for (uint8_t b : canvas.surface.Bytes())
    if (b != 0) return false;
  return true;
}

TEST(DamagedFont, EmptyAndOneByteFonts) {
  for (const std::vector<uint8_t>& bytes :
       {std::vector<uint8_t>{}, std::vector<uint8_t>{0xFF}, std::vector<uint8_t>{0x00},
        std::vector<uint8_t>{0xFF, 0xFF}, std::vector<uint8_t>{0x10, 0xFF}}) {
    OwnedFont owned(bytes);
    SCOPED_TRACE(bytes.size());
    int w = -1, h = -1;
    EXPECT_EQ(ReadFontCell(owned.get(), &w, &h), 1);
    const bool twoMarks = bytes.size() == 2 && bytes[0] == 0xFF && bytes[1] == 0xFF;
    EXPECT_EQ(w, twoMarks ? 1 : 0);
    EXPECT_EQ(MeasureBitmapText("AB", owned.get()), twoMarks ? 2 : 0);
    EXPECT_TRUE(DrawsNothing(owned.get(), "Hello world\nagain"));
    DrawEverything(owned.get());
  }
}

// Reads the font's cell, then draws the text and everything else with it: the text
// leaves no ink and the drawing keeps inside its bounds.
void ExpectCellAndNoInk(const BitmapFont* font, int cellWidth, int cellHeight, const char* text) {
  int w = -1, h = -1;
  ReadFontCell(font, &w, &h);
  EXPECT_EQ(w, cellWidth);
  EXPECT_EQ(h, cellHeight);
  EXPECT_TRUE(DrawsNothing(font, text));
  DrawEverything(font);
}

TEST(DamagedFont, NoEndMarkAtAll) {
  OwnedFont owned(std::vector<uint8_t>(5000, 0x80));
  EXPECT_EQ(MeasureBitmapText("AB", owned.get()), 0);
  ExpectCellAndNoInk(owned.get(), 0, 0, "AB CD");
}

TEST(DamagedFont, AllEndMarks) {
  // Cells of 1 x 3 whose rows end at once: every glyph is empty and advances 1.
  OwnedFont owned(std::vector<uint8_t>(3000, 0xFF));
  EXPECT_EQ(MeasureBitmapText("AB C", owned.get()), 1 + 1 + 10 + 1);
  ExpectCellAndNoInk(owned.get(), 1, 3, "AB CD");
}

TEST(DamagedFont, ACellLargerThanTheFont) {
  // The first two end marks lie 4000 bytes apart: one cell would not fit in 5000 bytes.
  std::vector<uint8_t> bytes(5000, 0x40);
  bytes[0] = 0xFF;
  bytes[4000] = 0xFF;
  OwnedFont owned(bytes);
  EXPECT_EQ(MeasureBitmapText("AB", owned.get()), 2);
  EXPECT_EQ(GlyphAdvance(owned.get(), 'A', 0, 100), 1);
  ExpectCellAndNoInk(owned.get(), 4000, 3, "AB");
}

TEST(DamagedFont, RowsWithoutEndMarksStopAtTheCellRow) {
  // Cells of 6 x 4; the first glyph's rows are proper, every other glyph row is full of
  // coverage with no end mark: it ends with its cell row (6 columns).
  std::vector<uint8_t> bytes;
  for (int c = 33; c <= 126; ++c) {
    for (int r = 0; r < 3; ++r) {
      if (c == 33) {
        bytes.insert(bytes.end(), {100, 100, 0xFF, 0, 0, 0});
      } else {
        bytes.insert(bytes.end(), {200, 200, 200, 200, 200, 200});
      }
    }
    bytes.insert(bytes.end(), 6, 0xFF);
  }
  OwnedFont owned(bytes);
  int w = 0, h = 0;
  ReadFontCell(owned.get(), &w, &h);
  ASSERT_EQ(w, 6);
  ASSERT_EQ(h, 4);
  EXPECT_EQ(MeasureBitmapText("!A", owned.get()), 3 + 7);
  Canvas canvas(40, 10, 32);
  canvas.Draw("A!", {0, 0, 40, 10}, owned.get(), 0);
  for (int x = 0; x < 6; ++x) EXPECT_TRUE(canvas.Inked(x, 2)) << x;
  EXPECT_FALSE(canvas.Inked(6, 0));
  EXPECT_TRUE(canvas.Inked(7, 0));  // '!' after the 6 columns and the gap
  EXPECT_FALSE(canvas.Inked(9, 0));
  EXPECT_FALSE(canvas.Inked(0, 3));
}

TEST(DamagedFont, TruncatedProgramFont) {
  const BitmapFont& full = ProgramFont();
  // Every length through the first two cells, then steps through the rest.
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 2 * 1023 + 2; ++n) lengths.push_back(n);
  for (size_t n = 2 * 1023 + 3; n < full.size; n += 997) lengths.push_back(n);
  for (size_t n : lengths) {
    SCOPED_TRACE(n);
    OwnedFont owned(std::vector<uint8_t>(full.bytes, full.bytes + n));
    DrawEverything(owned.get());
  }
}

TEST(DamagedFont, TruncationKeepsTheCellsBeforeTheCut) {
  const BitmapFont& full = ProgramFont();
  // Ten whole cells and part of the eleventh ('+').
  OwnedFont owned(std::vector<uint8_t>(full.bytes, full.bytes + 10 * 1023 + 500));
  int w = 0, h = 0;
  ReadFontCell(owned.get(), &w, &h);
  EXPECT_EQ(w, 31);
  EXPECT_EQ(h, 33);
  auto picture = [](const BitmapFont* font, const char* text) {
    Canvas canvas(64, 40, 32);
    canvas.Draw(text, {0, 0, 64, 40}, font, 0);
    return canvas.surface.Bytes();
  };
  EXPECT_EQ(picture(owned.get(), "!&("), picture(&full, "!&("));
  EXPECT_TRUE(DrawsNothing(owned.get(), "~Z"));
  EXPECT_EQ(GlyphAdvance(owned.get(), '~', 0, 64), 1);  // its cell lies past the end
  // '+' keeps the rows that are still there (0..16), loses the rest.
  const auto cut = picture(owned.get(), "+");
  const auto whole = picture(&full, "+");
  EXPECT_NE(cut, whole);
  for (size_t i = 0; i < 16 * 64 * 4; ++i) ASSERT_EQ(cut[i], whole[i]) << i;
}

TEST(DamagedFont, RandomBytes) {
  std::mt19937 random(77u);
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE(trial);
    const auto size = size_t(random() % 4000);
    std::vector<uint8_t> bytes(size);
    const auto markChance = uint32_t(1 + random() % 40);
    for (uint8_t& b : bytes) b = random() % markChance == 0 ? 0xFF : uint8_t(random());
    OwnedFont owned(bytes);
    DrawEverything(owned.get());
  }
}

}  // namespace
}  // namespace lumenfall::test

// The program's font: its stored format, widths, coverage levels and vertical metrics,
// and measurement over it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>

#include "effect/bitmap_font.h"

namespace lumenfall {
namespace {

constexpr int kCellW = 31;
constexpr int kCellH = 33;

// Glyph widths of characters 33..126, as the program's text layout expects them.
constexpr std::array<int, 94> kWidths = {
    4,  10, 17, 18, 28, 25, 3,  12, 12, 11, 13, 6,  8,  5,  13, 19, 13, 18, 18,
    18, 17, 17, 18, 17, 17, 5,  6,  5,  9,  5,  17, 19, 25, 21, 18, 22, 19, 19,
    22, 24, 12, 20, 25, 20, 29, 24, 20, 20, 20, 23, 17, 19, 22, 24, 30, 26, 25,
    19, 7,  17, 7,  12, 20, 7,  18, 18, 15, 18, 16, 14, 18, 20, 10, 11, 20, 9,
    29, 21, 16, 18, 18, 16, 14, 13, 21, 21, 27, 20, 21, 15, 8,  3,  9,  11};

const uint8_t* Cell(int c) { return ProgramFont().bytes + size_t(c - 33) * kCellW * kCellH; }
int WidthOf(int c) { return kWidths[size_t(c - 33)]; }

// First and last glyph rows holding coverage above `floor`; -1 when none.
std::pair<int, int> InkRows(int c, int floor = 0) {
  int first = -1, last = -1;
  for (int r = 0; r < kCellH - 1; ++r) {
    for (int i = 0; i < WidthOf(c); ++i) {
      if (Cell(c)[r * kCellW + i] > floor) {
        if (first < 0) first = r;
        last = r;
        break;
      }
    }
  }
  return {first, last};
}

std::pair<int, int> InkColumns(int c, int floor) {
  int first = -1, last = -1;
  for (int i = 0; i < WidthOf(c); ++i) {
    for (int r = 0; r < kCellH - 1; ++r) {
      if (Cell(c)[r * kCellW + i] > floor) {
        if (first < 0) first = i;
        last = i;
        break;
      }
    }
  }
  return {first, last};
}

TEST(FontData, SizeAndDerivedCell) {
  ASSERT_EQ(ProgramFont().size, 96162u);
  int w = 0, h = 0;
  EXPECT_EQ(ReadFontCell(&ProgramFont(), &w, &h), 1);
  EXPECT_EQ(w, 31);
  EXPECT_EQ(h, 33);
}

TEST(FontData, EveryCellHasItsWidthEndMarkFillAndSeparator) {
  for (int c = 33; c <= 126; ++c) {
    SCOPED_TRACE(std::string("character ") + char(c));
    const uint8_t* cell = Cell(c);
    const int w = WidthOf(c);
    for (int r = 0; r < kCellH - 1; ++r) {
      const uint8_t* row = cell + r * kCellW;
      for (int i = 0; i < w; ++i) ASSERT_NE(row[i], 0xFF) << "row " << r << " column " << i;
      ASSERT_EQ(row[w], 0xFF) << "row " << r;
      for (int i = w + 1; i < kCellW; ++i) ASSERT_EQ(row[i], 0) << "fill, row " << r;
    }
    for (int i = 0; i < kCellW; ++i) ASSERT_EQ(cell[(kCellH - 1) * kCellW + i], 0xFF);
  }
}

TEST(FontData, CoverageUsesExactlyTheTwentyFourLevels) {
  const std::set<int> levels = {0,   21,  31,  42,  53,  63,  74,  85,  95,  106, 116, 127,
                                137, 147, 158, 169, 179, 190, 200, 211, 222, 232, 243, 254};
  std::set<int> seen;
  for (int c = 33; c <= 126; ++c)
    for (int r = 0; r < kCellH - 1; ++r)
      for (int i = 0; i < WidthOf(c); ++i) seen.insert(Cell(c)[r * kCellW + i]);
  EXPECT_EQ(seen, levels);
}

TEST(FontData, EveryGlyphHasInkAndIsCentredInItsWidth) {
  for (int c = 33; c <= 126; ++c) {
    SCOPED_TRACE(std::string("character ") + char(c));
    // Columns that only the faintest level touches are anti-aliasing fringe.
    const auto [first, last] = InkColumns(c, 21);
    ASSERT_GE(first, 0);
    const int leftMargin = first, rightMargin = WidthOf(c) - 1 - last;
    EXPECT_LE(std::abs(leftMargin - rightMargin), 1);
  }
}

TEST(FontData, CapitalsStandOnTheBaselineAndOnlyTheQDescends) {
  for (int c = 'A'; c <= 'Z'; ++c) {
    SCOPED_TRACE(std::string("capital ") + char(c));
    const auto [top, bottom] = InkRows(c);
    EXPECT_TRUE(top == 3 || top == 4) << top;
    EXPECT_EQ(bottom, c == 'Q' ? 31 : 25);
  }
}

TEST(FontData, SmallLettersHaveXHeightAscendersAndDescenders) {
  for (char c : std::string("acemnorsuvwxz")) {
    SCOPED_TRACE(std::string("letter ") + c);
    EXPECT_EQ(InkRows(c), std::make_pair(9, 25));
  }
  for (char c : std::string("gpqy")) {
    SCOPED_TRACE(std::string("letter ") + c);
    EXPECT_EQ(InkRows(c), std::make_pair(9, 31));
  }
  for (char c : std::string("bdhkl")) {
    SCOPED_TRACE(std::string("letter ") + c);
    const auto [top, bottom] = InkRows(c);
    EXPECT_LT(top, 4);
    EXPECT_EQ(bottom, 25);
  }
  EXPECT_EQ(InkRows('j').second, 31);
  // Digits stand like capitals; the full stop sits on the baseline.
  for (char c = '0'; c <= '9'; ++c) EXPECT_EQ(InkRows(c).second, 25) << c;
  EXPECT_EQ(InkRows('.').second, 25);
}

TEST(FontMeasure, SpacesGlyphsAndTheFirstLineOnly) {
  const BitmapFont* f = &ProgramFont();
  EXPECT_EQ(MeasureBitmapText("H", f), 25);
  EXPECT_EQ(MeasureBitmapText("Hi", f), 25 + 11);
  EXPECT_EQ(MeasureBitmapText("a b", f), 19 + 10 + 19);
  EXPECT_EQ(MeasureBitmapText("   ", f), 30);
  EXPECT_EQ(MeasureBitmapText("W|\nMMMMMM", f), 31 + 4);
  EXPECT_EQ(MeasureBitmapText("\nabc", f), 0);
  EXPECT_EQ(MeasureBitmapText("", f), 0);
  EXPECT_EQ(MeasureBitmapText("abc", nullptr), 0);
  int sum = 0;
  std::string all;
  for (int c = 33; c <= 126; ++c) {
    sum += WidthOf(c) + 1;
    all += char(c);
  }
  EXPECT_EQ(MeasureBitmapText(all.c_str(), f), sum);
}

TEST(FontMeasure, CharactersWithoutAGlyphMeasureNothing) {
  const BitmapFont* f = &ProgramFont();
  EXPECT_EQ(MeasureBitmapText("\x80\xff\x01\t\x7f", f), 0);
  EXPECT_EQ(MeasureBitmapText("a\x80\xc3\xa9" "b", f), 19 + 19);
}

TEST(FontAdvance, SpaceGlyphAndCutByTheRightEdge) {
  const BitmapFont* f = &ProgramFont();
  EXPECT_EQ(GlyphAdvance(f, ' ', 0, 400), 10);
  EXPECT_EQ(GlyphAdvance(f, 'M', 0, 400), 30);      // full width 29, plus 1
  EXPECT_EQ(GlyphAdvance(f, 'M', 390, 400), 11);    // 10 columns left of the edge, plus 1
  EXPECT_EQ(GlyphAdvance(f, 'M', 371, 400), 30);    // ends exactly at the edge
  EXPECT_EQ(GlyphAdvance(f, 'M', 372, 400), 29);
  EXPECT_EQ(GlyphAdvance(f, 'M', 400, 400), 1);     // nothing left of the edge
  EXPECT_EQ(GlyphAdvance(f, 'M', 405, 400), 1);
  EXPECT_EQ(GlyphAdvance(f, 'M', -20, 400), 30);    // the left edge does not cut
  EXPECT_EQ(GlyphAdvance(f, '\n', 0, 400), 0);
  EXPECT_EQ(GlyphAdvance(f, 0x80, 0, 400), 0);
  EXPECT_EQ(GlyphAdvance(nullptr, 'M', 0, 400), 0);
}

TEST(FontCell, MissingFontAndOptionalOutputs) {
  int w = -7, h = -7;
  EXPECT_EQ(ReadFontCell(nullptr, &w, &h), 0);
  EXPECT_EQ(w, -7);
  EXPECT_EQ(h, -7);
  const BitmapFont noBytes{nullptr, 100};
  EXPECT_EQ(ReadFontCell(&noBytes, &w, &h), 0);
  EXPECT_EQ(ReadFontCell(&ProgramFont(), nullptr, nullptr), 1);
  EXPECT_EQ(ReadFontCell(&ProgramFont(), nullptr, &h), 1);
  EXPECT_EQ(h, 33);
  EXPECT_EQ(w, -7);
}

}  // namespace
}  // namespace lumenfall

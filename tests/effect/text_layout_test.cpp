// Text layout: pen start and alignment, newlines, word wrap, clipping, the stop rules,
// the box clamp, and the lock discipline of DrawBitmapText.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "display/work_surface.h"
#include "effect/bitmap_font.h"
#include "font_test_support.h"

namespace lumenfall::test {
namespace {

// A point of the canvas and whether the text inked it.
struct Probe {
  int x, y;
  bool inked;
};
constexpr bool kInk = true, kBlank = false;

// Cells of 12 x 10 (9 glyph rows); every glyph a solid block 8 wide: advance 9.
class SmallFont : public ::testing::Test {
 protected:
  // Draws the text on a fresh 64 x height canvas and checks the probes; returns what
  // the draw returned.
  int DrawAndProbe(const char* text, TextBox box, int flags, std::initializer_list<Probe> probes,
                   uint32_t height = 40) {
    Canvas canvas(64, height, 32);
    const int drawn = canvas.Draw(text, box, font, flags);
    for (const Probe& p : probes)
      EXPECT_EQ(canvas.Inked(p.x, p.y), p.inked) << "\"" << text << "\" at " << p.x << ", " << p.y;
    return drawn;
  }

  OwnedFont owned{SolidFont(12, 10, 8)};
  const BitmapFont* font = owned.get();
};

TEST_F(SmallFont, CellIsDerivedFromTheData) {
  int w = 0, h = 0;
  EXPECT_EQ(ReadFontCell(font, &w, &h), 1);
  EXPECT_EQ(w, 12);
  EXPECT_EQ(h, 10);
  EXPECT_EQ(MeasureBitmapText("AB C", font), 9 + 9 + 10 + 9);
}

// A 402-pixel line centred in a 400-pixel box starts at x = -1: its first column is
// lost and nothing reaches x = 400. Columns carry their own coverage (10 + column).
TEST(TextLayout, LineTwoPixelsWiderThanTheBoxStartsOneLeftOfIt) {
  OwnedFont owned(BuildFont(202, 6, [](int) { return 200; },
                            [](int, int, int i) { return uint8_t(10 + i); }));
  ASSERT_EQ(MeasureBitmapText("AA", owned.get()), 402);
  Canvas canvas(420, 300, 32);  // wider than the box: x >= 400 can be watched
  EXPECT_EQ(canvas.Draw("AA", {0, 0, 400, 300}, owned.get(), TEXT_HCENTRE), 1);
  for (int y = 0; y < 5; ++y) {
    EXPECT_EQ(canvas.Blue(0, y), WhiteOnBlack(11));  // column 1 of the first glyph
    EXPECT_EQ(canvas.Blue(198, y), WhiteOnBlack(209));
    EXPECT_EQ(canvas.Blue(199, y), 0);  // the 1-pixel gap
    EXPECT_EQ(canvas.Blue(200, y), WhiteOnBlack(10));
    EXPECT_EQ(canvas.Blue(399, y), WhiteOnBlack(209));
  }
  for (int y = 0; y < 300; ++y)
    for (int x = 400; x < 420; ++x) ASSERT_FALSE(canvas.Inked(x, y)) << x << "," << y;
  EXPECT_FALSE(canvas.Inked(0, 5));  // 5 glyph rows only
}

// The sequencer's use: box {0, 0, 400, 300}, flags 5, cells 33 high: y = 133 and the
// glyph rows cover surface rows 133 to 164.
TEST(TextLayout, CentredBothWaysInTheWorkSurface) {
  OwnedFont owned(SolidFont(12, 33, 8));
  Canvas canvas(400, 300, 32);
  EXPECT_EQ(canvas.Draw("AAA", {0, 0, 400, 300}, owned.get(), TEXT_HCENTRE | TEXT_VCENTRE), 1);
  const int x0 = (400 - 27) / 2;  // 186
  for (int y = 133; y <= 164; ++y) {
    EXPECT_TRUE(canvas.Inked(x0, y)) << y;
    EXPECT_TRUE(canvas.Inked(x0 + 25, y)) << y;
  }
  EXPECT_FALSE(canvas.Inked(x0, 132));
  EXPECT_FALSE(canvas.Inked(x0, 165));
  EXPECT_FALSE(canvas.Inked(x0 - 1, 140));
  EXPECT_FALSE(canvas.Inked(x0 + 8, 140));   // gap after the first glyph
  EXPECT_TRUE(canvas.Inked(x0 + 9, 140));
  EXPECT_FALSE(canvas.Inked(x0 + 26, 140));  // after the last glyph
}

TEST(TextLayout, RealFontLineCentredBothWays) {
  Canvas canvas(400, 300, 32);
  const int w = MeasureBitmapText("Hg", &ProgramFont());
  ASSERT_EQ(w, 25 + 19);
  EXPECT_EQ(canvas.Draw("Hg", {0, 0, 400, 300}, &ProgramFont(), TEXT_HCENTRE | TEXT_VCENTRE), 1);
  int top = -1, bottom = -1, left = 400, right = -1;
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 400; ++x) {
      if (!canvas.Inked(x, y)) continue;
      if (top < 0) top = y;
      bottom = y;
      left = std::min(left, x);
      right = std::max(right, x);
    }
  }
  EXPECT_EQ(top, 133 + 3);      // the capital's first row
  EXPECT_EQ(bottom, 133 + 31);  // the descender's last row
  EXPECT_GE(left, (400 - w) / 2);
  EXPECT_LT(right, (400 - w) / 2 + w - 1);
}

TEST_F(SmallFont, RightAndBottomAlignment) {
  // x = 50 - 9 = 41, y = 30 - 10 = 20.
  DrawAndProbe("A", {10, 0, 50, 30}, TEXT_RIGHT | TEXT_BOTTOM,
               {{41, 20, kInk}, {48, 28, kInk}, {40, 20, kBlank}, {49, 20, kBlank}, {41, 19, kBlank},
                {41, 29, kBlank}});
}

TEST_F(SmallFont, CentringBeatsRightAndBottomAlignment) {
  auto picture = [&](int flags) {
    Canvas canvas(64, 40, 32);
    canvas.Draw("AB", {3, 2, 60, 37}, font, flags);
    return canvas.surface.Bytes();
  };
  EXPECT_EQ(picture(TEXT_HCENTRE | TEXT_RIGHT), picture(TEXT_HCENTRE));
  EXPECT_NE(picture(TEXT_RIGHT), picture(TEXT_HCENTRE));
  EXPECT_EQ(picture(TEXT_VCENTRE | TEXT_BOTTOM), picture(TEXT_VCENTRE));
  EXPECT_NE(picture(TEXT_BOTTOM), picture(TEXT_VCENTRE));
}

TEST_F(SmallFont, CentringFloorsHalfPixels) {
  // Vertically: (25 - 10) / 2 = 7.5 -> 7. Horizontally: a 9-pixel text in a 6-pixel box
  // starts at floor(-1.5) = -2.
  OwnedFont coded(BuildFont(12, 10, [](int) { return 8; },
                            [](int, int, int i) { return uint8_t(100 + i); }));
  Canvas canvas(64, 40, 32);
  canvas.Draw("A", {0, 0, 6, 25}, coded.get(), TEXT_HCENTRE | TEXT_VCENTRE);
  EXPECT_FALSE(canvas.Inked(0, 6));
  EXPECT_EQ(canvas.Blue(0, 7), WhiteOnBlack(102));
  EXPECT_EQ(canvas.Blue(5, 15), WhiteOnBlack(107));
  EXPECT_FALSE(canvas.Inked(0, 16));
  EXPECT_FALSE(canvas.Inked(6, 7));  // the box's right edge
}

TEST_F(SmallFont, VerticalCentringInABoxLowerThanALineKeepsTheTop) {
  EXPECT_EQ(DrawAndProbe("A", {0, 5, 64, 12}, TEXT_VCENTRE,
                         {{0, 4, kBlank},
                          {0, 5, kInk},
                          {0, 13, kInk},  // drawn at full glyph height below the box
                          {0, 14, kBlank}}),
            1);
}

TEST_F(SmallFont, NewlineStartsAtTheBoxLeftNotCentred) {
  // The first line "AB" (18) is centred in 55: x = 5 + 18 = 23.
  DrawAndProbe("AB\nA", {5, 0, 60, 40}, TEXT_HCENTRE,
               {{23, 0, kInk}, {22, 0, kBlank}, {5, 10, kInk}, {4, 10, kBlank}, {13, 10, kBlank},
                {23, 10, kBlank}});
}

TEST_F(SmallFont, WordWrapMovesAWordThatWouldCrossTheRightEdge) {
  // After "AA " the pen is at 28; "AA" (18) would end at 46 > 40: next line.
  DrawAndProbe("AA AA", {0, 0, 40, 40}, TEXT_WORDWRAP, {{0, 10, kInk}, {16, 10, kInk}, {28, 0, kBlank}});
  // Ending exactly at the right edge (46) is not crossing it.
  DrawAndProbe("AA AA", {0, 0, 46, 40}, TEXT_WORDWRAP, {{28, 0, kInk}, {44, 0, kInk}, {0, 10, kBlank}});
  // Without the flag the same text is not wrapped but cut at the edge.
  DrawAndProbe("AA AA", {0, 0, 40, 40}, 0, {{39, 0, kInk}, {40, 0, kBlank}, {0, 10, kBlank}});
}

TEST_F(SmallFont, AWordWiderThanTheBoxIsCutAndTheTextGoesOn) {
  Canvas canvas(64, 40, 32);
  canvas.Draw("B AAAAAA B", {0, 0, 40, 40}, font, TEXT_WORDWRAP);
  EXPECT_TRUE(canvas.Inked(0, 0));    // B
  EXPECT_FALSE(canvas.Inked(19, 0));  // the long word did not stay on the first line
  EXPECT_TRUE(canvas.Inked(0, 10));   // ... it starts the second line
  EXPECT_TRUE(canvas.Inked(39, 10));  // ... and is cut at the right edge
  for (int y = 0; y < 40; ++y)
    for (int x = 40; x < 64; ++x) ASSERT_FALSE(canvas.Inked(x, y));
  EXPECT_TRUE(canvas.Inked(0, 20));   // the last B goes on, on the third line
  EXPECT_FALSE(canvas.Inked(9, 20));
}

TEST_F(SmallFont, WithoutWrapTheTextStopsAfterTheCharacterThatPassesTheRightEdge) {
  // Glyphs at 0, 9, 18 and 27; the fourth is cut after 3 columns: x = 31 > 30: stop.
  DrawAndProbe("AAAA\nA", {0, 0, 30, 40}, 0, {{29, 0, kInk}, {30, 0, kBlank}, {0, 10, kBlank}});
  // Ending exactly on the right edge (x = 36) is not beyond it: the newline is taken.
  DrawAndProbe("AAAA\nA", {0, 0, 36, 40}, 0, {{34, 0, kInk}, {0, 10, kInk}});
  // With wrap the text goes on past the edge.
  DrawAndProbe("AAAA\nA", {0, 0, 30, 40}, TEXT_WORDWRAP, {{0, 10, kInk}});
}

TEST_F(SmallFont, TheTextStopsBelowTheBoxBottom) {
  DrawAndProbe("A\nA\nA\nA", {0, 0, 64, 20}, 0,
               {{0, 0, kInk},
                {0, 10, kInk},
                {0, 20, kInk},  // pen y = bottom: drawn, at full height
                {0, 28, kInk},
                {0, 30, kBlank}},  // y = 30 > 20: stopped
               60);
}

TEST_F(SmallFont, ClippingAtTheSurfaceAndTheLeftAndTopEdges) {
  // Rows 35..43: only 35..39 exist.
  DrawAndProbe("A", {0, 35, 64, 40}, 0, {{0, 35, kInk}, {7, 39, kInk}});
  {
    Canvas canvas(64, 40, 32);
    canvas.Draw("A", {-5, -5, 64, 40}, font, 0);
    EXPECT_TRUE(canvas.Inked(0, 0));
    EXPECT_TRUE(canvas.Inked(2, 3));
    EXPECT_FALSE(canvas.Inked(3, 0));  // glyph columns 0..7 lay at x = -5..2
    EXPECT_FALSE(canvas.Inked(0, 4));  // glyph rows 0..8 lay at y = -5..3
    // Nothing wrapped round into the end of the row above or the surface's end.
    for (int y = 0; y < 40; ++y)
      for (int x = 3; x < 64; ++x) ASSERT_FALSE(canvas.Inked(x, y));
  }
}

TEST_F(SmallFont, TheBoxIsClampedInPlace) {
  Canvas canvas(64, 40, 32);
  TextBox box{-3, -4, 1000, 900};
  EXPECT_EQ(DrawBitmapText(canvas.display, "A", &canvas.surface, &box, font, 0xFFFFFFFF, 0), 1);
  EXPECT_EQ(box, (TextBox{-3, -4, 64, 40}));

  // Right and bottom below 0 become 0; left and top are kept, so this box is empty.
  TextBox negative{5, 5, -1, -2};
  EXPECT_EQ(DrawBitmapText(canvas.display, "A", &canvas.surface, &negative, font, 0xFFFFFFFF, 0), 0);
  EXPECT_EQ(negative, (TextBox{5, 5, 0, 0}));

  // A box wholly left of and above the surface is not empty: it is drawn (off-surface).
  TextBox offSurface{-30, -30, -1, -2};
  const auto before = canvas.surface.Bytes();
  EXPECT_EQ(DrawBitmapText(canvas.display, "A", &canvas.surface, &offSurface, font, 0xFFFFFFFF, 0), 1);
  EXPECT_EQ(offSurface, (TextBox{-30, -30, 0, 0}));
  EXPECT_EQ(canvas.surface.Bytes(), before);
}

TEST_F(SmallFont, AnEmptyBoxReturnsZeroWithoutLocking) {
  const std::vector<TextBox> empty = {{10, 0, 10, 40}, {20, 0, 10, 40}, {0, 40, 64, 60},
                                      {64, 0, 100, 40}, {0, 5, 64, 5}};
  for (TextBox box : empty) {
    Canvas canvas(64, 40, 32);
    EXPECT_EQ(DrawBitmapText(canvas.display, "A", &canvas.surface, &box, font, 0xFFFFFFFF, 0), 0);
    EXPECT_EQ(canvas.surface.LockCount(), 0);
  }
}

TEST_F(SmallFont, AnEmptyTextLocksUnlocksAndReturnsOne) {
  Canvas canvas(64, 40, 32);
  const auto before = canvas.surface.Bytes();
  EXPECT_EQ(canvas.Draw("", {0, 0, 64, 40}, font, TEXT_HCENTRE | TEXT_VCENTRE), 1);
  EXPECT_EQ(canvas.surface.LockCount(), 1);
  EXPECT_FALSE(canvas.surface.IsLocked());
  EXPECT_EQ(canvas.surface.Bytes(), before);
}

TEST_F(SmallFont, OneLockPerCallReleasedBeforeReturning) {
  Canvas canvas(64, 40, 32);
  EXPECT_EQ(canvas.Draw("AB\nC D", {0, 0, 64, 40}, font, TEXT_WORDWRAP), 1);
  EXPECT_EQ(canvas.surface.LockCount(), 1);
  EXPECT_FALSE(canvas.surface.IsLocked());
}

TEST_F(SmallFont, AMissingFontReturnsZeroWithoutLocking) {
  Canvas canvas(64, 40, 32);
  TextBox box{0, 0, 1000, 40};
  EXPECT_EQ(DrawBitmapText(canvas.display, "A", &canvas.surface, &box, nullptr, 0xFFFFFFFF, 0), 0);
  EXPECT_EQ(canvas.surface.LockCount(), 0);
}

TEST_F(SmallFont, AFailedLockTouchesNoPixel) {
  for (int32_t code : {kSurfaceGeneric, kSurfaceWasStillDrawing, kSurfaceLost}) {
    Canvas canvas(64, 40, 32);
    canvas.surface.FailLocks(code);
    const auto before = canvas.surface.Bytes();
    EXPECT_EQ(canvas.Draw("AB", {0, 0, 64, 40}, font, 0), 0);
    EXPECT_EQ(canvas.surface.Bytes(), before);
    EXPECT_FALSE(canvas.surface.IsLocked());
  }
}

TEST_F(SmallFont, ASurfaceNotInTheDisplayDepthIsNotDrawnInto) {
  Canvas canvas(64, 40, 32);
  DisplayState sixteen;
  SetupDisplayState(sixteen, 64, 40, 16, 0xF800, 0x07E0, 0x001F);
  TextBox box{0, 0, 64, 40};
  EXPECT_EQ(DrawBitmapText(sixteen, "AB", &canvas.surface, &box, font, 0xFFFFFFFF, 0), 0);
  EXPECT_EQ(canvas.surface.LockCount(), 0);
  for (uint8_t b : canvas.surface.Bytes()) ASSERT_EQ(b, 0);

  // A surface that describes an unusable depth.
  MemorySurface odd(64, 40, 12);
  DisplayState twelve;
  SetupDisplayState(twelve, 64, 40, 12, 0, 0, 0);
  EXPECT_EQ(DrawBitmapText(twelve, "AB", &odd, &box, font, 0xFFFFFFFF, 0), 0);
}

TEST_F(SmallFont, CharactersWithoutAGlyphAreSkippedWithoutMovingThePen) {
  auto picture = [&](const char* text) {
    Canvas canvas(64, 40, 32);
    canvas.Draw(text, {0, 0, 64, 40}, font, 0);
    return canvas.surface.Bytes();
  };
  const auto plain = picture("AB A");
  EXPECT_EQ(picture("A\x80" "B\x01 \xff" "A"), plain);
  EXPECT_EQ(picture("\t\x7f" "A\x1b" "B \xc3\xa9" "A\r"), plain);
  EXPECT_EQ(MeasureBitmapText("\x80\x81\xfe", font), 0);
  // A text of nothing but such characters draws nothing and still returns 1.
  Canvas canvas(64, 40, 32);
  EXPECT_EQ(canvas.Draw("\x80\x90\xa0\xb0\xc0\xd0\xe0\xf0\xff\x01\x02", {0, 0, 64, 40}, font, 0), 1);
  for (uint8_t b : canvas.surface.Bytes()) ASSERT_EQ(b, 0);
}

TEST(TextLayout, WrapWithAThreeHundredCharacterWord) {
  const std::string text = "Malachi " + std::string(300, 'W') + " Red";
  Canvas canvas(420, 300, 32);
  EXPECT_EQ(canvas.Draw(text.c_str(), {0, 0, 400, 300}, &ProgramFont(), TEXT_WORDWRAP), 1);
  auto rowInked = [&](int y, int x0, int x1) {
    for (int x = x0; x < x1; ++x)
      if (canvas.Inked(x, y)) return true;
    return false;
  };
  EXPECT_TRUE(rowInked(20, 0, 120));        // "Malachi" on the first line
  EXPECT_FALSE(rowInked(20, 160, 400));     // the long word is not on it
  EXPECT_TRUE(rowInked(33 + 20, 0, 400));   // it fills the second line
  EXPECT_TRUE(rowInked(33 + 20, 380, 400)); // up to the edge
  EXPECT_TRUE(rowInked(66 + 20, 0, 60));    // and "Red" goes on, on the third
  EXPECT_FALSE(rowInked(66 + 20, 80, 400));
  for (int y = 0; y < 300; ++y) ASSERT_FALSE(rowInked(y, 400, 420));
  EXPECT_FALSE(rowInked(99 + 20, 0, 400));
}

}  // namespace
}  // namespace lumenfall::test

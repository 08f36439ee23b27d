#include <gtest/gtest.h>  // before Xlib, whose macros (None, Bool) clash with it

#include "picture_checks.h"

#include <algorithm>

namespace lumenfall::x11test {

namespace {

// The colour of the trail. The white line is blurred into greys and the decay rule
// takes the other channels down before the dominant one, so no pixel ever shows more
// of another channel than of the dominant one (a little tolerance for a 16-bit screen,
// whose green field is one bit wider), and the older trail is clearly of its hue.
struct Hue {
  uint32_t dominant = 0;   // pixels clearly of the hue
  uint32_t violating = 0;  // pixels with more of another channel
};

Hue HueOf(const Capture& c, uint8_t Rgb::*main, uint8_t Rgb::*other1, uint8_t Rgb::*other2) {
  Hue h;
  for (const Rgb& p : c.pixels) {
    const int m = p.*main, a = p.*other1, b = p.*other2;
    h.violating += std::max(a, b) > m + 8 ? 1 : 0;
    h.dominant += (m >= a + 48 && m >= b + 48) ? 1 : 0;
  }
  return h;
}

}  // namespace

bool Bright(const Rgb& p) { return std::min({p.r, p.g, p.b}) >= 200; }

uint32_t BrightInRows(const Capture& c, uint32_t top, uint32_t bottom) {
  uint32_t n = 0;
  for (uint32_t y = top; y < bottom && y < c.height; ++y)
    for (uint32_t x = 0; x < c.width; ++x) n += Bright(c.At(x, y)) ? 1 : 0;
  return n;
}

// The text band: plenty of white in the centre rows, none in the outer quarters.
void ExpectTextBand(const Capture& c) {
  ASSERT_GT(c.height, 0u);
  const uint32_t centre = BrightInRows(c, c.height * 2 / 5, c.height * 3 / 5);
  const size_t area = size_t{c.width} * c.height;
  EXPECT_GE(centre, area / 400) << "white text in the centre rows";
  EXPECT_EQ(BrightInRows(c, 0, c.height / 4), 0u) << "no white in the top quarter";
  EXPECT_EQ(BrightInRows(c, c.height - c.height / 4, c.height), 0u) << "no white in the bottom quarter";
}

void ExpectTextAcross(const Capture& c, uint32_t left, uint32_t right) {
  uint32_t first = c.width, last = 0;
  for (uint32_t y = c.height * 2 / 5; y < c.height * 3 / 5; ++y)
    for (uint32_t x = 0; x < c.width; ++x)
      if (Bright(c.At(x, y))) {
        first = std::min(first, x);
        last = std::max(last, x);
      }
  ASSERT_LE(first, last) << "white text in the centre rows";
  const uint32_t from = first * 400 / c.width, to = (last + 1) * 400 / c.width;
  EXPECT_GE(from + 12, left) << "the text starts at picture column " << from;
  EXPECT_LE(to, right + 12) << "the text ends at picture column " << to;
  EXPECT_GE(to - from, (right - left) * 3 / 4) << "the text spans columns " << from << " to " << to;
}

void ExpectRedTrail(const Capture& c) {
  const Hue h = HueOf(c, &Rgb::r, &Rgb::g, &Rgb::b);
  EXPECT_EQ(h.violating, 0u) << "no pixel has more green or blue than red";
  EXPECT_GE(h.dominant, c.width * c.height / 1000) << "a red trail is drawn";
}

void ExpectBlueTrail(const Capture& c) {
  const Hue h = HueOf(c, &Rgb::b, &Rgb::r, &Rgb::g);
  EXPECT_EQ(h.violating, 0u) << "no pixel has more red or green than blue";
  EXPECT_GE(h.dominant, c.width * c.height / 1000) << "a blue trail is drawn";
}

// One line on standard error, with the program's prefix.
void ExpectOneErrorLine(const std::string& text, const std::string& containing) {
  EXPECT_EQ(text.rfind("lumenfall: ", 0), 0u) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  EXPECT_NE(text.find(containing), std::string::npos) << text;
}

}  // namespace lumenfall::x11test

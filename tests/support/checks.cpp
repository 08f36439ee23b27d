#include "tests/support/checks.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace lumenfall::test {

bool Bright(const Rgb& p) { return std::min({p.r, p.g, p.b}) >= 200; }

uint32_t BrightInRows(const Picture& p, uint32_t top, uint32_t bottom) {
  uint32_t n = 0;
  for (uint32_t y = top; y < bottom && y < p.height; ++y)
    for (uint32_t x = 0; x < p.width; ++x) n += Bright(p.At(x, y)) ? 1 : 0;
  return n;
}

std::string TextBandFault(const Picture& p) {
  if (p.height == 0) return "an empty picture";
  const uint32_t centre = BrightInRows(p, p.height * 2 / 5, p.height * 3 / 5);
  if (centre < size_t{p.width} * p.height / 400)
    return "too little white text in the centre rows: " + std::to_string(centre) + " pixels";
  if (const uint32_t top = BrightInRows(p, 0, p.height / 4); top != 0)
    return std::to_string(top) + " white pixels in the top quarter";
  if (const uint32_t bottom = BrightInRows(p, p.height - p.height / 4, p.height); bottom != 0)
    return std::to_string(bottom) + " white pixels in the bottom quarter";
  return "";
}

void ExpectTextBand(const Picture& p) { EXPECT_EQ(TextBandFault(p), ""); }

std::string TextAcrossFault(const Picture& p, uint32_t left, uint32_t right) {
  uint32_t first = p.width, last = 0;
  for (uint32_t y = p.height * 2 / 5; y < p.height * 3 / 5; ++y)
    for (uint32_t x = 0; x < p.width; ++x)
      if (Bright(p.At(x, y))) {
        first = std::min(first, x);
        last = std::max(last, x);
      }
  if (first > last) return "no white text in the centre rows";
  const uint32_t from = first * 400 / p.width, to = (last + 1) * 400 / p.width;
  if (from + 12 < left || to > right + 12 || to - from < (right - left) * 3 / 4)
    return "the text spans picture columns " + std::to_string(from) + " to " + std::to_string(to);
  return "";
}

void ExpectTextAcross(const Picture& p, uint32_t left, uint32_t right) {
  EXPECT_EQ(TextAcrossFault(p, left, right), "");
}

// The white line is blurred into greys and the decay rule takes the other channels down
// before the dominant one, so no pixel ever shows more of another channel than of the
// dominant one (a little tolerance for a 16-bit screen, whose green field is one bit
// wider), and the older trail is clearly of its hue.
std::string TrailFault(const Picture& p, Hue hue) {
  const int own = hue == Hue::Red ? 0 : 2;
  uint32_t plain = 0, contrary = 0;
  for (const Rgb& px : p.pixels) {
    const int m = px[own], a = px[(own + 1) % 3], b = px[(own + 2) % 3];
    contrary += std::max(a, b) > m + 8 ? 1 : 0;
    plain += (m >= a + 48 && m >= b + 48) ? 1 : 0;
  }
  const char* name = hue == Hue::Red ? "red" : "blue";
  if (contrary != 0) return std::to_string(contrary) + " pixels lean away from " + name;
  if (plain < p.width * p.height / 1000) return std::string("no ") + name + " trail: " + std::to_string(plain) + " pixels";
  return "";
}

void ExpectTrail(const Picture& p, Hue hue) { EXPECT_EQ(TrailFault(p, hue), ""); }

std::string ErrorLineFault(const std::string& text, const std::string& containing) {
  if (text.rfind("lumenfall: ", 0) != 0 || std::count(text.begin(), text.end(), '\n') != 1 ||
      text.find(containing) == std::string::npos)
    return "not one line of 'lumenfall: ..." + containing + "...': " + text;
  return "";
}

void ExpectOneErrorLine(const std::string& text, const std::string& containing) {
  EXPECT_EQ(ErrorLineFault(text, containing), "");
}

void ExpectEndsOnSignal(Process& saver, int sig) {
  ASSERT_TRUE(saver.Running()) << saver.Stderr();
  saver.Signal(sig);
  EXPECT_TRUE(saver.ExitedWithin(1000)) << "ends within a second of signal " << sig;
  EXPECT_EQ(saver.ExitCode(), 0);
  EXPECT_EQ(saver.Stderr(), "");
}

}  // namespace lumenfall::test

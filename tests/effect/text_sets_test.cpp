// The two text sets: their shape, their characters, the lines that they share by
// pointer, and the pixel widths of their lines with the program's font.
#include "effect/text_sets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "effect/bitmap_font.h"

namespace lumenfall {
namespace {

constexpr char kDots[] = ".  .  .";

// The glyph widths of the font for the codes 33 to 126, kept here as a separate copy
// so that a measuring fault and a data fault cannot hide each other.
constexpr int kGlyphWidth[94] = {
    4,  10, 17, 18, 28, 25, 3,  12, 12, 11, 13, 6,  8,  5,  13,              // ! to /
    19, 13, 18, 18, 18, 17, 17, 18, 17, 17,                                  // 0 to 9
    5,  6,  5,  9,  5,  17, 19,                                              // : to @
    25, 21, 18, 22, 19, 19, 22, 24, 12, 20, 25, 20, 29, 24, 20, 20, 20, 23,  // A to R
    17, 19, 22, 24, 30, 26, 25, 19,                                          // S to Z
    7,  17, 7,  12, 20, 7,                                                   // [ to `
    18, 18, 15, 18, 16, 14, 18, 20, 10, 11, 20, 9,  29, 21, 16, 18, 18, 16,  // a to r
    14, 13, 21, 21, 27, 20, 21, 15,                                          // s to z
    8,  3,  9,  11,                                                          // { to ~
};

// A space advances 10 pixels; a glyph its width plus a 1-pixel gap.
int LineWidth(const char* text) {
  int w = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    const int c = static_cast<unsigned char>(*p);
    if (c == ' ') {
      w += 10;
    } else if (c >= 33 && c <= 126) {
      w += kGlyphWidth[c - 33] + 1;
    } else {
      ADD_FAILURE() << "character " << c << " has no glyph in \"" << text << "\"";
    }
  }
  return w;
}

struct SetShape {
  const char* name;
  TextSet set;
  int count;
  const char* colour;
  const char* person;
  std::vector<int> separators;
  std::vector<int> sections;
  int bodyEnd;  // last body entry
};

std::vector<SetShape> Shapes() {
  return {
      {"MalachiRed",
       MalachiRedText,
       91,
       "Malachi Red",
       "(Calvane)",
       {31, 38, 63},
       {28, 6, 24, 19},
       82},
      {"DeepBlue",
       DeepBlueText,
       72,
       "Deep Blue",
       "(Nerith)",
       {8, 15, 25, 32, 37, 41, 52, 56, 60},
       {5, 6, 9, 6, 4, 3, 10, 3, 3, 3},
       63},
  };
}

TEST(TextSets, CountsAndTerminator) {
  EXPECT_EQ(TextSetLength(MalachiRedText), 91);
  EXPECT_EQ(TextSetLength(DeepBlueText), 72);
  EXPECT_EQ(MalachiRedText[91], nullptr);
  EXPECT_EQ(DeepBlueText[72], nullptr);
  for (int i = 0; i < 91; ++i) EXPECT_NE(MalachiRedText[i], nullptr) << i;
  for (int i = 0; i < 72; ++i) EXPECT_NE(DeepBlueText[i], nullptr) << i;
}

TEST(TextSets, TitleEntries) {
  for (const SetShape& s : Shapes()) {
    SCOPED_TRACE(s.name);
    EXPECT_STREQ(s.set[0], s.colour);
    EXPECT_STREQ(s.set[1], s.person);
    EXPECT_STREQ(s.set[2], kDots);
    EXPECT_EQ(std::strlen(s.set[2]), 7u);
  }
}

TEST(TextSets, SeparatorsSplitTheBodyIntoSections) {
  for (const SetShape& s : Shapes()) {
    SCOPED_TRACE(s.name);
    std::vector<int> found;
    std::vector<int> sections;
    int run = 0;
    for (int i = 3; i <= s.bodyEnd; ++i) {
      if (std::strcmp(s.set[i], kDots) == 0) {
        found.push_back(i);
        sections.push_back(run);
        run = 0;
        EXPECT_EQ(s.set[i], s.set[2]) << "separator " << i << " is a separate copy";
      } else {
        ++run;
      }
    }
    sections.push_back(run);
    EXPECT_EQ(found, s.separators);
    EXPECT_EQ(sections, s.sections);
    // The body ends right before the closing's own three-dot line.
    EXPECT_STREQ(s.set[s.bodyEnd + 1], kDots);
    EXPECT_EQ(s.bodyEnd + 9, s.count);
  }
}

TEST(TextSets, MalachiRedRepeatsItsOpeningPair) {
  EXPECT_EQ(MalachiRedText[7], MalachiRedText[3]);
  EXPECT_EQ(MalachiRedText[8], MalachiRedText[4]);
  EXPECT_STRNE(MalachiRedText[3], MalachiRedText[4]);
  EXPECT_STRNE(MalachiRedText[5], MalachiRedText[3]);
  EXPECT_STRNE(MalachiRedText[6], MalachiRedText[4]);
}

// A banner is ">>", 21 characters of capitals spaced out by spaces (no two letters
// side by side), then "<<"; the fourth also holds one capital in parentheses.
void CheckBanner(const char* banner, bool wantParenthesised) {
  SCOPED_TRACE(banner);
  const std::string b(banner);
  ASSERT_EQ(b.size(), 25u);
  EXPECT_EQ(b.substr(0, 2), ">>");
  EXPECT_EQ(b.substr(23, 2), "<<");
  const std::string inner = b.substr(2, 21);
  int capitals = 0;
  int parenthesised = 0;
  for (size_t i = 0; i < inner.size(); ++i) {
    const char c = inner[i];
    if (c == ' ') continue;
    if (c >= 'A' && c <= 'Z') {
      ++capitals;
      const char before = i > 0 ? inner[i - 1] : ' ';
      const char after = i + 1 < inner.size() ? inner[i + 1] : ' ';
      if (before == '(' && after == ')') {
        ++parenthesised;
      } else {
        EXPECT_EQ(before, ' ') << "capital " << i << " not spaced out";
        EXPECT_EQ(after, ' ') << "capital " << i << " not spaced out";
      }
      continue;
    }
    if (c == '(' || c == ')') {
      const bool open = (c == '(');
      const size_t letter = open ? i + 1 : i - 1;
      ASSERT_TRUE(letter < inner.size());
      EXPECT_TRUE(inner[letter] >= 'A' && inner[letter] <= 'Z') << "bracket " << i;
      continue;
    }
    ADD_FAILURE() << "unexpected character '" << c << "' at " << i;
  }
  EXPECT_GE(capitals, wantParenthesised ? 2 : 1);
  EXPECT_EQ(parenthesised, wantParenthesised ? 1 : 0);
  // The inside has no leading or trailing letter glued to the arrows.
  EXPECT_EQ(inner.front(), ' ');
  EXPECT_EQ(inner.back(), ' ');
}

TEST(TextSets, SharedClosing) {
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(MalachiRedText[83 + i], DeepBlueText[64 + i]) << "closing entry " << i;
  }
  const char* const* closing = &DeepBlueText[64];
  EXPECT_EQ(closing[0], DeepBlueText[2]);
  EXPECT_EQ(closing[5], DeepBlueText[2]);
  for (int i = 1; i <= 4; ++i) CheckBanner(closing[i], i == 4);
  for (int i = 1; i <= 4; ++i) {
    for (int j = i + 1; j <= 4; ++j) EXPECT_STRNE(closing[i], closing[j]);
  }
  const std::string last(closing[6]);
  ASSERT_EQ(last.size(), 21u);
  EXPECT_EQ(last.front(), '[');
  EXPECT_EQ(last.back(), ']');
  EXPECT_EQ(last.find_first_of("[]", 1), 20u);
  ASSERT_NE(closing[7], nullptr);
  EXPECT_STREQ(closing[7], "");
  EXPECT_EQ(closing[8], nullptr);
}

TEST(TextSets, EveryCharacterHasAGlyphOrIsASpace) {
  for (const SetShape& s : Shapes()) {
    SCOPED_TRACE(s.name);
    for (int i = 0; i < s.count; ++i) {
      const size_t n = std::strlen(s.set[i]);
      EXPECT_LE(n, 26u) << "entry " << i;
      for (size_t k = 0; k < n; ++k) {
        const int c = static_cast<unsigned char>(s.set[i][k]);
        EXPECT_TRUE(c == ' ' || (c >= 33 && c <= 126)) << "entry " << i << " char " << c;
      }
      // Only the final entry is empty; a line neither starts nor ends with a space.
      if (i == s.count - 1) continue;
      ASSERT_GT(n, 0u) << "entry " << i;
      EXPECT_NE(s.set[i][0], ' ') << "entry " << i;
      EXPECT_NE(s.set[i][n - 1], ' ') << "entry " << i;
    }
  }
}

TEST(TextSets, BodyLinesHoldFiveToTwentySixCharacters) {
  for (const SetShape& s : Shapes()) {
    SCOPED_TRACE(s.name);
    for (int i = 3; i <= s.bodyEnd; ++i) {
      if (std::strcmp(s.set[i], kDots) == 0) continue;
      const size_t n = std::strlen(s.set[i]);
      EXPECT_GE(n, 5u) << "entry " << i;
      EXPECT_LE(n, 26u) << "entry " << i;
    }
  }
}

// Every entry has a role; entries share their text exactly when they share a role,
// and then they share the pointer too. This catches a line pasted twice as well as
// a recurring line stored as a second copy.
TEST(TextSets, RecurringLinesAreStoredOnce) {
  struct Item {
    const char* text;
    std::string role;
  };
  std::vector<Item> items;
  auto closingRole = [](int k) {
    return k == 0 || k == 5 ? std::string("dots") : "closing" + std::to_string(k);
  };
  for (int i = 0; i < 91; ++i) {
    std::string role = "red" + std::to_string(i);
    if (i == 2 || i == 31 || i == 38 || i == 63) role = "dots";
    if (i == 7) role = "red3";
    if (i == 8) role = "red4";
    if (i >= 83) role = closingRole(i - 83);
    items.push_back({MalachiRedText[i], role});
  }
  for (int i = 0; i < 72; ++i) {
    std::string role = "blue" + std::to_string(i);
    for (int sep : {2, 8, 15, 25, 32, 37, 41, 52, 56, 60}) {
      if (i == sep) role = "dots";
    }
    if (i >= 64) role = closingRole(i - 64);
    items.push_back({DeepBlueText[i], role});
  }
  for (size_t a = 0; a < items.size(); ++a) {
    for (size_t b = a + 1; b < items.size(); ++b) {
      const bool sameText = std::strcmp(items[a].text, items[b].text) == 0;
      const bool sameRole = items[a].role == items[b].role;
      EXPECT_EQ(sameText, sameRole)
          << items[a].role << " / " << items[b].role << ": \"" << items[a].text << "\"";
      if (sameText) {
        EXPECT_EQ(items[a].text, items[b].text)
            << items[a].role << " / " << items[b].role << " are separate copies";
      }
    }
  }
}

TEST(TextSets, IndependentWidthTableSanity) {
  // A few widths worked out by hand from the table.
  EXPECT_EQ(LineWidth(""), 0);
  EXPECT_EQ(LineWidth(kDots), 3 * 6 + 4 * 10);     // 58
  EXPECT_EQ(LineWidth("!~"), (4 + 1) + (11 + 1));  // first and last glyph
  EXPECT_EQ(LineWidth("Mm"), (29 + 1) + (29 + 1));
  EXPECT_EQ(LineWidth("W i"), (30 + 1) + 10 + (10 + 1));
}

TEST(TextSets, MalachiRedWidestLineIs383) {
  int widest = 0;
  for (int i = 0; i < 91; ++i) {
    const int w = LineWidth(MalachiRedText[i]);
    EXPECT_LE(w, 383) << "entry " << i << " \"" << MalachiRedText[i] << "\"";
    widest = std::max(widest, w);
  }
  EXPECT_EQ(widest, 383);
}

TEST(TextSets, DeepBlueHasOneLineOf402AndTwoOf391) {
  int at402 = 0;
  int at391 = 0;
  for (int i = 0; i < 72; ++i) {
    const int w = LineWidth(DeepBlueText[i]);
    if (w == 402) {
      ++at402;
      // The over-wide line is a body line, not a title or the closing.
      EXPECT_GE(i, 3);
      EXPECT_LE(i, 63);
    } else if (w == 391) {
      ++at391;
    } else {
      EXPECT_LT(w, 391) << "entry " << i << " \"" << DeepBlueText[i] << "\"";
    }
  }
  EXPECT_EQ(at402, 1);
  EXPECT_EQ(at391, 2);
}

TEST(TextSets, ProgramFontMeasuresLikeTheWidthTable) {
  const BitmapFont& font = ProgramFont();
  for (const SetShape& s : Shapes()) {
    SCOPED_TRACE(s.name);
    for (int i = 0; i < s.count; ++i) {
      EXPECT_EQ(MeasureBitmapText(s.set[i], &font), LineWidth(s.set[i]))
          << "entry " << i << " \"" << s.set[i] << "\"";
    }
  }
}

TEST(TextSets, SettingsLowByteSelectsTheSet) {
  EXPECT_EQ(TextSetForSettings(1), MalachiRedText);
  EXPECT_EQ(TextSetForSettings(4), DeepBlueText);
  // Only the low byte counts, read as a whole.
  EXPECT_EQ(TextSetForSettings(0x101), MalachiRedText);
  EXPECT_EQ(TextSetForSettings(0x10000001), MalachiRedText);
  EXPECT_EQ(TextSetForSettings(0x10000004), DeepBlueText);
  EXPECT_EQ(TextSetForSettings(0xFFFFFF04), DeepBlueText);
  for (uint32_t v : {0u, 2u, 3u, 5u, 0x11u, 0x41u, 0xFFu, 0x100u, 0x400u, 0x10000000u}) {
    EXPECT_EQ(TextSetForSettings(v), nullptr) << std::hex << v;
  }
  // Own lines stand in for either set, and show no more than a set would.
  const char* const own[] = {"mine", "", nullptr};
  EXPECT_EQ(TextSetForSettings(1, own), own);
  EXPECT_EQ(TextSetForSettings(0x10000004, own), own);
  EXPECT_EQ(TextSetForSettings(2, own), nullptr);
  EXPECT_EQ(TextSetForSettings(0x101, nullptr), MalachiRedText);
}

TEST(TextSets, LengthCountsUpToTheNull) {
  EXPECT_EQ(TextSetLength(nullptr), 0);
  const char* const empty[] = {nullptr};
  EXPECT_EQ(TextSetLength(empty), 0);
  const char* const two[] = {"a", "", nullptr, "after the end"};
  EXPECT_EQ(TextSetLength(two), 2);
}

}  // namespace
}  // namespace lumenfall

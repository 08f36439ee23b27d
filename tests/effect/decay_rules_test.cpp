// The six colour-decay rules and their selectors.
#include <gtest/gtest.h>

#include <cstdint>

#include "effect/colour_decay.h"

namespace lumenfall {
namespace {

struct Levels {
  uint32_t r, g, b;
  friend bool operator==(const Levels&, const Levels&) = default;
};

std::ostream& operator<<(std::ostream& os, const Levels& l) {
  return os << "(" << l.r << ", " << l.g << ", " << l.b << ")";
}

// Applies a rule n times to 8-bit levels and returns the levels.
Levels Apply(ColourDecayRule rule, Levels start, int n) {
  uint32_t r = start.r << 16, g = start.g << 8, b = start.b;
  for (int i = 0; i < n; ++i) EXPECT_EQ(rule(r, g, b), 1);
  EXPECT_EQ(r & ~0xFF0000u, 0u);
  EXPECT_EQ(g & ~0xFF00u, 0u);
  EXPECT_EQ(b & ~0xFFu, 0u);
  return {r >> 16, g >> 8, b};
}

TEST(DecayRules, SelectorTable) {
  EXPECT_EQ(RuleForSelector(1), FadeToRed);
  EXPECT_EQ(RuleForSelector(2), FadeToGreen);
  EXPECT_EQ(RuleForSelector(4), FadeToBlue);
  EXPECT_EQ(RuleForSelector(8), FadeToYellow);
  EXPECT_EQ(RuleForSelector(16), FadeToMagenta);
  EXPECT_EQ(RuleForSelector(32), FadeToCyan);
  for (uint32_t s : {0u, 3u, 5u, 6u, 7u, 9u, 15u, 17u, 31u, 33u, 64u, 128u, 255u})
    EXPECT_EQ(RuleForSelector(s), nullptr) << s;
}

TEST(DecayRules, StepOfTwelveLevels) {
  EXPECT_EQ(Apply(FadeToCyan, {12, 200, 200}, 1), (Levels{0, 188, 188}));
  EXPECT_EQ(Apply(FadeToCyan, {13, 200, 200}, 1), (Levels{1, 200, 200}));
  EXPECT_EQ(Apply(FadeToCyan, {0, 5, 12}, 1), (Levels{0, 0, 0}));
}

TEST(DecayRules, PrimariesLetTwoChannelsDieFirst) {
  EXPECT_EQ(Apply(FadeToRed, {255, 255, 255}, 21), (Levels{255, 3, 3}));
  EXPECT_EQ(Apply(FadeToRed, {255, 255, 255}, 22), (Levels{243, 0, 0}));
  EXPECT_EQ(Apply(FadeToRed, {255, 255, 255}, 42), (Levels{3, 0, 0}));
  EXPECT_EQ(Apply(FadeToRed, {255, 255, 255}, 43), (Levels{0, 0, 0}));
  EXPECT_EQ(Apply(FadeToGreen, {255, 255, 255}, 21), (Levels{3, 255, 3}));
  EXPECT_EQ(Apply(FadeToGreen, {255, 255, 255}, 22), (Levels{0, 243, 0}));
  EXPECT_EQ(Apply(FadeToGreen, {255, 255, 255}, 43), (Levels{0, 0, 0}));
  EXPECT_EQ(Apply(FadeToBlue, {255, 255, 255}, 21), (Levels{3, 3, 255}));
  EXPECT_EQ(Apply(FadeToBlue, {255, 255, 255}, 22), (Levels{0, 0, 243}));
  EXPECT_EQ(Apply(FadeToBlue, {255, 255, 255}, 43), (Levels{0, 0, 0}));
  // The third channel waits for both others, not just one.
  EXPECT_EQ(Apply(FadeToRed, {100, 0, 30}, 1), (Levels{100, 0, 18}));
  EXPECT_EQ(Apply(FadeToBlue, {0, 12, 100}, 1), (Levels{0, 0, 88}));
}

TEST(DecayRules, SecondariesLetOneChannelDieFirst) {
  EXPECT_EQ(Apply(FadeToYellow, {255, 255, 255}, 21), (Levels{255, 255, 3}));
  EXPECT_EQ(Apply(FadeToYellow, {255, 255, 255}, 22), (Levels{243, 243, 0}));
  EXPECT_EQ(Apply(FadeToYellow, {255, 255, 255}, 43), (Levels{0, 0, 0}));
  EXPECT_EQ(Apply(FadeToMagenta, {255, 255, 255}, 21), (Levels{255, 3, 255}));
  EXPECT_EQ(Apply(FadeToMagenta, {255, 255, 255}, 22), (Levels{243, 0, 243}));
  EXPECT_EQ(Apply(FadeToMagenta, {255, 255, 255}, 43), (Levels{0, 0, 0}));
  EXPECT_EQ(Apply(FadeToCyan, {255, 255, 255}, 22), (Levels{0, 243, 243}));
  EXPECT_EQ(Apply(FadeToCyan, {255, 255, 255}, 43), (Levels{0, 0, 0}));
  // The pair steps in the very call in which the first channel reaches 0.
  EXPECT_EQ(Apply(FadeToYellow, {50, 60, 12}, 1), (Levels{38, 48, 0}));
  EXPECT_EQ(Apply(FadeToYellow, {50, 60, 13}, 1), (Levels{50, 60, 1}));
}

}  // namespace
}  // namespace lumenfall

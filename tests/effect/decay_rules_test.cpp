// The six colour-decay rules and their selectors.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <utility>

#include "effect/blur/colour_decay.h"

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

// A rule applied `times` times to `start` gives `end`.
struct Run {
  ColourDecayRule rule;
  Levels start;
  int times;
  Levels end;
};

void ExpectRuns(std::initializer_list<Run> runs) {
  int i = 0;
  for (const Run& run : runs) EXPECT_EQ(Apply(run.rule, run.start, run.times), run.end) << "run " << i++;
}

TEST(DecayRules, SelectorTable) {
  const std::pair<uint32_t, ColourDecayRule> rules[] = {{1, FadeToRed},    {2, FadeToGreen},
                                                        {4, FadeToBlue},   {8, FadeToYellow},
                                                        {16, FadeToMagenta}, {32, FadeToCyan}};
  for (const auto& [selector, rule] : rules) EXPECT_EQ(RuleForSelector(selector), rule) << selector;
  for (uint32_t s : {0u, 3u, 5u, 6u, 7u, 9u, 15u, 17u, 31u, 33u, 64u, 128u, 255u})
    EXPECT_EQ(RuleForSelector(s), nullptr) << s;
}

TEST(DecayRules, StepOfTwelveLevels) {
  ExpectRuns({
      {FadeToCyan, {12, 200, 200}, 1, {0, 188, 188}},
      {FadeToCyan, {13, 200, 200}, 1, {1, 200, 200}},
      {FadeToCyan, {0, 5, 12}, 1, {0, 0, 0}},
  });
}

// From white, the levels after 21, 22, 42 and 43 steps: the first channels die at the
// 22nd step, in which the others take their first; those die at the 43rd.
void ExpectFromWhite(ColourDecayRule rule, Levels after21, Levels after22, Levels after42,
                     Levels after43) {
  const std::pair<int, Levels> expected[] = {{21, after21}, {22, after22}, {42, after42}, {43, after43}};
  for (const auto& [times, end] : expected)
    EXPECT_EQ(Apply(rule, {255, 255, 255}, times), end) << times << " steps";
}

TEST(DecayRules, PrimariesLetTwoChannelsDieFirst) {
  ExpectFromWhite(FadeToRed, {255, 3, 3}, {243, 0, 0}, {3, 0, 0}, {0, 0, 0});
  ExpectFromWhite(FadeToGreen, {3, 255, 3}, {0, 243, 0}, {0, 3, 0}, {0, 0, 0});
  ExpectFromWhite(FadeToBlue, {3, 3, 255}, {0, 0, 243}, {0, 0, 3}, {0, 0, 0});
}

TEST(DecayRules, SecondariesLetOneChannelDieFirst) {
  ExpectFromWhite(FadeToYellow, {255, 255, 3}, {243, 243, 0}, {3, 3, 0}, {0, 0, 0});
  ExpectFromWhite(FadeToMagenta, {255, 3, 255}, {243, 0, 243}, {3, 0, 3}, {0, 0, 0});
  ExpectFromWhite(FadeToCyan, {3, 255, 255}, {0, 243, 243}, {0, 3, 3}, {0, 0, 0});
}

TEST(DecayRules, KeptChannelsStepInTheCallInWhichTheOthersReachZero) {
  ExpectRuns({
      // A primary's third channel waits for both others, not just one.
      {FadeToRed, {100, 0, 30}, 1, {100, 0, 18}},
      {FadeToBlue, {0, 12, 100}, 1, {0, 0, 88}},
      // A secondary's pair steps in the very call in which the first channel reaches 0.
      {FadeToYellow, {50, 60, 12}, 1, {38, 48, 0}},
      {FadeToYellow, {50, 60, 13}, 1, {50, 60, 1}},
  });
}

}  // namespace
}  // namespace lumenfall

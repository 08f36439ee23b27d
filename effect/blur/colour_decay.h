// The six colour-decay rules. Each steps some of the three channel accumulators
// (red = level << 16, green = level << 8, blue = level) by 12 levels.
#pragma once

#include <cstdint>

namespace lumenfall {

using ColourDecayRule = int (*)(uint32_t& red, uint32_t& green, uint32_t& blue);

constexpr uint32_t kRedStep = 0xC0000;
constexpr uint32_t kGreenStep = 0xC00;
constexpr uint32_t kBlueStep = 0xC;

int FadeToRed(uint32_t& red, uint32_t& green, uint32_t& blue);
int FadeToGreen(uint32_t& red, uint32_t& green, uint32_t& blue);
int FadeToBlue(uint32_t& red, uint32_t& green, uint32_t& blue);
int FadeToYellow(uint32_t& red, uint32_t& green, uint32_t& blue);
int FadeToMagenta(uint32_t& red, uint32_t& green, uint32_t& blue);
int FadeToCyan(uint32_t& red, uint32_t& green, uint32_t& blue);

// The rule of a selector (1, 2, 4, 8, 16, 32), or null for any other value.
ColourDecayRule RuleForSelector(uint32_t selector);

}  // namespace lumenfall

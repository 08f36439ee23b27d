// The settings word: everything the user can choose, in 32 bits. Its low byte, read as
// a whole, selects the text set and its colour-decay rule; one bit selects the blur.
#pragma once

#include <cstdint>

namespace lumenfall {

using SaverFlags = uint32_t;

constexpr SaverFlags kSelectorMask = 0xFF;           // the low byte: the text set
constexpr SaverFlags kSelectorMalachiRed = 1;
constexpr SaverFlags kSelectorDeepBlue = 4;
constexpr SaverFlags kLowQualityFlag = 0x10000000;   // the rough, faster blur
constexpr SaverFlags kDefaultFlags = kSelectorMalachiRed;  // full-quality blur

}  // namespace lumenfall

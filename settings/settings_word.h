// The settings word: everything the user can choose, in 32 bits.
#pragma once

#include <cstdint>

namespace lumenfall {

using SaverFlags = uint32_t;

constexpr SaverFlags kDefaultFlags = 1;              // Malachi Red, full-quality blur
constexpr SaverFlags kSelectorMalachiRed = 1;
constexpr SaverFlags kSelectorDeepBlue = 4;
constexpr SaverFlags kLowQualityFlag = 0x10000000;   // the rough, faster blur

inline uint32_t SelectorOf(SaverFlags flags) { return flags & 0xFF; }

}  // namespace lumenfall

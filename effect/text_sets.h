// The two text sets: null-terminated tables of constant single-line strings.
#pragma once

#include <cstdint>

namespace lumenfall {

using TextSet = const char* const*;

extern const char* const MalachiRedText[];  // 91 entries, then null
extern const char* const DeepBlueText[];    // 72 entries, then null

// The set that a settings word's low byte selects: 1 MalachiRedText, 4 DeepBlueText,
// anything else none. Own lines, when given, stand in for the selected set (which then
// gives only its colour-decay rule); with a low byte that selects none they show neither.
TextSet TextSetForSettings(uint32_t settings, TextSet ownLines = nullptr);

// The number of entries before the terminating null.
int TextSetLength(TextSet set);

}  // namespace lumenfall

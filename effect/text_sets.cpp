#include "effect/text_sets.h"

#include "settings/settings_word.h"

namespace lumenfall {

TextSet TextSetForSettings(uint32_t settings, TextSet ownLines) {
  switch (settings & kSelectorMask) {
    case kSelectorMalachiRed: return ownLines != nullptr ? ownLines : MalachiRedText;
    case kSelectorDeepBlue: return ownLines != nullptr ? ownLines : DeepBlueText;
    default: return nullptr;
  }
}

int TextSetLength(TextSet set) {
  if (set == nullptr) return 0;
  int n = 0;
  while (set[n] != nullptr) ++n;
  return n;
}

}  // namespace lumenfall

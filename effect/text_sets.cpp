#include "effect/text_sets.h"

namespace lumenfall {

TextSet TextSetForSettings(uint32_t settings) {
  switch (settings & 0xFF) {
    case 1: return MalachiRedText;
    case 4: return DeepBlueText;
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

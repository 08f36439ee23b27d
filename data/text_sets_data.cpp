// PLACEHOLDER: replaced by the real text sets.
#include "effect/text_sets.h"

namespace lumenfall {

const char* const MalachiRedText[] = {"Malachi Red", "(Calvane)", ".  .  .", "", nullptr};
const char* const DeepBlueText[] = {"Deep Blue", "(Nerith)", ".  .  .", "", nullptr};

}  // namespace lumenfall

// The 15-bit pseudo-random generator of the effect. The zoom rectangles divide its
// results by 32767, so its exact range is part of the picture; the standard
// library's generator is not used.
#pragma once

#include <cstdint>

namespace lumenfall {

struct RandomState {
  uint32_t state = 1;
};

// Sets the 32-bit state.
void SeedRandom(RandomState& random, uint32_t seed);

// state = state x 214013 + 2531011 (mod 2^32); returns bits 16 to 30: 0 to 32767.
int NextRandom(RandomState& random);

}  // namespace lumenfall

#include "effect/random.h"

namespace lumenfall {

void SeedRandom(RandomState& random, uint32_t seed) { random.state = seed; }

int NextRandom(RandomState& random) {
  random.state = random.state * 214013u + 2531011u;
  return static_cast<int>((random.state >> 16) & 0x7FFF);
}

}  // namespace lumenfall

// The vector instruction levels of the blur's kernels: what the processor offers, the cap
// that tests, programs and the system put on it, and the level in use.
#pragma once

#include <cstdint>

namespace lumenfall {

// The vector instructions the 16-, 24- and 32-bit kernels may use. The best one the
// processor has is chosen at run time; tests lower the limit to exercise every kernel.
enum class SimdLevel : uint8_t { None = 0, Mmx = 1, Sse2 = 2, Avx2 = 3 };

// What the processor offers: Sse2 in the WebAssembly build, whose SIMD the SSE2
// kernels are compiled to; None on processors other than x86.
SimdLevel DetectedSimdLevel();

// Caps the level the passes use; the default cap is Avx2. Returns the previous cap.
SimdLevel SetSimdLimit(SimdLevel limit);

// The level the passes use now: the smaller of the detected level and the cap.
SimdLevel ActiveSimdLevel();

}  // namespace lumenfall

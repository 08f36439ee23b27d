// The vector instruction levels of the blur's kernels: what the processor offers, the cap
// that the environment, a command line, the system or a test puts on it, and the level
// in use.
#pragma once

#include <cstdint>
#include <string_view>

namespace lumenfall {

// The vector instructions the 16-, 24- and 32-bit kernels may use. The best one the
// processor has is chosen at run time; tests lower the limit to exercise every kernel.
enum class SimdLevel : uint8_t { None = 0, Mmx = 1, Sse2 = 2, Avx2 = 3 };

// "none", "mmx", "sse2" or "avx2".
const char* SimdLevelName(SimdLevel level);

// The level of one of those names; false for anything else.
bool ParseSimdLevel(std::string_view name, SimdLevel& level);

// The environment variable that caps the level in every program, with one of the names.
// A value that names none leaves the cap at Avx2 (the programs with a command line refuse
// it: shell/simd_choice.h).
constexpr const char* kSimdEnvironmentVariable = "LUMENFALL_SIMD";

// The cap that a value of LUMENFALL_SIMD asks for (null: unset), where every program's
// cap starts.
SimdLevel SimdLimitForEnvironment(const char* value);

// What the processor offers: Sse2 in the WebAssembly build, whose SIMD the SSE2
// kernels are compiled to; None on processors other than x86.
SimdLevel DetectedSimdLevel();

// The cap on the level: LUMENFALL_SIMD's level until a program or test sets one, Avx2
// without it.
SimdLevel SimdLimit();

// Sets the cap. Returns the previous cap.
SimdLevel SetSimdLimit(SimdLevel limit);

// The level the passes use now: the smaller of the detected level and the cap, so never
// above what the processor offers.
SimdLevel ActiveSimdLevel();

}  // namespace lumenfall

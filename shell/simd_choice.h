// The blur's vector level as the native programs take it: --simd LEVEL on a command line
// and LUMENFALL_SIMD in the environment, with their one-line mistakes.
#pragma once

#include <string>
#include <string_view>

#include "effect/blur/simd_level.h"

namespace lumenfall {

// A --simd value: false with "option --simd must be none, mmx, sse2 or avx2, not '...'".
bool ParseSimdOption(std::string_view value, SimdLevel& level, std::string& error);

// The mistake in a value of LUMENFALL_SIMD (null: unset), or empty when there is none.
std::string SimdEnvironmentProblem(const char* value);

}  // namespace lumenfall

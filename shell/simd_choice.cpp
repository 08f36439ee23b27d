// --simd and LUMENFALL_SIMD: the level's names and their mistakes.
#include "shell/simd_choice.h"

#include "shell/options.h"

namespace lumenfall {

namespace {
constexpr std::string_view kNames = " must be none, mmx, sse2 or avx2, not ";
}  // namespace

bool ParseSimdOption(std::string_view value, SimdLevel& level, std::string& error) {
  if (ParseSimdLevel(value, level)) return true;
  error = "option --simd" + std::string(kNames) + QuotedArgument(value);
  return false;
}

std::string SimdEnvironmentProblem(const char* value) {
  SimdLevel level;
  if (value == nullptr || ParseSimdLevel(value, level)) return {};
  return kSimdEnvironmentVariable + std::string(kNames) + QuotedArgument(value);
}

}  // namespace lumenfall

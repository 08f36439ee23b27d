// The processor's vector level, the cap on it and LUMENFALL_SIMD.
#include "effect/blur/simd_level.h"

#include <cstdlib>

#include "effect/blur/kernels.h"

namespace lumenfall {

namespace {

constexpr SimdLevel kLevels[] = {SimdLevel::None, SimdLevel::Mmx, SimdLevel::Sse2,
                                 SimdLevel::Avx2};

SimdLevel Detect() {
#if defined(__EMSCRIPTEN__) && defined(LUMENFALL_X86_KERNELS)
  return SimdLevel::Sse2;  // built for WebAssembly SIMD, which the page requires
#elif defined(LUMENFALL_X86_KERNELS)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return SimdLevel::Avx2;
  if (__builtin_cpu_supports("sse2")) return SimdLevel::Sse2;
  if (__builtin_cpu_supports("mmx")) return SimdLevel::Mmx;
#endif
  return SimdLevel::None;
}

// The cap, first read from the environment.
SimdLevel& Limit() {
  static SimdLevel limit = SimdLimitForEnvironment(std::getenv(kSimdEnvironmentVariable));
  return limit;
}

}  // namespace

const char* SimdLevelName(SimdLevel level) {
  switch (level) {
    case SimdLevel::None: return "none";
    case SimdLevel::Mmx: return "mmx";
    case SimdLevel::Sse2: return "sse2";
    case SimdLevel::Avx2: return "avx2";
  }
  return "?";
}

bool ParseSimdLevel(std::string_view name, SimdLevel& level) {
  for (SimdLevel candidate : kLevels) {
    if (name == SimdLevelName(candidate)) {
      level = candidate;
      return true;
    }
  }
  return false;
}

SimdLevel SimdLimitForEnvironment(const char* value) {
  SimdLevel level = SimdLevel::Avx2;
  if (value == nullptr || !ParseSimdLevel(value, level)) return SimdLevel::Avx2;
  return level;
}

SimdLevel DetectedSimdLevel() {
  static const SimdLevel detected = Detect();
  return detected;
}

SimdLevel SimdLimit() { return Limit(); }

SimdLevel SetSimdLimit(SimdLevel limit) {
  const SimdLevel previous = Limit();
  Limit() = limit;
  return previous;
}

SimdLevel ActiveSimdLevel() {
  const SimdLevel detected = DetectedSimdLevel();
  return Limit() < detected ? Limit() : detected;
}

}  // namespace lumenfall

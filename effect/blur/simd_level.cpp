// The processor's vector level and the cap on it.
#include "effect/blur/simd_level.h"

#include "effect/blur/kernels.h"

namespace lumenfall {

namespace {

SimdLevel gSimdLimit = SimdLevel::Avx2;

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

}  // namespace

SimdLevel DetectedSimdLevel() {
  static const SimdLevel detected = Detect();
  return detected;
}

SimdLevel SetSimdLimit(SimdLevel limit) {
  const SimdLevel previous = gSimdLimit;
  gSimdLimit = limit;
  return previous;
}

SimdLevel ActiveSimdLevel() {
  const SimdLevel detected = DetectedSimdLevel();
  return static_cast<uint8_t>(gSimdLimit) < static_cast<uint8_t>(detected) ? gSimdLimit : detected;
}

}  // namespace lumenfall

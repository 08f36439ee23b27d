#include "platform/win32/vector_permission.h"

namespace lumenfall {

namespace {

// The first level whose registers the system must save: everything below it runs on
// the x87 register file.
constexpr SimdLevel BelowSse2() {
  return static_cast<SimdLevel>(static_cast<uint8_t>(SimdLevel::Sse2) - 1);
}

}  // namespace

SimdLevel SystemSimdLimit(ProcessorFeatureQuery isProcessorFeaturePresent) {
  if (isProcessorFeaturePresent == nullptr) return BelowSse2();
  if (isProcessorFeaturePresent(kFeatureSse2) == 0) return BelowSse2();
  if (isProcessorFeaturePresent(kFeatureXsave) != 0 || isProcessorFeaturePresent(kFeatureAvx2) != 0)
    return SimdLevel::Avx2;
  return SimdLevel::Sse2;
}

void LimitToSystem(ProcessorFeatureQuery isProcessorFeaturePresent) {
  const SimdLevel system = SystemSimdLimit(isProcessorFeaturePresent);
  if (system < SimdLimit()) SetSimdLimit(system);
}

}  // namespace lumenfall

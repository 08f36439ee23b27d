#include "platform/win32/vector_permission.h"

namespace lumenfall {

namespace {

// The first level whose registers the system must save: everything below it runs on
// the x87 register file.
constexpr SimdLevel BelowSse2() {
  return static_cast<SimdLevel>(static_cast<uint8_t>(SimdLevel::Sse2) - 1);
}

}  // namespace

SimdLevel SystemSimdLimit(ProcessorFeatureQuery isProcessorFeaturePresent, ProgramWord word) {
  const SimdLevel floor = word == ProgramWord::Bits64 ? SimdLevel::Sse2 : BelowSse2();
  if (isProcessorFeaturePresent == nullptr) return floor;
  if (isProcessorFeaturePresent(kFeatureSse2) == 0) return floor;
  if (isProcessorFeaturePresent(kFeatureXsave) != 0 || isProcessorFeaturePresent(kFeatureAvx2) != 0)
    return SimdLevel::Avx2;
  return SimdLevel::Sse2;
}

void LimitToSystem(ProcessorFeatureQuery isProcessorFeaturePresent, ProgramWord word) {
  const SimdLevel system = SystemSimdLimit(isProcessorFeaturePresent, word);
  if (system < SimdLimit()) SetSimdLimit(system);
}

}  // namespace lumenfall

// The system's permission for the blur's vector kernels, given what kernel32's
// IsProcessorFeaturePresent answers (or that it is missing).
#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/vector_permission.h"

namespace lumenfall {
namespace {

std::vector<uint32_t> asked;
uint32_t present = 0;  // bit n: feature n is reported (features below 32 only)
bool avx2Reported = false;

int LUMENFALL_SYSTEM_CALL FakeQuery(uint32_t feature) {
  asked.push_back(feature);
  if (feature == kFeatureAvx2) return avx2Reported ? 1 : 0;
  return feature < 32 && (present >> feature & 1u) != 0 ? 1 : 0;
}

SimdLevel Ask(uint32_t features, bool avx2 = false, ProgramWord word = ProgramWord::Bits32) {
  asked.clear();
  present = features;
  avx2Reported = avx2;
  return SystemSimdLimit(FakeQuery, word);
}

TEST(VectorPermission, WithoutTheQueryMmxIn32BitsAndSse2In64) {
  // MMX lives in the x87 registers, which every system saves; XMM only where asked.
  EXPECT_EQ(SystemSimdLimit(nullptr, ProgramWord::Bits32), SimdLevel::Mmx);
  EXPECT_EQ(SystemSimdLimit(nullptr, ProgramWord::Bits64), SimdLevel::Sse2);
}

TEST(VectorPermission, ASystemThatDeniesSse2GetsItsFloor) {
  // Windows 2000 and NT 4 know the query but not the SSE2 feature: they answer no,
  // whatever else they report.
  EXPECT_EQ(Ask(1u << kFeatureXsave, true), SimdLevel::Mmx);
  EXPECT_EQ(asked, std::vector<uint32_t>{kFeatureSse2}) << "SSE2 decides first";
  EXPECT_EQ(Ask(1u << kFeatureXsave, true, ProgramWord::Bits64), SimdLevel::Sse2);
}

TEST(VectorPermission, Sse2WithoutTheSavedAvxStateStopsAtSse2) {
  EXPECT_EQ(Ask(1u << kFeatureSse2), SimdLevel::Sse2);
}

TEST(VectorPermission, Avx2NeedsTheSystemToSaveTheWiderRegisters) {
  EXPECT_EQ(Ask(1u << kFeatureSse2 | 1u << kFeatureXsave), SimdLevel::Avx2);
  EXPECT_EQ(Ask(1u << kFeatureSse2, true), SimdLevel::Avx2);
}

TEST(VectorPermission, TheSystemLowersTheCapButNeverRaisesIt) {
  const SimdLevel before = SetSimdLimit(SimdLevel::Avx2);
  present = 0;
  LimitToSystem(FakeQuery, ProgramWord::Bits32);  // a system that denies SSE2
  EXPECT_EQ(SimdLimit(), SimdLevel::Mmx);
  SetSimdLimit(SimdLevel::None);  // as LUMENFALL_SIMD=none asks
  present = 1u << kFeatureSse2 | 1u << kFeatureXsave;
  LimitToSystem(FakeQuery, ProgramWord::Bits32);
  EXPECT_EQ(SimdLimit(), SimdLevel::None);
  SetSimdLimit(before);
}

}  // namespace
}  // namespace lumenfall

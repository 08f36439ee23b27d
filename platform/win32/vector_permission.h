// Which vector kernels the system lets the blur use. The processor's own bits are not
// enough: a system that does not save the XMM registers on a task switch (Windows 95,
// NT 4) corrupts them, and a processor with SSE2 then faults or computes garbage. The
// MMX registers alias the x87 ones, which every 32-bit system saves, so kernels below
// SSE2 are safe everywhere. No windows.h here, so that the decision is tested natively.
#pragma once

#include <cstdint>

#include "effect/blur/simd_level.h"

namespace lumenfall {

#if defined(_WIN32) && defined(__i386__)
#define LUMENFALL_SYSTEM_CALL __stdcall
#else
#define LUMENFALL_SYSTEM_CALL
#endif

// kernel32's IsProcessorFeaturePresent, as looked up at run time (absent before
// Windows NT 4 and in the first Windows 95).
using ProcessorFeatureQuery = int(LUMENFALL_SYSTEM_CALL*)(uint32_t feature);

// The feature numbers asked for.
constexpr uint32_t kFeatureSse2 = 10;  // PF_XMMI64_INSTRUCTIONS_AVAILABLE, Windows XP on
constexpr uint32_t kFeatureXsave = 17;  // PF_XSAVE_ENABLED: the system saves the AVX state
constexpr uint32_t kFeatureAvx2 = 40;  // PF_AVX2_INSTRUCTIONS_AVAILABLE, Windows 10 on

// The program's word: every 64-bit Windows saves the XMM registers, SSE2 being part of
// the x86-64 instruction set.
enum class ProgramWord { Bits32, Bits64 };
constexpr ProgramWord kThisProgramWord = sizeof(void*) == 8 ? ProgramWord::Bits64 : ProgramWord::Bits32;

// The highest level the system allows: the floor (MMX for a 32-bit program, SSE2 for a
// 64-bit one) when there is no query or it denies SSE2; SSE2 when it reports SSE2 but
// neither XSAVE nor AVX2; AVX2 when it reports SSE2 and either of those. The
// processor's own detection still applies on top (the blur uses the smaller of the two).
SimdLevel SystemSimdLimit(ProcessorFeatureQuery isProcessorFeaturePresent, ProgramWord word);

// Lowers the blur's cap to what the system allows; a lower cap (LUMENFALL_SIMD) stays.
void LimitToSystem(ProcessorFeatureQuery isProcessorFeaturePresent, ProgramWord word = kThisProgramWord);

}  // namespace lumenfall

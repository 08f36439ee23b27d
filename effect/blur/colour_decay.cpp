// The six colour-decay rules and the selector that names each.
#include "effect/blur/colour_decay.h"

namespace lumenfall {

namespace {
inline void Step(uint32_t& channel, uint32_t step) { channel = channel > step ? channel - step : 0; }

// The primaries: the two other channels step, the kept one only once both are black.
inline int KeepOneLast(uint32_t& kept, uint32_t keptStep, uint32_t& a, uint32_t aStep, uint32_t& b,
                       uint32_t bStep) {
  Step(a, aStep);
  Step(b, bStep);
  if (a == 0 && b == 0) Step(kept, keptStep);
  return 1;
}

// The secondaries: the lost channel steps first, the kept pair together once it is black.
inline int LoseOneFirst(uint32_t& lost, uint32_t lostStep, uint32_t& a, uint32_t aStep, uint32_t& b,
                        uint32_t bStep) {
  Step(lost, lostStep);
  if (lost == 0) {
    Step(a, aStep);
    Step(b, bStep);
  }
  return 1;
}
}  // namespace

int FadeToRed(uint32_t& r, uint32_t& g, uint32_t& b) { return KeepOneLast(r, kRedStep, g, kGreenStep, b, kBlueStep); }
int FadeToGreen(uint32_t& r, uint32_t& g, uint32_t& b) { return KeepOneLast(g, kGreenStep, r, kRedStep, b, kBlueStep); }
int FadeToBlue(uint32_t& r, uint32_t& g, uint32_t& b) { return KeepOneLast(b, kBlueStep, r, kRedStep, g, kGreenStep); }
int FadeToYellow(uint32_t& r, uint32_t& g, uint32_t& b) { return LoseOneFirst(b, kBlueStep, r, kRedStep, g, kGreenStep); }
int FadeToMagenta(uint32_t& r, uint32_t& g, uint32_t& b) { return LoseOneFirst(g, kGreenStep, r, kRedStep, b, kBlueStep); }
int FadeToCyan(uint32_t& r, uint32_t& g, uint32_t& b) { return LoseOneFirst(r, kRedStep, b, kBlueStep, g, kGreenStep); }

ColourDecayRule RuleForSelector(uint32_t selector) {
  switch (selector) {
    case 1: return FadeToRed;
    case 2: return FadeToGreen;
    case 4: return FadeToBlue;
    case 8: return FadeToYellow;
    case 16: return FadeToMagenta;
    case 32: return FadeToCyan;
    default: return nullptr;
  }
}

}  // namespace lumenfall

#include "effect/colour_decay.h"

namespace lumenfall {

namespace {
inline void Step(uint32_t& channel, uint32_t step) { channel = channel > step ? channel - step : 0; }
}  // namespace

int FadeToRed(uint32_t& red, uint32_t& green, uint32_t& blue) {
  Step(green, kGreenStep);
  Step(blue, kBlueStep);
  if (green == 0 && blue == 0) Step(red, kRedStep);
  return 1;
}

int FadeToGreen(uint32_t& red, uint32_t& green, uint32_t& blue) {
  Step(red, kRedStep);
  Step(blue, kBlueStep);
  if (red == 0 && blue == 0) Step(green, kGreenStep);
  return 1;
}

int FadeToBlue(uint32_t& red, uint32_t& green, uint32_t& blue) {
  Step(red, kRedStep);
  Step(green, kGreenStep);
  if (red == 0 && green == 0) Step(blue, kBlueStep);
  return 1;
}

int FadeToYellow(uint32_t& red, uint32_t& green, uint32_t& blue) {
  Step(blue, kBlueStep);
  if (blue == 0) {
    Step(red, kRedStep);
    Step(green, kGreenStep);
  }
  return 1;
}

int FadeToMagenta(uint32_t& red, uint32_t& green, uint32_t& blue) {
  Step(green, kGreenStep);
  if (green == 0) {
    Step(red, kRedStep);
    Step(blue, kBlueStep);
  }
  return 1;
}

int FadeToCyan(uint32_t& red, uint32_t& green, uint32_t& blue) {
  Step(red, kRedStep);
  if (red == 0) {
    Step(blue, kBlueStep);
    Step(green, kGreenStep);
  }
  return 1;
}

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

// The configuration dialog's three choices and how they map onto the settings word:
// two radio buttons for the text set and a check box for the low-quality blur.
#pragma once

#include "settings/settings_word.h"

namespace lumenfall {

struct DialogChoices {
  bool malachiRed = false;  // radio button 1002
  bool deepBlue = false;    // radio button 1001
  bool lowQuality = false;  // check box 1009
};

// The word that the dialog saves: a low byte of 1 (Malachi Red wins when both are
// somehow checked), 4 or 0, plus bit 28. Every other bit of what was loaded is dropped.
constexpr SaverFlags FlagsFromChoices(const DialogChoices& choices) {
  SaverFlags flags = 0;
  if (choices.malachiRed) {
    flags = kSelectorMalachiRed;
  } else if (choices.deepBlue) {
    flags = kSelectorDeepBlue;
  }
  if (choices.lowQuality) flags |= kLowQualityFlag;
  return flags;
}

// What the dialog shows for a stored word. The radio buttons follow single bits of
// the low byte, not its whole value: 5 shows Malachi Red, 6 Deep Blue, and a byte
// with neither bit 0 nor bit 2 (0, 2, 8, ...) shows no radio button checked.
constexpr DialogChoices ChoicesFromFlags(SaverFlags flags) {
  DialogChoices choices;
  if ((flags & kSelectorMalachiRed) != 0) {
    choices.malachiRed = true;
  } else if ((flags & kSelectorDeepBlue) != 0) {
    choices.deepBlue = true;
  }
  choices.lowQuality = (flags & kLowQualityFlag) != 0;
  return choices;
}

}  // namespace lumenfall

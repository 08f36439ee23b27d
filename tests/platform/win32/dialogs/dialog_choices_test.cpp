// The configuration dialog's mapping between its controls and the settings word.
#include <gtest/gtest.h>

#include <cstdint>

#include "settings/dialog_choices.h"

namespace lumenfall {
namespace {

DialogChoices Choices(bool malachi, bool deep, bool low) {
  DialogChoices c;
  c.malachiRed = malachi;
  c.deepBlue = deep;
  c.lowQuality = low;
  return c;
}

TEST(DialogChoices, SavedWordHoldsOnlyTheSelectorAndTheBlurBit) {
  EXPECT_EQ(FlagsFromChoices(Choices(false, false, false)), 0x00000000u);
  EXPECT_EQ(FlagsFromChoices(Choices(true, false, false)), 0x00000001u);
  EXPECT_EQ(FlagsFromChoices(Choices(false, true, false)), 0x00000004u);
  EXPECT_EQ(FlagsFromChoices(Choices(false, false, true)), 0x10000000u);
  EXPECT_EQ(FlagsFromChoices(Choices(true, false, true)), 0x10000001u);
  EXPECT_EQ(FlagsFromChoices(Choices(false, true, true)), 0x10000004u);
  // Both radio buttons cannot be checked in one group, but Malachi Red is tested first.
  EXPECT_EQ(FlagsFromChoices(Choices(true, true, false)), 0x00000001u);
}

struct Shown {
  SaverFlags stored;
  bool malachi, deep, low;
};

TEST(DialogChoices, StoredWordsShowSingleBitsOfTheLowByte) {
  const Shown cases[] = {
      {1, true, false, false},          {4, false, true, false},
      {5, true, false, false},          {6, false, true, false},
      {0, false, false, false},         {2, false, false, false},
      {8, false, false, false},         {16, false, false, false},
      {32, false, false, false},        {0xFF, true, false, false},
      {0xFE, false, true, false},       {0xFA, false, false, false},
      {0x10000000, false, false, true}, {0x10000004, false, true, true},
      // Bits 8 to 27 and 29 to 31 mean nothing to the dialog.
      {0xEFFFFF00, false, false, false}, {0xFFFFFFFF, true, false, true},
      {0x00000400, false, false, false}, {0x20000001, true, false, false},
  };
  for (const Shown& c : cases) {
    const DialogChoices shown = ChoicesFromFlags(c.stored);
    EXPECT_EQ(shown.malachiRed, c.malachi) << std::hex << c.stored;
    EXPECT_EQ(shown.deepBlue, c.deep) << std::hex << c.stored;
    EXPECT_EQ(shown.lowQuality, c.low) << std::hex << c.stored;
    EXPECT_FALSE(shown.malachiRed && shown.deepBlue) << "at most one radio button";
  }
}

TEST(DialogChoices, OkAfterOpeningDropsEveryOtherBit) {
  // Opening a stored word and pressing OK unchanged.
  EXPECT_EQ(FlagsFromChoices(ChoicesFromFlags(0xFFFFFF05)), 0x10000001u);
  EXPECT_EQ(FlagsFromChoices(ChoicesFromFlags(0xEFFF0006)), 0x00000004u);
  EXPECT_EQ(FlagsFromChoices(ChoicesFromFlags(0x00000002)), 0x00000000u);
  EXPECT_EQ(FlagsFromChoices(ChoicesFromFlags(0x10000008)), 0x10000000u);
  EXPECT_EQ(FlagsFromChoices(ChoicesFromFlags(0x00000104)), 0x00000004u);
  // The two values that the saver animates come back unchanged.
  for (SaverFlags word : {0x1u, 0x4u, 0x10000001u, 0x10000004u})
    EXPECT_EQ(FlagsFromChoices(ChoicesFromFlags(word)), word);
}

}  // namespace
}  // namespace lumenfall

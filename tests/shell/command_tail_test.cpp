// The command tail of the saver: skipping the program name, the switch scan and
// the decimal window handles.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "shell/command_tail.h"

namespace lumenfall {
namespace {

struct TailCase {
  const char* line;
  const char* tail;
};

void ExpectTails(std::initializer_list<TailCase> cases) {
  for (const TailCase& c : cases)
    EXPECT_EQ(std::string(SkipProgramName(c.line)), c.tail) << "line \"" << c.line << "\"";
}

TEST(SkipProgramName, UnquotedNameEndsAtTheFirstBlankOrControl) {
  ExpectTails({
      {"lumenfall.scr /s", "/s"},
      {"lumenfall.scr", ""},
      {"", ""},
      // A tab between the name and the first separator is skipped like a blank.
      {"lumenfall.scr\t/s", "/s"},
      // Every code from 1 to 0x20 is skipped after the name, in any mix.
      {"x \t\x01\x1f\x20/p 5", "/p 5"},
      // 0x21 is the first code that belongs to the name, and 0x7f too.
      {"a!b\x7f" "c d", "d"},
  });
}

TEST(SkipProgramName, BytesAboveSeventyFHexBelongToTheName) {
  ExpectTails({
      {"C:\\Sp\xe4ter\\l\xfc.scr /s", "/s"},
      {"\x80\xff /c", "/c"},
      // After the name, a byte 0x80-0xFF is not skipped: it is the tail's first character.
      {"name \xa0/s", "\xa0/s"},
  });
}

TEST(SkipProgramName, QuotedNameRunsToTheClosingQuote) {
  ExpectTails({
      {"\"C:\\Program Files\\lumenfall.scr\" /s", "/s"},
      // Blanks inside the quotes belong to the name.
      {"\"a b c\"/p 7", "/p 7"},
      // Without its closing quote the whole line is the name: an empty tail.
      {"\"C:\\lumenfall.scr /s", ""},
      {"\"", ""},
      {"\"\"   s", "s"},
      // Only the first quote pair is the name; a later quote is part of the tail.
      {"\"x\" \"/s\"", "\"/s\""},
  });
}

TEST(SkipProgramName, NullLineGivesAnEmptyTail) { EXPECT_EQ(std::string(SkipProgramName(nullptr)), ""); }

struct HandleCase {
  const char* text;
  uint32_t handle;
};

void ExpectHandles(std::initializer_list<HandleCase> cases) {
  for (const HandleCase& c : cases) EXPECT_EQ(ParseWindowHandle(c.text), c.handle) << "\"" << c.text << "\"";
}

TEST(ParseWindowHandle, ReadsLeadingDecimalDigitsOnly) {
  ExpectHandles({
      {"660", 660u},
      {"0660", 660u},
      {"12ab34", 12u},
      {"4294967295", 4294967295u},
      {"", 0u},
      // No sign, no hexadecimal, no leading blank.
      {"-5", 0u},
      {"+5", 0u},
      {"0x1F", 0u},
      {" 5", 0u},
      {":660", 0u},
  });
  EXPECT_EQ(ParseWindowHandle(nullptr), 0u);
}

TEST(ParseWindowHandle, WrapsModuloTwoToTheThirtySecond) {
  ExpectHandles({
      // 4294967296 = 2^32 wraps to 0; 4294967297 to 1.
      {"4294967296", 0u},
      {"4294967297", 1u},
      // 2^32 + 660 lands on 660 again: the wrapped value is what IsWindow is asked about.
      {"4294967956", 660u},
      // 99999999999 = 23 x 2^32 + 1215752191.
      {"99999999999", 1215752191u},
  });
}

struct ScanCase {
  const char* tail;
  SaverMode mode;
};

TEST(ScanSaverCommand, FirstCharacterAfterSeparatorsDecides) {
  const ScanCase cases[] = {
      {"", SaverMode::Configure},
      {"   ", SaverMode::Configure},
      {"-/ -//--", SaverMode::Configure},
      {"/s", SaverMode::FullScreen},
      {"-S", SaverMode::FullScreen},
      {"s", SaverMode::FullScreen},
      {"/ - /s", SaverMode::FullScreen},
      {"/S garbage", SaverMode::FullScreen},
      {"/save", SaverMode::FullScreen},
      {"/c", SaverMode::ConfigureOwned},
      {"/C:660", SaverMode::ConfigureOwned},
      {"c 123", SaverMode::ConfigureOwned},
      {"/x", SaverMode::Invalid},
      {"/1", SaverMode::Invalid},
      {"/\ts", SaverMode::Invalid},  // a tab is not a separator of the scan
      {"\ts", SaverMode::Invalid},
      {"/\x01s", SaverMode::Invalid},
      {"/\xd3", SaverMode::Invalid},  // 0x80-0xFF never match a letter
      {"/\xf3", SaverMode::Invalid},
      {"\"/s\"", SaverMode::Invalid},
      {"/p 1", SaverMode::Preview},
      {"-L 1", SaverMode::Preview},
      {"/a", SaverMode::ChangePassword},
      {"-A 1", SaverMode::ChangePassword},
  };
  for (const ScanCase& c : cases) {
    EXPECT_EQ(ScanSaverCommand(c.tail).mode, c.mode) << "tail \"" << c.tail << "\"";
  }
  EXPECT_EQ(ScanSaverCommand(nullptr).mode, SaverMode::Configure);
}

TEST(ScanSaverCommand, PreviewReadsTheHandleAfterBlanksOnly) {
  EXPECT_EQ(ScanSaverCommand("/p 660").handle, 660u);
  EXPECT_EQ(ScanSaverCommand("/P660").handle, 660u);
  EXPECT_EQ(ScanSaverCommand("/l 660").handle, 660u);
  EXPECT_EQ(ScanSaverCommand("/p     660 extra").handle, 660u);
  // The colon is not skipped, so no number is read; nor after a tab.
  EXPECT_EQ(ScanSaverCommand("/p:660").handle, 0u);
  EXPECT_EQ(ScanSaverCommand("/p\t660").handle, 0u);
  EXPECT_EQ(ScanSaverCommand("/p -660").handle, 0u);
  EXPECT_EQ(ScanSaverCommand("/p 0").handle, 0u);
  EXPECT_EQ(ScanSaverCommand("/p").handle, 0u);
  EXPECT_EQ(ScanSaverCommand("/p 4294967956").handle, 660u);
  EXPECT_EQ(ScanSaverCommand("/p:660").mode, SaverMode::Preview);  // the caller refuses 0
}

TEST(ScanSaverCommand, ChangePasswordRestStartsAfterTheBlanks) {
  EXPECT_STREQ(ScanSaverCommand("/a 660").rest, "660");
  EXPECT_STREQ(ScanSaverCommand("/A    660 x").rest, "660 x");
  EXPECT_STREQ(ScanSaverCommand("a").rest, "");
  EXPECT_STREQ(ScanSaverCommand("/a\t660").rest, "\t660");
  EXPECT_EQ(ScanSaverCommand("/a 660").handle, 0u);  // only the preview reads a handle here
}

TEST(ScanSaverCommand, WholeCommandLinesThroughTheEntry) {
  EXPECT_EQ(ScanSaverCommand(SkipProgramName("\"C:\\x y\\l.scr\" /p 12")).handle, 12u);
  EXPECT_EQ(ScanSaverCommand(SkipProgramName("\"C:\\x y\\l.scr /s")).mode, SaverMode::Configure);
  EXPECT_EQ(ScanSaverCommand(SkipProgramName("l.scr\t/s")).mode, SaverMode::FullScreen);
  EXPECT_EQ(ScanSaverCommand(SkipProgramName("l.scr /\ts")).mode, SaverMode::Invalid);
  EXPECT_EQ(ScanSaverCommand(SkipProgramName("l.scr")).mode, SaverMode::Configure);
}

}  // namespace
}  // namespace lumenfall

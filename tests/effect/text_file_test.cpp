// Own lines read from a text: which lines are kept, and every refusal with the place
// it names. Pixel widths are worked out by hand from the font's width table.
#include "effect/text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumenfall {
namespace {

std::vector<std::string> Entries(TextSet set) {
  std::vector<std::string> entries;
  for (int i = 0; set != nullptr && set[i] != nullptr; ++i) entries.emplace_back(set[i]);
  return entries;
}

// The entries of a text that reads, or a failure.
std::vector<std::string> Read(std::string_view text) {
  OwnTextSet set;
  std::string error;
  EXPECT_TRUE(ReadTextSet(text, "lines.txt", set, error)) << error;
  EXPECT_EQ(error, "");
  return Entries(set.Set());
}

// The reason a text is refused; the set is left empty.
std::string Refusal(std::string_view text) {
  OwnTextSet set = OwnTextSet({"left over"});
  std::string error;
  EXPECT_FALSE(ReadTextSet(text, "lines.txt", set, error));
  EXPECT_EQ(set.Set(), nullptr);
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  return error;
}

TEST(TextFile, LinesInOrderSkippingBlankAndCommentLinesThenOneEmptyEntry) {
  EXPECT_EQ(Read("first\n\n# a comment\n  \t \nsecond line\n"),
            (std::vector<std::string>{"first", "second line", ""}));
  // Kept as they stand: inner, leading and trailing spaces, a '#' further in; the last
  // line needs no newline.
  EXPECT_EQ(Read(" a  b \n x # y\n#"), (std::vector<std::string>{" a  b ", " x # y", ""}));
  // CR LF ends a line like LF; a byte order mark at the start is passed over.
  EXPECT_EQ(Read("\xEF\xBB\xBFone\r\ntwo\r\n"), (std::vector<std::string>{"one", "two", ""}));
  EXPECT_EQ(Read("!~ ok"), (std::vector<std::string>{"!~ ok", ""}));
}

TEST(TextFile, ACopyOwnsItsLines) {
  OwnTextSet assigned;
  {
    OwnTextSet original;
    std::string error;
    ASSERT_TRUE(ReadTextSet("a line of some length\nb", "x", original, error));
    const OwnTextSet constructed = original;
    assigned = original;
    for (const OwnTextSet* copy : {&constructed, static_cast<const OwnTextSet*>(&assigned)}) {
      EXPECT_EQ(Entries(copy->Set()), Entries(original.Set()));
      for (int i = 0; i < 2; ++i) EXPECT_NE(copy->Set()[i], original.Set()[i]) << "entry " << i << " is shared";
    }
  }
  EXPECT_EQ(Entries(assigned.Set()), (std::vector<std::string>{"a line of some length", "b", ""}));
  EXPECT_EQ(OwnTextSet().Set(), nullptr);
}

TEST(TextFile, ACharacterOutsideTheFontIsRefusedAtItsLineAndColumn) {
  // Line numbers count every line of the file, skipped ones too.
  EXPECT_EQ(Refusal("# title\n\ncaf\xC3\xA9\n"),
            "lines.txt:3:4: the font has no U+00E9 (only the space and ! to ~)");
  EXPECT_EQ(Refusal("ok\na\tb"), "lines.txt:2:2: the font has no U+0009 (only the space and ! to ~)");
  EXPECT_EQ(Refusal(std::string_view("ab\0", 3)),
            "lines.txt:1:3: the font has no U+0000 (only the space and ! to ~)");
  EXPECT_EQ(Refusal("x\x7F"), "lines.txt:1:2: the font has no U+007F (only the space and ! to ~)");
  EXPECT_EQ(Refusal("a\rb\n"), "lines.txt:1:2: the font has no U+000D (only the space and ! to ~)");
  EXPECT_EQ(Refusal("\xF0\x9F\x98\x80"), "lines.txt:1:1: the font has no U+1F600 (only the space and ! to ~)");
  EXPECT_EQ(Refusal("good\n\xEF\xBB\xBFlate mark"),
            "lines.txt:2:1: the font has no U+FEFF (only the space and ! to ~)");
}

TEST(TextFile, BytesThatAreNotUtf8AreRefusedWhereTheyStand) {
  EXPECT_EQ(Refusal("ab\xE9 cd"), "lines.txt:1:3: byte 0xE9 is not UTF-8");  // Latin-1
  EXPECT_EQ(Refusal("\x80"), "lines.txt:1:1: byte 0x80 is not UTF-8");        // a stray continuation
  EXPECT_EQ(Refusal("a\xC0\xAF"), "lines.txt:1:2: byte 0xC0 is not UTF-8");   // overlong '/'
  EXPECT_EQ(Refusal("\xE0\x80\xAF"), "lines.txt:1:1: byte 0xE0 is not UTF-8");
  EXPECT_EQ(Refusal("\xED\xA0\x80"), "lines.txt:1:1: byte 0xED is not UTF-8");  // a surrogate
  EXPECT_EQ(Refusal("\xF4\x90\x80\x80"), "lines.txt:1:1: byte 0xF4 is not UTF-8");  // past U+10FFFF
  EXPECT_EQ(Refusal("ab\xE2\x82"), "lines.txt:1:3: byte 0xE2 is not UTF-8");  // cut short
  EXPECT_EQ(Refusal("\xE2\x82\nx"), "lines.txt:1:1: byte 0xE2 is not UTF-8");
}

TEST(TextFile, ALineWiderThanThePictureIsRefusedWithItsWidth) {
  // W is 30 pixels and M 29, each with a 1-pixel gap: 10 x 31 + 3 x 30 = 400 fits,
  // 11 x 31 + 2 x 30 = 401 does not.
  EXPECT_EQ(Read("WWWWWWWWWWMMM"), (std::vector<std::string>{"WWWWWWWWWWMMM", ""}));
  EXPECT_EQ(Refusal("fits\nWWWWWWWWWWWMM"), "lines.txt:2: the line is 401 pixels wide; the picture is 400");
  // Spaces count: 10 pixels each.
  EXPECT_EQ(Refusal(std::string(41, ' ') + "x"), "lines.txt:1: the line is 431 pixels wide; the picture is 400");
}

TEST(TextFile, AtMost256LinesOfText) {
  std::string text = "# comments and blank lines do not count\n\n";
  for (int i = 0; i < 256; ++i) text += "line\n";
  EXPECT_EQ(Read(text).size(), 257u);
  text += "# still fine\nline 257\n";
  EXPECT_EQ(Refusal(text), "lines.txt:260: more than 256 lines of text");
}

TEST(TextFile, AtMost64KiB) {
  std::string text = "x\n# " + std::string(65536 - 5, '.') + "\n";
  ASSERT_EQ(text.size(), 65536u);
  EXPECT_EQ(Read(text), (std::vector<std::string>{"x", ""}));
  EXPECT_EQ(Refusal(text + "\n"), "lines.txt: more than 64 KiB");
}

TEST(TextFile, NoLineOfTextIsRefused) {
  for (const char* text : {"", "\n\n", "# only a comment\n \t\r\n", "\xEF\xBB\xBF"})
    EXPECT_EQ(Refusal(text), "lines.txt: no lines of text") << text;
}

}  // namespace
}  // namespace lumenfall

// The native programs' command-line vocabulary: the grammar, the numbers, and the
// effect's options with the settings word they make, and the files that options name.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell/options.h"

namespace lumenfall {
namespace {

constexpr OptionSpec kSpecs[] = {{"root", false}, {"delay", true}};

// Scans args and returns "name=value;" for each option, or "error: ..." at a mistake.
std::string Scan(std::vector<const char*> args) {
  args.insert(args.begin(), "program");
  OptionScanner scanner(int(args.size()), args.data(), kSpecs);
  std::string seen;
  ScannedOption option;
  while (scanner.Next(option)) seen += std::string(option.name) + "=" + std::string(option.value) + ";";
  if (!scanner.error().empty()) return "error: " + scanner.error();
  return seen;
}

TEST(OptionGrammar, OneOrTwoDashesAndTheValueNextOrAfterEquals) {
  EXPECT_EQ(Scan({"-root", "--root", "-delay", "5", "--delay=6", "-delay=", "--delay", "-x"}),
            "root=;root=;delay=5;delay=6;delay=;delay=-x;");
  EXPECT_EQ(Scan({"--bogus=3"}), "error: unknown option '--bogus' (try --help)");
  EXPECT_EQ(Scan({"--bogus"}), "error: unknown option '--bogus' (try --help)");
  EXPECT_EQ(Scan({"--roots"}), "error: unknown option '--roots' (try --help)");  // no prefixes
  EXPECT_EQ(Scan({"-"}), "error: unknown option '-' (try --help)");
  EXPECT_EQ(Scan({"--"}), "error: unknown option '--' (try --help)");
  EXPECT_EQ(Scan({"---root"}), "error: unknown option '---root' (try --help)");
  EXPECT_EQ(Scan({"root"}), "error: unexpected argument 'root' (try --help)");
  EXPECT_EQ(Scan({"--root=1"}), "error: option --root takes no value");
  EXPECT_EQ(Scan({"--root", "-delay"}), "error: option --delay needs a value");
  EXPECT_EQ(Scan({"--root", nullptr}), "error: missing argument");
}

TEST(OptionGrammar, ArgumentsInMessagesStayShortAndOnOneLine) {
  EXPECT_EQ(QuotedArgument("a\nb\xff"), "'a\\x0ab\\xff'");
  EXPECT_EQ(QuotedArgument(std::string(50, 'z')), "'" + std::string(40, 'z') + "...'");
}

TEST(OptionGrammar, NumbersInDecimalAndHexFittingThirtyTwoBits) {
  uint32_t v = 0;
  EXPECT_TRUE(ParseNumber("0", v));
  EXPECT_EQ(v, 0u);
  EXPECT_TRUE(ParseNumber("4294967295", v));
  EXPECT_EQ(v, 0xFFFFFFFFu);
  EXPECT_TRUE(ParseNumber("0x10000004", v));
  EXPECT_EQ(v, 0x10000004u);
  EXPECT_TRUE(ParseNumber("0XfFfFfFfF", v));
  EXPECT_EQ(v, 0xFFFFFFFFu);
  EXPECT_TRUE(ParseNumber("0xdeadBEEF", v));
  EXPECT_EQ(v, 0xDEADBEEFu);
  EXPECT_TRUE(ParseNumber("010", v));  // decimal, not octal
  EXPECT_EQ(v, 10u);
  EXPECT_TRUE(ParseNumber("000012", v));
  EXPECT_EQ(v, 12u);
  for (const char* bad : {"", "-1", "+1", " 1", "1 ", "1x", "x1", "0x", "0x1g", "4294967296",
                          "0x100000000", "0x0000000100000000", "99999999999999999999", "1.5",
                          "1e3", "x10"}) {
    v = 12345;
    EXPECT_FALSE(ParseNumber(bad, v)) << bad;
    EXPECT_EQ(v, 12345u) << bad;
  }
}

// Takes every option as the effect's and resolves them: the setup, or the mistake.
std::string Effect(std::vector<std::pair<const char*, const char*>> options, EffectSetup& setup) {
  EffectChoices choices;
  std::string error;
  for (const auto& [name, value] : options) {
    EXPECT_TRUE(TakeEffectOption(ScannedOption{name, value}, choices, error)) << name;
    if (!error.empty()) return error;
  }
  ResolveEffect(choices, setup, error);
  return error;
}

TEST(EffectOptions, TheSettingsWordFromFlagsTextSetAndLowQuality) {
  EffectSetup s;
  EXPECT_EQ(Effect({}, s), "");
  EXPECT_EQ(s.flags, 1u);
  EXPECT_EQ(Effect({{"text-set", "malachi-red"}}, s), "");
  EXPECT_EQ(s.flags, 1u);
  EXPECT_EQ(Effect({{"text-set", "deep-blue"}}, s), "");
  EXPECT_EQ(s.flags, 4u);
  EXPECT_EQ(Effect({{"low-quality", ""}}, s), "");
  EXPECT_EQ(s.flags, 0x10000001u);
  EXPECT_EQ(Effect({{"flags", "2"}}, s), "");  // a selector that animates nothing is allowed
  EXPECT_EQ(s.flags, 2u);
  EXPECT_EQ(Effect({{"flags", "4294967295"}}, s), "");
  EXPECT_EQ(s.flags, 0xFFFFFFFFu);
  // The text set replaces only the low byte, before or after the word; the low-quality
  // bit goes on top.
  EXPECT_EQ(Effect({{"flags", "0x20000301"}, {"text-set", "deep-blue"}, {"low-quality", ""}}, s), "");
  EXPECT_EQ(s.flags, 0x30000304u);
  EXPECT_EQ(Effect({{"text-set", "deep-blue"}, {"flags", "0xABCD0101"}}, s), "");
  EXPECT_EQ(s.flags, 0xABCD0104u);
  EXPECT_EQ(Effect({{"text-set", "Deep-Blue"}}, s),
            "option --text-set must be malachi-red or deep-blue, not 'Deep-Blue'");
  EXPECT_EQ(Effect({{"text-set", "green"}}, s), "option --text-set must be malachi-red or deep-blue, not 'green'");
  for (const char* word : {"-1", "0x1FFFFFFFF", "4294967296", "one", "12abc"})
    EXPECT_EQ(Effect({{"flags", word}}, s), "option --flags needs a whole number from 0 to 4294967295 "
                                            "(decimal or 0x-hex), not '" + std::string(word) + "'");
  EXPECT_EQ(TextSetName(0x10000004), "deep-blue");
  EXPECT_EQ(TextSetName(0x101), "malachi-red");
  EXPECT_EQ(TextSetName(5), "");
  EffectChoices untouched;
  std::string error;
  EXPECT_FALSE(TakeEffectOption(ScannedOption{"delay", "5"}, untouched, error));
}

TEST(EffectOptions, DepthAndTheLayoutOfSixteenBits) {
  EffectSetup s;
  EXPECT_EQ(Effect({}, s), "");
  EXPECT_EQ(s.depth, 32u);
  EXPECT_EQ(s.layout, 565u);
  const std::pair<const char*, uint32_t> depths[] = {{"8", 8}, {"16", 16}, {"24", 24}, {"32", 32}};
  for (const auto& [text, depth] : depths) {
    EXPECT_EQ(Effect({{"depth", text}}, s), "");
    EXPECT_EQ(s.depth, depth);
    EXPECT_EQ(s.layout, 565u);
  }
  const std::pair<const char*, uint32_t> layouts[] = {{"565", 565}, {"555", 555}, {"556", 556}, {"655", 655}};
  for (const auto& [text, layout] : layouts) {  // the layout may come before the depth
    EXPECT_EQ(Effect({{"layout", text}, {"depth", "16"}}, s), "");
    EXPECT_EQ(s.layout, layout);
    EXPECT_EQ(s.depth, 16u);
  }
  for (const char* depth : {"0", "15", "64", "32x", "", "0x20"})
    EXPECT_EQ(Effect({{"depth", depth}}, s),
              "option --depth must be 8, 16, 24 or 32, not '" + std::string(depth) + "'");
  for (const char* layout : {"554", "444"})
    EXPECT_EQ(Effect({{"layout", layout}, {"depth", "16"}}, s),
              "option --layout must be 565, 555, 556 or 655, not '" + std::string(layout) + "'");
  EXPECT_EQ(Effect({{"layout", "555"}}, s), "option --layout applies only with --depth 16");
  EXPECT_EQ(Effect({{"depth", "24"}, {"layout", "555"}}, s), "option --layout applies only with --depth 16");
  EXPECT_EQ(Effect({{"depth", "32"}, {"layout", "565"}}, s), "option --layout applies only with --depth 16");
}

TEST(EffectOptions, ATextFileKeepsTheSetsColours) {
  EffectSetup s;
  EXPECT_EQ(Effect({}, s), "");
  EXPECT_EQ(s.textFile, "");
  EXPECT_EQ(Effect({{"text-file", "my lines.txt"}, {"text-set", "deep-blue"}}, s), "");
  EXPECT_EQ(s.textFile, "my lines.txt");
  EXPECT_EQ(s.flags, 4u);
  EXPECT_EQ(Effect({{"text-file", ""}}, s), "option --text-file needs a file name");
}

// A file that an option names: all of it, or one byte past the reader's limit; a file
// that cannot be read says why.
TEST(OptionFile, ReadsUpToOneBytePastTheLimit) {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumenfall-option-file-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path dir = pattern;
  const std::string path = (dir / "lines.txt").string();
  std::ofstream(path, std::ios::binary) << std::string(10000, 'a') << std::string("\0b", 2);
  std::string bytes, error = "stale";
  EXPECT_TRUE(ReadOptionFile(path, 10002, bytes, error));
  EXPECT_EQ(bytes, std::string(10000, 'a') + std::string("\0b", 2));
  EXPECT_TRUE(ReadOptionFile(path, 9000, bytes, error));
  EXPECT_EQ(bytes, std::string(9001, 'a'));
  EXPECT_TRUE(ReadOptionFile(path, 0, bytes, error));
  EXPECT_EQ(bytes, "a");

  EXPECT_FALSE(ReadOptionFile((dir / "none.txt").string(), 10, bytes, error));
  EXPECT_EQ(error, "cannot read '" + (dir / "none.txt").string() + "': No such file or directory");
  EXPECT_FALSE(ReadOptionFile(dir.string(), 10, bytes, error));
  EXPECT_EQ(error, "cannot read '" + dir.string() + "': Is a directory");
  EXPECT_EQ(bytes, "");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lumenfall

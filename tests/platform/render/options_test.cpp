// The renderer's command line: defaults, every accepted form and every refusal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/render/options.h"

namespace lumenfall {
namespace {

struct Parsed {
  bool ok = false;
  RenderOptions options;
  std::string error;
};

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "lumenfall-render");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  Parsed p;
  p.ok = ParseRenderOptions(static_cast<int>(argv.size()), argv.data(), p.options, p.error);
  return p;
}

TEST(RenderOptions, Defaults) {
  const Parsed p = Parse({"--out", "a.raw"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.flags, 1u);
  EXPECT_EQ(p.options.depth, 32u);
  EXPECT_EQ(p.options.frames, 250u);
  EXPECT_EQ(p.options.tickMs, 40u);
  EXPECT_EQ(p.options.startMs, 1000u);
  EXPECT_EQ(p.options.seed, 1000u);
  EXPECT_EQ(p.options.outWidth, 400u);
  EXPECT_EQ(p.options.outHeight, 300u);
  EXPECT_EQ(p.options.every, 1u);
  EXPECT_EQ(p.options.format, OutputFormat::Raw);
  EXPECT_FALSE(p.options.listLines);
  EXPECT_FALSE(p.options.help);
  EXPECT_FALSE(p.options.simd.has_value());
  EXPECT_EQ(Parse({"--simd", "mmx", "--out", "a.raw"}).options.simd, SimdLevel::Mmx);
  EXPECT_EQ(Parse({"--simd=none", "--out", "a.raw"}).options.simd, SimdLevel::None);
}

TEST(RenderOptions, SeedFollowsTheStartUnlessGiven) {
  EXPECT_EQ(Parse({"--start-ms", "77", "--out", "a.raw"}).options.seed, 77u);
  EXPECT_EQ(Parse({"--seed", "5", "--start-ms", "77", "--out", "a.raw"}).options.seed, 5u);
  EXPECT_EQ(Parse({"--start-ms", "77", "--seed", "0", "--out", "a.raw"}).options.seed, 0u);
}

// The effect's options are the shell's (tested there); here, that the renderer takes them.
TEST(RenderOptions, TakesTheEffectsOptions) {
  const Parsed p = Parse({"--low-quality", "--text-set", "deep-blue", "--layout", "555", "--depth", "16",
                          "--out", "a.raw"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.flags, 0x10000004u);
  EXPECT_EQ(p.options.depth, 16u);
  EXPECT_EQ(p.options.layout, 555u);
  const Parsed bad = Parse({"--depth", "15", "--out", "a.raw"});
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.error, "option --depth must be 8, 16, 24 or 32, not '15'");
}

TEST(RenderOptions, SizeAndEvery) {
  const Parsed p = Parse({"--size", "320x240", "--every", "2", "--out", "a.gif"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.outWidth, 320u);
  EXPECT_EQ(p.options.outHeight, 240u);
  EXPECT_EQ(p.options.every, 2u);
  uint32_t w = 0, h = 0;
  EXPECT_TRUE(ParseSize("1x1", w, h));
  EXPECT_TRUE(ParseSize("4096X4096", w, h));
  EXPECT_EQ(w, 4096u);
  for (const char* bad : {"", "x", "320", "320x", "x240", "0x240", "320x0", "4097x1", "1x4097",
                          "-1x5", "3 20x240", "320x240x2", "0x10x20", "320*240"}) {
    EXPECT_FALSE(ParseSize(bad, w, h)) << bad;
  }
}

TEST(RenderOptions, FormatFromTheName) {
  EXPECT_EQ(FormatForPath("a.raw"), OutputFormat::Raw);
  EXPECT_EQ(FormatForPath("dir/a.PNG"), OutputFormat::Png);
  EXPECT_EQ(FormatForPath("a.b.gif"), OutputFormat::Gif);
  EXPECT_EQ(FormatForPath("clip.y4m"), OutputFormat::Y4m);
  EXPECT_EQ(FormatForPath("-"), OutputFormat::Raw);
  EXPECT_EQ(FormatForPath("noext"), OutputFormat::Unset);
  EXPECT_EQ(FormatForPath("dir.png/noext"), OutputFormat::Unset);
  EXPECT_EQ(FormatForPath(".png"), OutputFormat::Unset);
  EXPECT_EQ(FormatForPath("a.jpg"), OutputFormat::Unset);
  // --format overrides the name.
  EXPECT_EQ(Parse({"--format", "y4m", "--out", "a.png"}).options.format, OutputFormat::Y4m);
  EXPECT_EQ(Parse({"--format=png", "--out", "frame"}).options.format, OutputFormat::Png);
}

TEST(RenderOptions, VersionNeedsNoOutputAndNamesTheProjectVersion) {
  const Parsed p = Parse({"--version"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_TRUE(p.options.version);
  EXPECT_FALSE(Parse({"--version=1"}).ok);
  EXPECT_EQ(RenderVersion(), "lumenfall-render " LUMENFALL_PROJECT_VERSION "\n");
}

TEST(RenderOptions, HelpAndListLinesNeedNoOutput) {
  EXPECT_TRUE(Parse({"--help"}).options.help);
  EXPECT_TRUE(Parse({"-h"}).options.help);
  const Parsed p = Parse({"--list-lines", "--text-set", "deep-blue"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_TRUE(p.options.listLines);
  EXPECT_EQ(p.options.flags, 4u);
}

TEST(RenderOptions, EveryMistakeIsRefusedWithAReason) {
  struct Case {
    std::vector<std::string> args;
    const char* mentions;
  };
  const Case cases[] = {
      {{"--bogus", "--out", "a.raw"}, "unknown option '--bogus'"},
      {{"--bogus=3", "--out", "a.raw"}, "unknown option '--bogus'"},
      {{"stray", "--out", "a.raw"}, "unexpected argument 'stray'"},
      {{"-x", "--out", "a.raw"}, "unknown option '-x'"},
      {{"--", "--out", "a.raw"}, "unknown option '--'"},
      {{"--out"}, "--out needs a value"},
      {{"--out="}, "--out needs a file name"},
      {{"--frames", "--out", "a.raw"}, "--frames needs a whole number"},
      {{"--seed", "4294967296", "--out", "a.raw"}, "--seed needs a whole number"},
      {{"--tick-ms", "", "--out", "a.raw"}, "--tick-ms needs a whole number"},
      {{"--frames", "0", "--out", "a.raw"}, "--frames must be from 1 to 200000, not 0"},
      {{"--frames", "200001", "--out", "a.raw"}, "--frames must be from 1 to 200000"},
      {{"--every", "0", "--out", "a.raw"}, "--every must be from 1"},
      {{"--frames", "3", "--every", "4", "--out", "a.raw"}, "--every 4 keeps none of 3 frames"},
      {{"--size", "0x0", "--out", "a.raw"}, "--size must be WIDTHxHEIGHT"},
      {{"--size", "5000x10", "--out", "a.raw"}, "--size must be"},
      {{"--format", "jpeg", "--out", "a.raw"}, "--format must be raw, png, gif or y4m"},
      {{"--simd", "SSE2", "--out", "a.raw"}, "--simd must be none, mmx, sse2 or avx2, not 'SSE2'"},
      {{"--low-quality=1", "--out", "a.raw"}, "--low-quality takes no value"},
      {{"--help=yes"}, "--help takes no value"},
      {{}, "no output"},
      {{"--frames", "3"}, "no output"},
      {{"--out", "picture.jpg"}, "cannot tell the format"},
      {{"--out", "-", "--format", "png", "--frames", "2"}, "PNG files cannot go to standard"},
  };
  for (const Case& c : cases) {
    const Parsed p = Parse(c.args);
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    EXPECT_FALSE(p.ok) << joined;
    EXPECT_NE(p.error.find(c.mentions), std::string::npos) << joined << "-> " << p.error;
    EXPECT_EQ(p.error.find('\n'), std::string::npos) << joined;
  }
}

TEST(RenderOptions, OddArgumentsStayOnOneLine) {
  const Parsed p = Parse({"--flags", "1\n2", "--out", "a.raw"});
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(p.error.find('\n'), std::string::npos);
  EXPECT_NE(p.error.find("\\x0a"), std::string::npos);
  const Parsed longOne = Parse({std::string(5000, 'z'), "--out", "a.raw"});
  EXPECT_FALSE(longOne.ok);
  EXPECT_LT(longOne.error.size(), 200u);
  // A null entry before argc is a malformed argv, not a crash.
  const char* argv[] = {"lumenfall-render", nullptr, "--out"};
  RenderOptions o;
  std::string error;
  EXPECT_FALSE(ParseRenderOptions(3, argv, o, error));
  EXPECT_FALSE(ParseRenderOptions(3, nullptr, o, error));
  EXPECT_TRUE(ParseRenderOptions(1, argv, o, error) == false);  // no --out
}

TEST(RenderOptions, ASinglePngMayGoToStandardOutput) {
  const Parsed p = Parse({"--out", "-", "--format", "png", "--frames", "5", "--every", "5"});
  EXPECT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.format, OutputFormat::Png);
}

}  // namespace
}  // namespace lumenfall

// lumenfall-render as a program: its output against an engine set up here by hand,
// file formats read back with their own libraries, refusals and all-or-nothing writes.
#include <fcntl.h>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "display/memory_surface.h"
#include "effect/blur/simd_level.h"
#include "effect/clock.h"
#include "effect/frame_sequencer.h"
#include "effect/memory_effect.h"
#include "effect/random.h"
#include "effect/text_sets.h"
#include "temp_folder.h"

#ifndef LUMENFALL_RENDER_BINARY
#error "LUMENFALL_RENDER_BINARY must name the built lumenfall-render"
#endif

namespace lumenfall {
namespace {

namespace fs = std::filesystem;

using testing::ReadAll;
using testing::TempFolder;

struct Result {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

struct Limits {
  long fileSizeLimit = -1;  // RLIMIT_FSIZE in bytes, with SIGXFSZ ignored
  int signalAfterMs = -1;   // SIGTERM after this long
  const char* simdEnvironment = nullptr;  // LUMENFALL_SIMD's value (null: unset)
};

Result RunRenderer(const std::vector<std::string>& args, const Limits& limits = {}) {
  TempFolder io;
  const std::string outPath = io / "stdout", errPath = io / "stderr";
  std::vector<std::string> all{LUMENFALL_RENDER_BINARY};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(99);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (limits.simdEnvironment != nullptr) setenv("LUMENFALL_SIMD", limits.simdEnvironment, 1);
    else unsetenv("LUMENFALL_SIMD");
    if (limits.fileSizeLimit >= 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit r{static_cast<rlim_t>(limits.fileSizeLimit),
                     static_cast<rlim_t>(limits.fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &r);
    }
    execv(argv[0], argv.data());
    _exit(98);
  }
  Result result;
  if (child < 0) return result;
  if (limits.signalAfterMs >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(limits.signalAfterMs));
    kill(child, SIGTERM);
  }
  int status = 0;
  waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadAll(outPath);
  result.err = ReadAll(errPath);
  return result;
}

// The run as the renderer must perform it: the in-memory effect seeded with S, frame k
// at T + k x M, ShowBuffer after every frame, or (every > 1) after frames every - 1,
// 2 x every - 1, ...; the sequencer given own lines directly when there are some; blurred
// by the plain loops with reference.
std::vector<uint8_t> ReferenceFrames(uint32_t flags, uint32_t bpp, uint32_t layout,
                                     uint32_t frames, uint32_t tick, uint32_t start,
                                     uint32_t seed, TextSet ownLines = nullptr,
                                     uint32_t every = 1, bool reference = false) {
  SimulatedClock clock(start);
  MemoryEffect effect(EmulatedFormat{bpp, layout}, clock, seed);
  if (reference) effect.Engine().blur.implementation = BlurImplementation::Reference;
  std::vector<uint8_t> all;
  for (uint32_t k = 0; k < frames; ++k) {
    clock.Set(start + k * tick);
    if (ownLines != nullptr) {
      FrameSequencer(effect.Engine(), flags, ownLines);
    } else {
      effect.Step(flags);
    }
    if ((k + 1) % every != 0) continue;
    all.insert(all.end(), effect.Show().Bytes().begin(), effect.Show().Bytes().end());
  }
  return all;
}

void ExpectOneErrorLine(const Result& r, int status, const std::string& mentions) {
  EXPECT_EQ(r.status, status) << r.err;
  EXPECT_EQ(r.err.rfind("lumenfall-render: ", 0), 0u) << r.err;
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  EXPECT_NE(r.err.find(mentions), std::string::npos) << r.err;
}

// A file of own lines, and the entries that it must give the sequencer.
constexpr char kOwnText[] = "# mine\nOur own words\n\n  second, spaced  \n";
const char* const kOwnLines[] = {"Our own words", "  second, spaced  ", "", nullptr};

TEST(RenderCli, RawFramesMatchTheEngineRunByHand) {
  TempFolder dir;
  std::ofstream(dir / "lines.txt") << kOwnText;
  struct Case {
    std::vector<std::string> args;
    uint32_t flags, bpp, layout, frames, tick, start, seed;
    TextSet ownLines = nullptr;
  };
  const Case cases[] = {
      {{"--frames", "40"}, 1, 32, 565, 40, 40, 1000, 1000},
      {{"--frames", "40", "--text-set", "deep-blue", "--depth", "16", "--layout", "655",
        "--seed", "99"},
       4, 16, 655, 40, 40, 1000, 99},
      {{"--frames", "20", "--depth", "8", "--low-quality", "--tick-ms", "57"},
       0x10000001, 8, 565, 20, 57, 1000, 1000},
      // Across the counter's wrap, at 24 bits, starting in the middle of a cycle.
      {{"--frames", "40", "--depth", "24", "--start-ms", "4294966296", "--tick-ms", "33"},
       1, 24, 565, 40, 33, 4294966296u, 4294966296u},
      // Own lines with Deep Blue's colours, at 200 ms a frame through both lines, the
      // empty entry and back to the first.
      {{"--frames", "90", "--tick-ms", "200", "--text-file", dir / "lines.txt", "--text-set",
        "deep-blue", "--depth", "16"},
       4, 16, 565, 90, 200, 1000, 1000, kOwnLines},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    const std::string out = dir / "run.raw";
    args.insert(args.end(), {"--out", out});
    const Result r = RunRenderer(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;  // no progress line when stderr is not a terminal
    const std::string bytes = ReadAll(out);
    ASSERT_EQ(bytes.size(), size_t{c.frames} * 400 * 300 * (c.bpp / 8));
    const std::vector<uint8_t> expected =
        ReferenceFrames(c.flags, c.bpp, c.layout, c.frames, c.tick, c.start, c.seed, c.ownLines);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                           reinterpret_cast<const uint8_t*>(bytes.data())))
        << "depth " << c.bpp;
    EXPECT_NE(bytes.find_first_not_of('\0'), std::string::npos);  // the text shows
  }
}

// The same bytes at every vector level the machine has, as LUMENFALL_SIMD or --simd asks:
// those of the plain loops, late in the first line's burn-in, at every depth and blur.
TEST(RenderCli, EveryVectorLevelGivesTheReferenceFrames) {
  TempFolder dir;
  struct Case {
    std::vector<std::string> args;
    uint32_t flags, bpp, layout;
  };
  const Case cases[] = {
      {{"--depth", "32"}, 1, 32, 565},
      {{"--depth", "32", "--low-quality", "--text-set", "deep-blue"}, 0x10000004, 32, 565},
      {{"--depth", "24", "--text-set", "deep-blue"}, 4, 24, 565},
      {{"--depth", "24", "--low-quality"}, 0x10000001, 24, 565},
      {{"--depth", "16", "--layout", "565", "--low-quality"}, 0x10000001, 16, 565},
      {{"--depth", "16", "--layout", "655", "--text-set", "deep-blue"}, 4, 16, 655},
      {{"--depth", "8"}, 1, 8, 565},
  };
  const SimdLevel levels[] = {SimdLevel::None, SimdLevel::Mmx, SimdLevel::Sse2, SimdLevel::Avx2};
  for (const Case& c : cases) {
    const std::vector<uint8_t> expected = ReferenceFrames(c.flags, c.bpp, c.layout, 90, 40, 1000,
                                                          1000, nullptr, 45, true);
    for (SimdLevel level : levels) {
      if (level > DetectedSimdLevel()) continue;
      std::vector<std::string> args = c.args;
      args.insert(args.end(), {"--frames", "90", "--every", "45", "--out", dir / "run.raw"});
      // Half the levels through the environment, half through the option.
      Limits how;
      if (level == SimdLevel::None || level == SimdLevel::Sse2) {
        how.simdEnvironment = SimdLevelName(level);
      } else {
        args.insert(args.end(), {"--simd", SimdLevelName(level)});
      }
      const Result r = RunRenderer(args, how);
      ASSERT_EQ(r.status, 0) << r.err;
      const std::string bytes = ReadAll(dir / "run.raw");
      ASSERT_EQ(bytes.size(), expected.size());
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                             reinterpret_cast<const uint8_t*>(bytes.data())))
          << "depth " << c.bpp << ", flags " << c.flags << ", level " << SimdLevelName(level);
    }
  }
}

TEST(RenderCli, DeterministicAndTheSameOnStandardOutput) {
  TempFolder dir;
  const std::vector<std::string> common{"--frames", "25", "--depth", "16", "--seed", "7"};
  std::vector<std::string> a = common, b = common, c = common;
  a.insert(a.end(), {"--out", dir / "a.raw"});
  b.insert(b.end(), {"--out", dir / "b.raw"});
  c.insert(c.end(), {"--out", "-"});
  ASSERT_EQ(RunRenderer(a).status, 0);
  ASSERT_EQ(RunRenderer(b).status, 0);
  const Result toStdout = RunRenderer(c);
  ASSERT_EQ(toStdout.status, 0) << toStdout.err;
  const std::string first = ReadAll(dir / "a.raw");
  EXPECT_EQ(first.size(), 25u * 400 * 300 * 2);
  EXPECT_EQ(first, ReadAll(dir / "b.raw"));
  EXPECT_EQ(first, toStdout.out);
}

TEST(RenderCli, EveryAndSizeChooseAndStretchTheFrames) {
  TempFolder dir;
  const Result r = RunRenderer({"--frames", "9", "--every", "3", "--size", "123x77", "--out",
                        dir / "s.raw", "--text-set", "deep-blue"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string bytes = ReadAll(dir / "s.raw");
  ASSERT_EQ(bytes.size(), 3u * 123 * 77 * 4);
  const std::vector<uint8_t> all = ReferenceFrames(4, 32, 565, 9, 40, 1000, 1000);
  const size_t frameBytes = 400 * 300 * 4;
  size_t bad = 0;
  for (uint32_t kept = 0; kept < 3; ++kept) {
    const uint32_t k = 3 * kept + 2;  // the 3rd, 6th and 9th frame
    for (uint32_t y = 0; y < 77; ++y) {
      for (uint32_t x = 0; x < 123; ++x) {
        const uint32_t sx = (2 * x + 1) * 400 / (2 * 123), sy = (2 * y + 1) * 300 / (2 * 77);
        const size_t got = (size_t{kept} * 77 * 123 + size_t{y} * 123 + x) * 4;
        const size_t want = k * frameBytes + (size_t{sy} * 400 + sx) * 4;
        bad += std::memcmp(bytes.data() + got, all.data() + want, 4) != 0;
      }
    }
  }
  EXPECT_EQ(bad, 0u);
}

struct PngBack {
  bool ok = false;
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

PngBack ReadPng(const std::string& path) {
  PngBack back;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return back;
  image.format = PNG_FORMAT_RGB;
  back.rgb.resize(PNG_IMAGE_SIZE(image));
  back.ok = png_image_finish_read(&image, nullptr, back.rgb.data(), 0, nullptr) != 0;
  back.width = image.width;
  back.height = image.height;
  return back;
}

TEST(RenderCli, PngFramesAreTheDisplayColoursOfTheRawFrames) {
  TempFolder dir;
  struct Case {
    uint32_t bpp, layout;
  };
  for (const Case c : {Case{16, 555}, Case{16, 565}, Case{8, 0}, Case{32, 0}}) {
    SCOPED_TRACE(c.bpp);
    std::vector<std::string> args{"--frames", "80", "--every", "80", "--depth",
                                  std::to_string(c.bpp), "--size", "200x150"};
    if (c.layout != 0) args.insert(args.end(), {"--layout", std::to_string(c.layout)});
    std::vector<std::string> png = args, raw = args;
    png.insert(png.end(), {"--out", dir / "f.png"});
    raw.insert(raw.end(), {"--out", dir / "f.raw"});
    ASSERT_EQ(RunRenderer(png).status, 0);
    ASSERT_EQ(RunRenderer(raw).status, 0);
    const PngBack back = ReadPng(dir / "f.png");
    ASSERT_TRUE(back.ok);
    ASSERT_EQ(back.width, 200u);
    ASSERT_EQ(back.height, 150u);
    const std::string native = ReadAll(dir / "f.raw");
    const uint32_t bytes = c.bpp / 8;
    ASSERT_EQ(native.size(), 200u * 150 * bytes);
    uint32_t r = 0, g = 0, b = 0;
    if (c.bpp == 16) MasksForLayout(c.layout, r, g, b);
    DisplayState display;
    SetupDisplayState(display, 400, 300, c.bpp, r, g, b);
    size_t bad = 0, lit = 0;
    for (size_t i = 0; i < size_t{200} * 150; ++i) {
      uint8_t rgb[3];
      PixelToRgb(display, reinterpret_cast<const uint8_t*>(native.data()) + i * bytes, rgb);
      bad += std::memcmp(rgb, &back.rgb[i * 3], 3) != 0;
      lit += rgb[0] | rgb[1] | rgb[2] ? 1 : 0;
    }
    EXPECT_EQ(bad, 0u);
    EXPECT_GT(lit, 1000u);  // frame 79 burns a line in: the comparison is not of black
    EXPECT_EQ(std::remove((dir / "f.png").c_str()), 0);
    EXPECT_EQ(std::remove((dir / "f.raw").c_str()), 0);
  }
  EXPECT_TRUE(dir.Names().empty());
}

TEST(RenderCli, APngSeriesIsNumberedByFrame) {
  TempFolder dir;
  const Result r = RunRenderer({"--frames", "6", "--every", "2", "--out", dir / "shot.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Names(),
            (std::vector<std::string>{"shot-00001.png", "shot-00003.png", "shot-00005.png"}));
  EXPECT_TRUE(ReadPng(dir / "shot-00003.png").ok);
}

TEST(RenderCli, GifAndY4mCarryTheirFramesAndTiming) {
  TempFolder dir;
  Result r = RunRenderer({"--frames", "10", "--every", "5", "--size", "100x75", "--out", dir / "a.gif"});
  ASSERT_EQ(r.status, 0) << r.err;
  int error = 0;
  GifFileType* gif = DGifOpenFileName((dir / "a.gif").c_str(), &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  EXPECT_EQ(gif->SWidth, 100);
  EXPECT_EQ(gif->SHeight, 75);
  EXPECT_EQ(gif->ImageCount, 2);
  GraphicsControlBlock gcb;
  ASSERT_EQ(DGifSavedExtensionToGCB(gif, 1, &gcb), GIF_OK);
  EXPECT_EQ(gcb.DelayTime, 20);  // 5 frames of 40 ms
  DGifCloseFile(gif, &error);

  r = RunRenderer({"--frames", "4", "--tick-ms", "30", "--every", "2", "--size", "64x48", "--out",
           dir / "v.y4m"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string y4m = ReadAll(dir / "v.y4m");
  const std::string header = "YUV4MPEG2 W64 H48 F50:3 Ip A1:1 C420jpeg XYSCSS=420JPEG\n";
  ASSERT_EQ(y4m.substr(0, header.size()), header);  // 1000 / 60 frames a second
  EXPECT_EQ(y4m.size(), header.size() + 2 * (6 + 64 * 48 * 3 / 2));
}

TEST(RenderCli, MistakesExitTwoWithOneLineAndWriteNothing) {
  TempFolder dir;
  const std::string out = dir / "x.raw";
  ExpectOneErrorLine(RunRenderer({"--frames", "0", "--out", out}), 2, "--frames");
  ExpectOneErrorLine(RunRenderer({"--frames", "12x", "--out", out}), 2, "'12x'");
  ExpectOneErrorLine(RunRenderer({"--depth", "12", "--out", out}), 2, "--depth");
  ExpectOneErrorLine(RunRenderer({"--layout", "555", "--out", out}), 2, "--depth 16");
  ExpectOneErrorLine(RunRenderer({"--size", "99999x1", "--out", out}), 2, "--size");
  ExpectOneErrorLine(RunRenderer({"--whatever", "--out", out}), 2, "unknown option '--whatever'");
  ExpectOneErrorLine(RunRenderer({"--out", dir / "x.bmp"}), 2, "cannot tell the format");
  ExpectOneErrorLine(RunRenderer({}), 2, "no output");
  // A text file that cannot be used, for any of the reasons that its reading gives.
  TempFolder texts;
  std::ofstream(texts / "bad.txt") << "fine\nna\xC3\xAFve\n";
  ExpectOneErrorLine(RunRenderer({"--text-file", texts / "bad.txt", "--out", out}), 2,
                     (texts / "bad.txt").string() + ":2:3: the font has no U+00EF");
  ExpectOneErrorLine(RunRenderer({"--text-file", texts / "none.txt", "--out", out}), 2,
                     "cannot read '" + (texts / "none.txt").string() + "'");
  ExpectOneErrorLine(RunRenderer({"--simd", "sse3", "--out", out}), 2,
                     "--simd must be none, mmx, sse2 or avx2, not 'sse3'");
  Limits badLevel;
  badLevel.simdEnvironment = "AVX2";
  ExpectOneErrorLine(RunRenderer({"--out", out}, badLevel), 2,
                     "LUMENFALL_SIMD must be none, mmx, sse2 or avx2, not 'AVX2'");
  EXPECT_TRUE(dir.Names().empty());
}

TEST(RenderCli, AFailedWriteLeavesNoFileAndNoTemporary) {
  TempFolder dir;
  // The folder does not exist.
  ExpectOneErrorLine(RunRenderer({"--frames", "2", "--out", dir / "none/x.raw"}), 1, "none/x.raw");
  // The file system refuses more than 100 kB half-way through the first frame.
  Limits small;
  small.fileSizeLimit = 100000;
  ExpectOneErrorLine(RunRenderer({"--frames", "5", "--out", dir / "big.raw"}, small), 1, "big.raw");
  Limits tiny;
  tiny.fileSizeLimit = 3000;  // even black 800 x 600 GIF frames pass that within 30
  ExpectOneErrorLine(RunRenderer({"--frames", "30", "--size", "800x600", "--out", dir / "big.gif"}, tiny),
                     1, "big.gif");
  ExpectOneErrorLine(RunRenderer({"--frames", "5", "--out", dir / "big.y4m"}, small), 1, "big.y4m");
  EXPECT_TRUE(dir.Names().empty());
  // The name is taken by a folder: the rename at the end fails.
  fs::create_directory(dir / "taken.raw");
  std::ofstream(dir / "taken.raw/keep") << "x";
  ExpectOneErrorLine(RunRenderer({"--frames", "2", "--out", dir / "taken.raw"}), 1, "taken.raw");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"taken.raw"});
  EXPECT_EQ(ReadAll(dir / "taken.raw/keep"), "x");
  // A PNG series that fails part-way takes back the frames it already wrote.
  fs::create_directory(dir / "shot-00003.png");
  std::ofstream(dir / "shot-00003.png/keep") << "x";
  ExpectOneErrorLine(RunRenderer({"--frames", "6", "--every", "2", "--out", dir / "shot.png"}), 1,
                     "shot-00003.png");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"shot-00003.png", "taken.raw"}));
}

TEST(RenderCli, AnInterruptedRunLeavesNothing) {
  TempFolder dir;
  Limits stop;
  stop.signalAfterMs = 300;
  const Result r =
      RunRenderer({"--frames", "200000", "--every", "200000", "--out", dir / "long.gif"}, stop);
  ExpectOneErrorLine(r, 130, "interrupted");
  EXPECT_TRUE(dir.Names().empty());
}

TEST(RenderCli, ListLinesPrintsTheSelectedSet) {
  for (const auto& [args, set] :
       std::vector<std::pair<std::vector<std::string>, TextSet>>{
           {{"--list-lines"}, MalachiRedText},
           {{"--list-lines", "--text-set", "deep-blue"}, DeepBlueText},
           {{"--flags", "0x10000004", "--list-lines"}, DeepBlueText}}) {
    std::string expected;
    for (int i = 0; set[i] != nullptr; ++i) expected += std::string(set[i]) + "\n";
    const Result r = RunRenderer(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
    EXPECT_TRUE(r.err.empty());
  }
  // The empty final entry is an empty last line.
  const Result red = RunRenderer({"--list-lines"});
  ASSERT_GE(red.out.size(), 3u);
  EXPECT_EQ(red.out.substr(red.out.size() - 3), "]\n\n");
  // A word that selects no set has no lines.
  const Result none = RunRenderer({"--list-lines", "--flags", "2"});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "");
  // Own lines in place of the set, with the empty final entry.
  TempFolder dir;
  std::ofstream(dir / "lines.txt") << kOwnText;
  const Result own = RunRenderer({"--list-lines", "--text-file", dir / "lines.txt"});
  EXPECT_EQ(own.status, 0) << own.err;
  EXPECT_EQ(own.out, "Our own words\n  second, spaced  \n\n");
}

TEST(RenderCli, HelpGoesToStandardOutput) {
  const Result r = RunRenderer({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: lumenfall-render", 0), 0u);
  EXPECT_NE(r.out.find("--list-lines"), std::string::npos);
  EXPECT_TRUE(r.err.empty());
}

}  // namespace
}  // namespace lumenfall

// The command line of lumenfall-render: what to run, at which display format and
// simulated times, and where the frames go. Parsing is kept apart from the program so
// that every rule can be tested on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "effect/blur/simd_level.h"
#include "effect/text_file.h"
#include "shell/options.h"

namespace lumenfall {

enum class OutputFormat { Unset, Raw, Png, Gif, Y4m };

// Upper limits, so that a typing mistake cannot ask for hours of work or gigabytes of
// memory (the most frames, kMaxRenderFrames, is the simulated run's: shell/options.h).
constexpr uint32_t kMaxOutputSide = 4096;

constexpr uint32_t kDefaultRenderFrames = 250;  // 10 s at the default tick

struct RenderOptions {
  uint32_t flags = 1;           // the settings word
  uint32_t depth = 32;          // bits per pixel of the emulated display
  uint32_t layout = 565;        // 16-bit channel layout (565, 555, 556, 655)
  std::string textFile;         // --text-file, or empty
  OwnTextSet lines;             // its lines, read by the program (not by the parser)
  uint32_t frames = kDefaultRenderFrames;
  uint32_t tickMs = kDefaultTickMs;
  uint32_t startMs = kDefaultStartMs;
  uint32_t seed = kDefaultStartMs;  // follows startMs unless given
  std::string outPath;          // "-" is standard output
  OutputFormat format = OutputFormat::Unset;  // resolved from outPath when not given
  uint32_t outWidth = 400;
  uint32_t outHeight = 300;
  uint32_t every = 1;           // keep every K-th frame: k = K-1, 2K-1, ...
  std::optional<SimdLevel> simd;  // the cap on the blur's vector level (--simd)
  bool listLines = false;
  bool help = false;
  bool version = false;
};

// Parses argv[1 .. argc-1]. On success fills options (format resolved, seed defaulted)
// and returns true; otherwise returns false with a one-line reason in error. A text
// file is only named here; the program reads it.
// With --help or --list-lines the output options are not required.
bool ParseRenderOptions(int argc, const char* const* argv, RenderOptions& options,
                        std::string& error);

// "WxH" with both sides from 1 to kMaxOutputSide.
bool ParseSize(std::string_view text, uint32_t& width, uint32_t& height);

// The format that a file name's extension implies (.raw, .png, .gif, .y4m, case
// ignored; "-" means raw), or Unset.
OutputFormat FormatForPath(std::string_view path);

std::string_view FormatName(OutputFormat format);

// The --help text.
std::string RenderUsage();

// The --version text: the program's name and version, one line.
std::string RenderVersion();

}  // namespace lumenfall

#include "platform/render/options.h"

#include "lumenfall/version.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "shell/options.h"
#include "shell/simd_choice.h"

namespace lumenfall {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

struct Pending {
  std::optional<uint32_t> frames, tickMs, startMs, seed, every;
  EffectChoices effect;
  std::optional<std::string> outPath;
  std::optional<OutputFormat> format;
  std::optional<std::pair<uint32_t, uint32_t>> size;
};

bool NumberOption(std::string_view name, std::string_view value, std::optional<uint32_t>& slot,
                  std::string& error) {
  uint32_t v = 0;
  if (!ParseNumber(value, v)) {
    error = NumberError(name, value);
    return false;
  }
  slot = v;
  return true;
}

bool RangeCheck(std::string_view name, uint32_t value, uint32_t low, uint32_t high,
                std::string& error) {
  if (value >= low && value <= high) return true;
  error = "option --" + std::string(name) + " must be from " + std::to_string(low) + " to " +
          std::to_string(high) + ", not " + std::to_string(value);
  return false;
}

}  // namespace

bool ParseSize(std::string_view text, uint32_t& width, uint32_t& height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return false;
  const std::string_view w = text.substr(0, x), h = text.substr(x + 1);
  // Plain decimal on both sides: "0x10" is not a width.
  for (std::string_view side : {w, h}) {
    if (side.empty()) return false;
    for (char c : side)
      if (c < '0' || c > '9') return false;
  }
  uint32_t wv = 0, hv = 0;
  if (!ParseNumber(w, wv) || !ParseNumber(h, hv)) return false;
  if (wv < 1 || wv > kMaxOutputSide || hv < 1 || hv > kMaxOutputSide) return false;
  width = wv;
  height = hv;
  return true;
}

OutputFormat FormatForPath(std::string_view path) {
  if (path == "-") return OutputFormat::Raw;
  const size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return OutputFormat::Unset;
  const std::string_view ext = name.substr(dot + 1);
  if (EqualsIgnoringCase(ext, "raw")) return OutputFormat::Raw;
  if (EqualsIgnoringCase(ext, "png")) return OutputFormat::Png;
  if (EqualsIgnoringCase(ext, "gif")) return OutputFormat::Gif;
  if (EqualsIgnoringCase(ext, "y4m")) return OutputFormat::Y4m;
  return OutputFormat::Unset;
}

std::string_view FormatName(OutputFormat format) {
  switch (format) {
    case OutputFormat::Raw: return "raw";
    case OutputFormat::Png: return "png";
    case OutputFormat::Gif: return "gif";
    case OutputFormat::Y4m: return "y4m";
    case OutputFormat::Unset: break;
  }
  return "unset";
}

bool ParseRenderOptions(int argc, const char* const* argv, RenderOptions& options,
                        std::string& error) {
  options = RenderOptions{};
  error.clear();
  Pending p;

  constexpr OptionSpec kRenderSpecs[] = {
      {"frames", true}, {"tick-ms", true}, {"start-ms", true}, {"seed", true},
      {"out", true},    {"format", true},  {"size", true},     {"every", true},
      {"list-lines", false}, {"help", false}, {"h", false}, {"version", false},
      {"simd", true},
  };
  OptionSpec specs[std::size(kRenderSpecs) + std::size(kEffectOptionSpecs)];
  std::copy(std::begin(kRenderSpecs), std::end(kRenderSpecs), specs);
  std::copy(std::begin(kEffectOptionSpecs), std::end(kEffectOptionSpecs),
            specs + std::size(kRenderSpecs));

  OptionScanner scanner(argc, argv, specs);
  ScannedOption option;
  while (scanner.Next(option)) {
    const std::string_view name = option.name, value = option.value;
    if (TakeEffectOption(option, p.effect, error)) {
      if (!error.empty()) return false;
    } else if (name == "help" || name == "h") {
      options.help = true;
    } else if (name == "version") {
      options.version = true;
    } else if (name == "list-lines") {
      options.listLines = true;
    } else if (name == "frames") {
      if (!NumberOption(name, value, p.frames, error)) return false;
    } else if (name == "tick-ms") {
      if (!NumberOption(name, value, p.tickMs, error)) return false;
    } else if (name == "start-ms") {
      if (!NumberOption(name, value, p.startMs, error)) return false;
    } else if (name == "seed") {
      if (!NumberOption(name, value, p.seed, error)) return false;
    } else if (name == "every") {
      if (!NumberOption(name, value, p.every, error)) return false;
    } else if (name == "out") {
      if (value.empty()) {
        error = "option --out needs a file name or - for standard output";
        return false;
      }
      p.outPath = std::string(value);
    } else if (name == "format") {
      OutputFormat f = OutputFormat::Unset;
      if (value == "raw") f = OutputFormat::Raw;
      if (value == "png") f = OutputFormat::Png;
      if (value == "gif") f = OutputFormat::Gif;
      if (value == "y4m") f = OutputFormat::Y4m;
      if (f == OutputFormat::Unset) {
        error = "option --format must be raw, png, gif or y4m, not " + QuotedArgument(value);
        return false;
      }
      p.format = f;
    } else if (name == "simd") {
      SimdLevel level;
      if (!ParseSimdOption(value, level, error)) return false;
      options.simd = level;
    } else if (name == "size") {
      uint32_t w = 0, h = 0;
      if (!ParseSize(value, w, h)) {
        error = "option --size must be WIDTHxHEIGHT with each side from 1 to " +
                std::to_string(kMaxOutputSide) + ", not " + QuotedArgument(value);
        return false;
      }
      p.size = std::make_pair(w, h);
    }
  }
  if (!scanner.error().empty()) {
    error = scanner.error();
    return false;
  }

  EffectSetup setup;
  if (!ResolveEffect(p.effect, setup, error)) return false;
  options.flags = setup.flags;
  options.depth = setup.depth;
  options.layout = setup.layout;
  options.textFile = setup.textFile;
  if (p.frames) {
    if (!RangeCheck("frames", *p.frames, 1, kMaxRenderFrames, error)) return false;
    options.frames = *p.frames;
  }
  if (p.every) {
    if (!RangeCheck("every", *p.every, 1, kMaxRenderFrames, error)) return false;
    options.every = *p.every;
  }
  if (p.tickMs) options.tickMs = *p.tickMs;
  if (p.startMs) options.startMs = *p.startMs;
  options.seed = p.seed ? *p.seed : options.startMs;
  if (p.size) {
    options.outWidth = p.size->first;
    options.outHeight = p.size->second;
  }
  if (p.outPath) options.outPath = *p.outPath;
  if (options.help || options.version || options.listLines) return true;

  if (options.outPath.empty()) {
    error = "no output: give --out FILE (or --out - for standard output)";
    return false;
  }
  options.format = p.format ? *p.format : FormatForPath(options.outPath);
  if (options.format == OutputFormat::Unset) {
    error = "cannot tell the format from the name " + QuotedArgument(options.outPath) +
            "; give --format raw, png, gif or y4m";
    return false;
  }
  const uint32_t kept = options.frames / options.every;
  if (kept == 0) {
    error = "option --every " + std::to_string(options.every) + " keeps none of " +
            std::to_string(options.frames) + " frames";
    return false;
  }
  if (options.outPath == "-" && options.format == OutputFormat::Png) {
    if (kept != 1) {
      error = "a series of PNG files cannot go to standard output";
      return false;
    }
  }
  return true;
}

std::string RenderUsage() {
  return std::string(R"(Usage: lumenfall-render [options] --out FILE
Runs the Lumenfall effect on a simulated clock and writes its frames.

The effect:
)") + std::string(EffectOptionsHelp()) + R"(
The clock:
  --frames N          frames to run, 1 to 200000 (default 250)
  --tick-ms M         milliseconds between frames (default 40)
  --start-ms T        tick count of frame 0 (default 1000); frame k runs at T + k x M,
                      wrapping at 2^32
  --seed S            seed of the random zoom rectangles (default T)

The output:
  --out PATH          the output file; - is standard output (raw, y4m, gif, or png of
                      a single frame). Files are written under a temporary name and
                      renamed when complete.
  --format F          raw, png, gif or y4m (default from the extension of PATH:
                      .raw .png .gif .y4m; - means raw)
                        raw  every kept frame's pixels in the display format, rows of
                             1 byte, 2 bytes little-endian, 3 bytes B,G,R or 4 bytes
                             B,G,R,X per pixel, appended frame after frame
                        png  RGB; one kept frame goes to PATH, several to numbered files
                             NAME-00000.png, NAME-00001.png, ... named by frame number
                        gif  an animation that loops, 256 colours chosen per frame
                        y4m  a YUV4MPEG2 stream (4:2:0, BT.601 video range) for ffmpeg
  --size WxH          stretch every frame to W x H, each side 1 to 4096 (default 400x300),
                      with the nearest-neighbour sampling of the screen presentation
  --every K           keep every K-th frame: frames K-1, 2K-1, ... counting from 0
                      (default 1: all). --frames 101 --every 101 keeps frame 100 alone.

Other:
  --simd LEVEL        run the blur's kernels at most at LEVEL: none, mmx, sse2 or avx2
                      (default: LUMENFALL_SIMD, else the best the processor has); the
                      frames are the same at every level
  --list-lines        print the text set (or the lines of --text-file, with the
                      final empty entry), one entry per line, and exit
  --help, -h          this text
  --version           the version number

Options take one dash or two; a value may also follow '='.
Exit status: 0 done, 1 an output that could not be written (nothing is left behind),
2 a mistake on the command line or a --text-file that cannot be used, 130 interrupted.
)";
}

std::string RenderVersion() { return "lumenfall-render " LUMENFALL_VERSION_STRING "\n"; }

}  // namespace lumenfall

#include "platform/render/options.h"

#include "lumenfall/version.h"

#include <optional>

namespace lumenfall {

namespace {

std::string Quoted(std::string_view text) {
  // Long or unprintable arguments are cut and escaped so that the message stays one line.
  std::string out = "'";
  size_t shown = 0;
  for (char c : text) {
    if (shown == 40) {
      out += "...";
      break;
    }
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7F) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    } else {
      out += c;
    }
    ++shown;
  }
  out += "'";
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

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
  std::optional<uint32_t> flags, depth, layout, frames, tickMs, startMs, seed, every;
  std::optional<uint32_t> textSetSelector;
  bool lowQuality = false;
  std::optional<std::string> outPath;
  std::optional<OutputFormat> format;
  std::optional<std::pair<uint32_t, uint32_t>> size;
};

bool NumberOption(std::string_view name, std::string_view value, std::optional<uint32_t>& slot,
                  std::string& error) {
  uint32_t v = 0;
  if (!ParseUnsigned32(value, v)) {
    error = "--" + std::string(name) + " needs a whole number from 0 to 4294967295, not " +
            Quoted(value);
    return false;
  }
  slot = v;
  return true;
}

bool RangeCheck(std::string_view name, uint32_t value, uint32_t low, uint32_t high,
                std::string& error) {
  if (value >= low && value <= high) return true;
  error = "--" + std::string(name) + " must be from " + std::to_string(low) + " to " +
          std::to_string(high) + ", not " + std::to_string(value);
  return false;
}

}  // namespace

bool ParseUnsigned32(std::string_view text, uint32_t& value) {
  if (text.empty()) return false;
  uint64_t v = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    for (char c : text.substr(2)) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      v = v * 16 + uint64_t(d);
      if (v > 0xFFFFFFFFull) return false;
    }
  } else {
    for (char c : text) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + uint64_t(c - '0');
      if (v > 0xFFFFFFFFull) return false;
    }
  }
  value = static_cast<uint32_t>(v);
  return true;
}

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
  if (!ParseUnsigned32(w, wv) || !ParseUnsigned32(h, hv)) return false;
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

  for (int i = 1; i < argc; ++i) {
    if (argv == nullptr || argv[i] == nullptr) {
      error = "missing argument";
      return false;
    }
    const std::string_view arg = argv[i];
    if (arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg.size() < 3 || arg.substr(0, 2) != "--") {
      error = "unexpected argument " + Quoted(arg) + " (see --help)";
      return false;
    }
    std::string_view name = arg.substr(2);
    std::optional<std::string_view> inlineValue;
    if (const size_t eq = name.find('='); eq != std::string_view::npos) {
      inlineValue = name.substr(eq + 1);
      name = name.substr(0, eq);
    }

    // Switches without a value.
    if (name == "help" || name == "version" || name == "list-lines" || name == "low-quality") {
      if (inlineValue) {
        error = "--" + std::string(name) + " takes no value";
        return false;
      }
      if (name == "help") options.help = true;
      if (name == "version") options.version = true;
      if (name == "list-lines") options.listLines = true;
      if (name == "low-quality") p.lowQuality = true;
      continue;
    }

    static constexpr std::string_view kValued[] = {"flags", "text-set", "depth",  "layout",
                                                   "frames", "tick-ms", "start-ms", "seed",
                                                   "out",   "format",   "size",    "every"};
    bool known = false;
    for (std::string_view k : kValued) known = known || k == name;
    if (!known) {
      error = "unknown option " + Quoted(arg.substr(0, 2 + name.size())) + " (see --help)";
      return false;
    }
    std::string_view value;
    if (inlineValue) {
      value = *inlineValue;
    } else {
      if (i + 1 >= argc || argv[i + 1] == nullptr) {
        error = "--" + std::string(name) + " needs a value";
        return false;
      }
      value = argv[++i];
    }

    if (name == "flags") {
      if (!NumberOption(name, value, p.flags, error)) return false;
    } else if (name == "depth") {
      if (!NumberOption(name, value, p.depth, error)) return false;
    } else if (name == "layout") {
      if (!NumberOption(name, value, p.layout, error)) return false;
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
    } else if (name == "text-set") {
      if (value == "malachi-red") {
        p.textSetSelector = 1;
      } else if (value == "deep-blue") {
        p.textSetSelector = 4;
      } else {
        error = "--text-set must be malachi-red or deep-blue, not " + Quoted(value);
        return false;
      }
    } else if (name == "out") {
      if (value.empty()) {
        error = "--out needs a file name or - for standard output";
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
        error = "--format must be raw, png, gif or y4m, not " + Quoted(value);
        return false;
      }
      p.format = f;
    } else if (name == "size") {
      uint32_t w = 0, h = 0;
      if (!ParseSize(value, w, h)) {
        error = "--size must be WIDTHxHEIGHT with each side from 1 to " +
                std::to_string(kMaxOutputSide) + ", not " + Quoted(value);
        return false;
      }
      p.size = std::make_pair(w, h);
    }
  }

  // The settings word: --flags, then the set's low byte and the low-quality bit on top.
  if (p.flags) options.flags = *p.flags;
  if (p.textSetSelector) options.flags = (options.flags & ~0xFFu) | *p.textSetSelector;
  if (p.lowQuality) options.flags |= 0x10000000u;

  if (p.depth) {
    const uint32_t d = *p.depth;
    if (d != 8 && d != 16 && d != 24 && d != 32) {
      error = "--depth must be 8, 16, 24 or 32, not " + std::to_string(d);
      return false;
    }
    options.depth = d;
  }
  if (p.layout) {
    const uint32_t l = *p.layout;
    if (l != 565 && l != 555 && l != 556 && l != 655) {
      error = "--layout must be 565, 555, 556 or 655, not " + std::to_string(l);
      return false;
    }
    if (options.depth != 16) {
      error = "--layout applies only at --depth 16";
      return false;
    }
    options.layout = l;
  }
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
    error = "cannot tell the format from the name " + Quoted(options.outPath) +
            "; give --format raw, png, gif or y4m";
    return false;
  }
  const uint32_t kept = options.frames / options.every;
  if (kept == 0) {
    error = "--every " + std::to_string(options.every) + " keeps none of " +
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
  return R"(Usage: lumenfall-render [options] --out FILE
Runs the Lumenfall effect on a simulated clock and writes its frames.

The effect:
  --flags WORD          settings word, decimal or 0x-hex (default 1). Its low byte picks
                        the text set: 1 Malachi Red, 4 Deep Blue; any other value runs no
                        frame step and every frame stays black.
  --text-set NAME       malachi-red or deep-blue: sets the low byte of the word to 1 or 4
  --low-quality         the faster, rougher blur (adds 0x10000000 to the word)
  --depth BITS          emulated display depth: 8, 16, 24 or 32 (default 32)
  --layout L            16-bit layout: 565, 555, 556 or 655 (default 565; only at 16 bits)

The clock:
  --frames N            frames to run, 1 to 200000 (default 250)
  --tick-ms M           milliseconds between frames (default 40)
  --start-ms T          tick count of frame 0 (default 1000); frame k runs at T + k x M,
                        wrapping at 2^32
  --seed S              seed of the random zoom rectangles (default T)

The output:
  --out PATH            the output file; - is standard output (raw, y4m, gif, or png of
                        a single frame). Files are written under a temporary name and
                        renamed when complete.
  --format F            raw, png, gif or y4m (default from the extension of PATH:
                        .raw .png .gif .y4m; - means raw)
                          raw  every kept frame's pixels in the display format, rows of
                               1 byte, 2 bytes little-endian, 3 bytes B,G,R or 4 bytes
                               B,G,R,X per pixel, appended frame after frame
                          png  RGB; one kept frame goes to PATH, several to numbered files
                               NAME-00000.png, NAME-00001.png, ... named by frame number
                          gif  an animation that loops, 256 colours chosen per frame
                          y4m  a YUV4MPEG2 stream (4:2:0, BT.601 video range) for ffmpeg
  --size WxH            stretch every frame to W x H, each side 1 to 4096 (default 400x300),
                        with the nearest-neighbour sampling of the screen presentation
  --every K             keep every K-th frame: frames K-1, 2K-1, ... counting from 0
                        (default 1: all). --frames 101 --every 101 keeps frame 100 alone.

Other:
  --list-lines          print the selected text set, one entry per line, and exit
  --help, -h            this text
  --version             the version number

Exit status: 0 done, 2 a mistake on the command line, 1 an output that could not be
written (nothing is left behind), 130 interrupted.
)";
}

std::string RenderVersion() { return "lumenfall-render " LUMENFALL_VERSION_STRING "\n"; }

}  // namespace lumenfall

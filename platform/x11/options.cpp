#include "platform/x11/options.h"

#include <cstring>
#include <optional>
#include <string_view>

#include "settings/settings_word.h"

namespace lumenfall {

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

uint32_t HexValue(char c) {
  if (c >= '0' && c <= '9') return uint32_t(c - '0');
  if (c >= 'a' && c <= 'f') return uint32_t(c - 'a' + 10);
  return uint32_t(c - 'A' + 10);
}

// The option's name without its one or two leading dashes, and an inline "=value".
struct Split {
  std::string_view name;
  std::optional<std::string_view> value;
};

std::optional<Split> SplitOption(std::string_view arg) {
  if (arg.size() < 2 || arg[0] != '-') return std::nullopt;
  arg.remove_prefix(arg[1] == '-' ? 2 : 1);
  if (arg.empty() || arg[0] == '-') return std::nullopt;
  Split split;
  const size_t eq = arg.find('=');
  if (eq == std::string_view::npos) {
    split.name = arg;
  } else {
    split.name = arg.substr(0, eq);
    split.value = arg.substr(eq + 1);
  }
  return split;
}

enum class Kind { Flag, Value };

struct OptionSpec {
  const char* name;
  Kind kind;
};

constexpr OptionSpec kSpecs[] = {
    {"window", Kind::Flag},        {"fullscreen", Kind::Flag}, {"root", Kind::Flag},
    {"window-id", Kind::Value},    {"text-set", Kind::Value},  {"low-quality", Kind::Flag},
    {"flags", Kind::Value},        {"depth", Kind::Value},     {"layout", Kind::Value},
    {"fps", Kind::Flag},           {"delay", Kind::Value},     {"display", Kind::Value},
    {"help", Kind::Flag},          {"h", Kind::Flag},
    {"background", Kind::Flag},    {"overlay", Kind::Flag},    {"wayland", Kind::Flag},
    {"x11", Kind::Flag},
};

const OptionSpec* FindSpec(std::string_view name) {
  for (const OptionSpec& spec : kSpecs)
    if (name == spec.name) return &spec;
  return nullptr;
}

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.push_back('\'');
  quoted.append(text);
  quoted.push_back('\'');
  return quoted;
}

OptionsResult Fail(std::string message) {
  OptionsResult result;
  result.error = std::move(message);
  return result;
}

}  // namespace

bool ParseWord(const char* text, uint32_t& value) {
  if (text == nullptr || *text == '\0') return false;
  uint64_t v = 0;
  const char* p = text;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    p += 2;
    if (*p == '\0') return false;
    for (; *p != '\0'; ++p) {
      if (!IsHexDigit(*p)) return false;
      v = v * 16 + HexValue(*p);
      if (v > 0xFFFFFFFFu) return false;
    }
  } else {
    for (; *p != '\0'; ++p) {
      if (*p < '0' || *p > '9') return false;
      v = v * 10 + uint32_t(*p - '0');
      if (v > 0xFFFFFFFFu) return false;
    }
  }
  value = static_cast<uint32_t>(v);
  return true;
}

OptionsResult ParseOptions(int argc, const char* const* argv, const char* screensaverWindow) {
  SaverOptions o;
  std::optional<OutputMode> mode;
  std::string modeName;
  std::optional<uint32_t> flagsWord;
  std::optional<uint32_t> selector;
  std::optional<uint32_t> layout;
  bool lowQuality = false;

  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i] != nullptr ? argv[i] : "";
    const std::optional<Split> split = SplitOption(arg);
    if (!split) {
      if (arg == "-" || arg == "--" || (arg.size() > 2 && arg.substr(0, 3) == "---"))
        return Fail("unknown option " + Quoted(arg) + " (try --help)");
      return Fail("unexpected argument " + Quoted(arg) + " (try --help)");
    }
    const OptionSpec* spec = FindSpec(split->name);
    if (spec == nullptr) return Fail("unknown option " + Quoted(arg) + " (try --help)");
    const std::string name = "--" + std::string(split->name);

    std::string value;
    if (spec->kind == Kind::Flag) {
      if (split->value) return Fail("option " + name + " takes no value");
    } else if (split->value) {
      value = std::string(*split->value);
    } else {
      if (i + 1 >= argc || argv[i + 1] == nullptr) return Fail("option " + name + " needs a value");
      value = argv[++i];
    }

    const std::string_view n = split->name;
    if (n == "window" || n == "fullscreen" || n == "root" || n == "window-id" ||
        n == "background" || n == "overlay") {
      const OutputMode m = n == "window"       ? OutputMode::OwnWindow
                           : n == "fullscreen" ? OutputMode::FullScreen
                           : n == "root"       ? OutputMode::Root
                           : n == "background" ? OutputMode::Background
                           : n == "overlay"    ? OutputMode::Overlay
                                               : OutputMode::ForeignWindow;
      if (mode && *mode != m)
        return Fail("options " + modeName + " and " + name + " cannot be used together");
      mode = m;
      modeName = name;
      if (m == OutputMode::ForeignWindow) {
        uint32_t id = 0;
        if (!ParseWord(value.c_str(), id) || id == 0)
          return Fail("option --window-id needs a window id (decimal or 0x-hex), not " + Quoted(value));
        o.windowId = id;
      }
    } else if (n == "text-set") {
      if (value == "malachi-red") {
        selector = kSelectorMalachiRed;
      } else if (value == "deep-blue") {
        selector = kSelectorDeepBlue;
      } else {
        return Fail("option --text-set takes malachi-red or deep-blue, not " + Quoted(value));
      }
    } else if (n == "low-quality") {
      lowQuality = true;
    } else if (n == "flags") {
      uint32_t word = 0;
      if (!ParseWord(value.c_str(), word))
        return Fail("option --flags needs a 32-bit number (decimal or 0x-hex), not " + Quoted(value));
      flagsWord = word;
    } else if (n == "depth") {
      if (value == "8" || value == "16" || value == "24" || value == "32") {
        o.depth = uint32_t(std::stoul(value));
      } else {
        return Fail("option --depth takes 8, 16, 24 or 32, not " + Quoted(value));
      }
    } else if (n == "layout") {
      if (value == "565" || value == "555" || value == "556" || value == "655") {
        layout = uint32_t(std::stoul(value));
      } else {
        return Fail("option --layout takes 565, 555, 556 or 655, not " + Quoted(value));
      }
    } else if (n == "fps") {
      o.showFps = true;
    } else if (n == "delay") {
      uint32_t delay = 0;
      if (!ParseWord(value.c_str(), delay) || delay > kMaxDelayMicroseconds)
        return Fail("option --delay takes microseconds from 0 to 10000000, not " + Quoted(value));
      o.delayMicroseconds = delay;
    } else if (n == "display") {
      if (value.empty()) return Fail("option --display needs a display name");
      o.displayName = value;
    } else if (n == "help" || n == "h") {
      o.help = true;
    } else if (n == "wayland" || n == "x11") {
      const Backend b = n == "wayland" ? Backend::Wayland : Backend::X11;
      if (o.backend != Backend::Auto && o.backend != b)
        return Fail("options --wayland and --x11 cannot be used together");
      o.backend = b;
    }
  }

  // The layer modes exist only on Wayland, the X windows only on X11.
  if (mode && (*mode == OutputMode::Background || *mode == OutputMode::Overlay) &&
      o.backend == Backend::X11)
    return Fail("option " + modeName + " needs Wayland and cannot be used with --x11");
  if (mode && (*mode == OutputMode::Root || *mode == OutputMode::ForeignWindow) &&
      o.backend == Backend::Wayland)
    return Fail("option " + modeName + " needs X11 and cannot be used with --wayland");

  if (layout) {
    if (o.depth != 16) return Fail("option --layout applies only with --depth 16");
    o.layout = *layout;
  }

  o.flags = flagsWord.value_or(kDefaultFlags);
  if (selector) o.flags = (o.flags & ~uint32_t{0xFF}) | *selector;
  if (lowQuality) o.flags |= kLowQualityFlag;

  // XSCREENSAVER_WINDOW names the window unless the command line chose another output.
  const bool envNamesWindow = screensaverWindow != nullptr && *screensaverWindow != '\0' &&
                              o.backend != Backend::Wayland;
  if (!mode || *mode == OutputMode::Root) {
    if (envNamesWindow) {
      uint32_t id = 0;
      if (!ParseWord(screensaverWindow, id) || id == 0)
        return Fail("XSCREENSAVER_WINDOW is not a window id: " + Quoted(screensaverWindow));
      o.mode = OutputMode::ForeignWindow;
      o.windowId = id;
      o.windowFromEnvironment = true;
    } else {
      o.mode = mode.value_or(OutputMode::OwnWindow);
    }
  } else {
    o.mode = *mode;
  }

  OptionsResult result;
  result.ok = true;
  result.options = o;
  return result;
}

std::string UsageText() {
  return "Usage: lumenfall [options]\n"
         "Lines of text fade in, burn into a zooming, blurring trail and die away.\n"
         "\n"
         "Where to draw (one of):\n"
         "  --window            a window of its own (the default)\n"
         "  --fullscreen        the whole screen; mouse movement, a button or a key ends it\n"
         "  --root              the root window (or the window in $XSCREENSAVER_WINDOW)\n"
         "  --window-id ID      an existing window, decimal or 0x-hex\n"
         "  --background        Wayland: a live wallpaper on every output\n"
         "  --overlay           Wayland: over everything on every output; input ends it\n"
         "\n"
         "The effect:\n"
         "  --text-set NAME     malachi-red (fades through red, the default) or deep-blue\n"
         "  --low-quality       the faster, rougher blur\n"
         "  --flags WORD        the whole settings word, decimal or 0x-hex\n"
         "  --depth BITS        run the effect at 8, 16, 24 or 32 bits per pixel (32)\n"
         "  --layout CODE       the 16-bit channel layout: 565, 555, 556 or 655 (565)\n"
         "  --delay USEC        microseconds between frames (40000)\n"
         "  --fps               show frames per second in a corner\n"
         "  --display NAME      the X display to use\n"
         "  --wayland, --x11    talk Wayland or X11 (Wayland when WAYLAND_DISPLAY is set)\n"
         "  --help              this text\n"
         "\n"
         "Options take one dash or two; a value may also follow '='.\n";
}

}  // namespace lumenfall

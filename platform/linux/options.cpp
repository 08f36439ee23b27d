#include "platform/linux/options.h"

#include "lumenfall/version.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string_view>

#include "shell/options.h"

namespace lumenfall {

namespace {

constexpr OptionSpec kSaverSpecs[] = {
    {"window", false},   {"fullscreen", false}, {"root", false}, {"window-id", true},
    {"fps", false},      {"delay", true},       {"display", true}, {"help", false},
    {"h", false},        {"no-render", false},  {"version", false},
    {"background", false}, {"overlay", false},  {"wayland", false}, {"x11", false},
};

OptionsResult Fail(std::string message) {
  OptionsResult result;
  result.error = std::move(message);
  return result;
}

}  // namespace

OptionsResult ParseOptions(int argc, const char* const* argv, const char* screensaverWindow) {
  OptionSpec specs[std::size(kSaverSpecs) + std::size(kEffectOptionSpecs)];
  std::copy(std::begin(kSaverSpecs), std::end(kSaverSpecs), specs);
  std::copy(std::begin(kEffectOptionSpecs), std::end(kEffectOptionSpecs),
            specs + std::size(kSaverSpecs));

  SaverOptions o;
  std::optional<OutputMode> mode;
  std::string modeName;
  EffectChoices effect;
  OptionScanner scanner(argc, argv, specs);
  ScannedOption option;
  while (scanner.Next(option)) {
    const std::string_view n = option.name;
    const std::string name = "--" + std::string(n);
    std::string error;
    if (TakeEffectOption(option, effect, error)) {
      if (!error.empty()) return Fail(error);
    } else if (n == "window" || n == "fullscreen" || n == "root" || n == "window-id" ||
               n == "background" || n == "overlay") {
      const OutputMode m = n == "window"       ? OutputMode::OwnWindow
                           : n == "fullscreen" ? OutputMode::FullScreen
                           : n == "root"       ? OutputMode::Root
                           : n == "background" ? OutputMode::Background
                           : n == "overlay"    ? OutputMode::Overlay
                                               : OutputMode::ForeignWindow;
      // xscreensaver's settings window previews a hack by adding --window-id to its
      // command line, which for a saver is usually --root: the window wins.
      const bool windowForRoot = mode && ((*mode == OutputMode::Root && m == OutputMode::ForeignWindow) ||
                                          (*mode == OutputMode::ForeignWindow && m == OutputMode::Root));
      if (mode && *mode != m && !windowForRoot)
        return Fail("options " + modeName + " and " + name + " cannot be used together");
      if (windowForRoot && m == OutputMode::Root) continue;
      mode = m;
      modeName = name;
      if (m == OutputMode::ForeignWindow) {
        uint32_t id = 0;
        if (!ParseNumber(option.value, id) || id == 0)
          return Fail("option --window-id needs a window id (decimal or 0x-hex), not " +
                      QuotedArgument(option.value));
        o.windowId = id;
      }
    } else if (n == "wayland" || n == "x11") {
      const Backend b = n == "wayland" ? Backend::Wayland : Backend::X11;
      if (o.backend != Backend::Auto && o.backend != b)
        return Fail("options --wayland and --x11 cannot be used together");
      o.backend = b;
    } else if (n == "fps") {
      o.showFps = true;
    } else if (n == "delay") {
      uint32_t delay = 0;
      if (!ParseNumber(option.value, delay) || delay > kMaxDelayMicroseconds)
        return Fail("option --delay takes microseconds from 0 to 10000000, not " +
                    QuotedArgument(option.value));
      o.delayMicroseconds = delay;
    } else if (n == "display") {
      if (option.value.empty()) return Fail("option --display needs a display name");
      o.displayName = std::string(option.value);
    } else if (n == "no-render") {
      o.serverScaling = false;
    } else if (n == "version") {
      o.version = true;
    } else if (n == "help" || n == "h") {
      o.help = true;
    }
  }
  if (!scanner.error().empty()) return Fail(scanner.error());

  // The layer modes exist only on Wayland, the X windows only on X11.
  if (mode && (*mode == OutputMode::Background || *mode == OutputMode::Overlay) &&
      o.backend == Backend::X11)
    return Fail("option " + modeName + " needs Wayland and cannot be used with --x11");
  if (mode && (*mode == OutputMode::Root || *mode == OutputMode::ForeignWindow) &&
      o.backend == Backend::Wayland)
    return Fail("option " + modeName + " needs X11 and cannot be used with --wayland");

  EffectSetup setup;
  std::string error;
  if (!ResolveEffect(effect, setup, error)) return Fail(error);
  o.flags = setup.flags;
  o.depth = setup.depth;
  o.layout = setup.layout;
  o.textFile = setup.textFile;

  // XSCREENSAVER_WINDOW names the window unless the command line chose another output.
  const bool envNamesWindow = screensaverWindow != nullptr && *screensaverWindow != '\0' &&
                              o.backend != Backend::Wayland;
  if (!mode || *mode == OutputMode::Root) {
    if (envNamesWindow) {
      uint32_t id = 0;
      if (!ParseNumber(screensaverWindow, id) || id == 0)
        return Fail("XSCREENSAVER_WINDOW is not a window id: " + QuotedArgument(screensaverWindow));
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
  return std::string(
             "Usage: lumenfall [options]\n"
             "Lines of text fade in, burn into a zooming, blurring trail and die away.\n"
             "\n"
             "Where to draw (one of):\n"
             "  --window            a window of its own (the default)\n"
             "  --fullscreen        the whole screen; mouse movement, a button or a key ends it\n"
             "  --root              the root window (or the window in $XSCREENSAVER_WINDOW)\n"
             "  --window-id ID      an existing window, decimal or 0x-hex\n"
             "  --background        Wayland: a live wallpaper on every output\n"
             "  --overlay           Wayland: over everything on every output; input ends it\n"
             "  --wayland, --x11    talk Wayland or X11 (Wayland when WAYLAND_DISPLAY is set)\n"
             "\n"
             "The effect:\n") +
         std::string(EffectOptionsHelp()) +
         "  --delay USEC        microseconds between frames (40000)\n"
         "  --fps               show frames per second in a corner\n"
         "  --no-render         stretch the picture here, not in the X server\n"
         "  --display NAME      the X display to use\n"
         "  --help              this text\n"
         "  --version           the version number\n"
         "\n"
         "Options take one dash or two; a value may also follow '='.\n"
         "Exit status: 0 after a normal end, 1 after an error, 2 for a mistake on the\n"
         "command line or a --text-file that cannot be used.\n";
}

std::string VersionText() { return "lumenfall " LUMENFALL_VERSION_STRING "\n"; }

}  // namespace lumenfall

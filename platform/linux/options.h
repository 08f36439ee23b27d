// Command line of the Linux saver, in the native programs' grammar (shell/options.h).
// Plain C++, no X headers, so that every rule and every error of the parser can be
// tested without a display.
#pragma once

#include <cstdint>
#include <string>

#include "effect/text_file.h"

namespace lumenfall {

enum class OutputMode {
  OwnWindow,   // a window of our own (the default)
  FullScreen,  // a full-screen window with the saver's closing rules
  Root,        // the root window of the default screen
  ForeignWindow,  // a window somebody else created, named by id
  Background,  // Wayland: a live wallpaper on every output's background layer
  Overlay,     // Wayland: every output's overlay layer, ending on input like FullScreen
};

// Which windowing system to talk to: Auto takes Wayland when WAYLAND_DISPLAY is set
// and the mode does not name an X window, X11 otherwise.
enum class Backend { Auto, Wayland, X11 };

struct SaverOptions {
  OutputMode mode = OutputMode::OwnWindow;
  unsigned long windowId = 0;          // ForeignWindow only
  bool windowFromEnvironment = false;  // the id came from XSCREENSAVER_WINDOW
  uint32_t flags = 1;                  // the settings word
  uint32_t depth = 32;                 // the pixel depth the effect runs in
  uint32_t layout = 565;               // the 16-bit channel layout (depth 16 only)
  std::string textFile;                // --text-file, or empty
  OwnTextSet lines;                    // its lines, read by the program (not by the parser)
  bool showFps = false;
  bool serverScaling = true;           // the X server stretches the picture (RENDER)
  uint32_t delayMicroseconds = 40000;  // one tick
  std::string displayName;             // empty: $DISPLAY
  bool help = false;
  bool version = false;
  Backend backend = Backend::Auto;
};

struct OptionsResult {
  bool ok = false;
  SaverOptions options;
  std::string error;  // one line, without the program's "lumenfall: " prefix
};

constexpr uint32_t kMaxDelayMicroseconds = 10000000;  // ten seconds a tick at most

// Parses argv[1..argc-1]. screensaverWindow is the value of XSCREENSAVER_WINDOW, or null
// when it is not set: it names the window to draw into unless --window, --fullscreen or
// --window-id says otherwise.
OptionsResult ParseOptions(int argc, const char* const* argv, const char* screensaverWindow);

// The --help text.
std::string UsageText();

// The --version text: the program's name and version, one line.
std::string VersionText();

}  // namespace lumenfall

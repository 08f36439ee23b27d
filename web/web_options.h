// The web page's choices, read from its address (?set=deep-blue&depth=16&...), so that
// a link carries a setting. Every parameter has a safe meaning: a value that cannot be
// used keeps the default and adds a reason to one line that the page shows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "effect/text_file.h"
#include "settings/settings_word.h"
#include "shell/options.h"

namespace lumenfall {

// The simulated clock, as lumenfall-render runs it by default: frame k at
// kWebStartMs + k x kWebTickMs, the generator seeded with the start. At most
// kMaxRenderFrames frames are asked for, as of the renderer.
constexpr uint32_t kWebStartMs = kDefaultStartMs;
constexpr uint32_t kWebTickMs = kDefaultTickMs;

// The most text that the text parameter takes: its lines must fit in a link that every
// common web server accepts (about 8 KB), also with every byte escaped as %XX.
constexpr size_t kMaxWebTextBytes = 2048;

struct WebOptions {
  SaverFlags flags = kDefaultFlags;  // text set and blur quality
  uint32_t depth = 32;               // emulated bits per pixel
  uint32_t layout = 565;             // channel layout at 16 bits
  uint32_t seed = kWebStartMs;
  uint32_t frames = 0;               // 0: live; N: run N simulated frames, then stop
  bool bare = false;                 // the canvas alone, one CSS pixel per picture pixel
  std::string text;                  // own lines as given, or empty: the text set's own
  OwnTextSet lines;                  // what they hold
};

// Reads a query string (with or without the leading '?'). Fills options from the
// defaults and the parameters; message is empty, or one line naming every parameter
// that was ignored and why. Returns true when message is empty.
bool ParseWebQuery(std::string_view query, WebOptions& options, std::string& message);

// The query string that gives options back (only what differs from the defaults).
std::string WebQuery(const WebOptions& options);

}  // namespace lumenfall

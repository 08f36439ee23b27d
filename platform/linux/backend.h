// Which windowing system the Linux saver talks to. Plain C++, testable without either.
#pragma once

#include "platform/linux/options.h"

namespace lumenfall {

// Wayland or X11 (never Auto) for the parsed options and the value of WAYLAND_DISPLAY
// (null when unset): the command line decides first; then the modes that exist on one
// system only (an X window to draw into, the layers); then whether a Wayland
// compositor is announced.
inline Backend ChooseBackend(const SaverOptions& options, const char* waylandDisplay) {
  if (options.backend != Backend::Auto) return options.backend;
  switch (options.mode) {
    case OutputMode::Root:
    case OutputMode::ForeignWindow: return Backend::X11;
    case OutputMode::Background:
    case OutputMode::Overlay: return Backend::Wayland;
    case OutputMode::OwnWindow:
    case OutputMode::FullScreen: break;
  }
  return waylandDisplay != nullptr && *waylandDisplay != '\0' ? Backend::Wayland : Backend::X11;
}

}  // namespace lumenfall

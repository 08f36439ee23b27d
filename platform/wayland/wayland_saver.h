// The Wayland front end of the saver: a window, full screen on every output, or a
// layer (wallpaper or overlay) on every output.
#pragma once

#include "platform/linux/options.h"

namespace lumenfall {

// Runs the saver until it is told to stop; the process's exit code (0 after a normal
// end, the compositor's going away included; 1 after an error, reported on standard
// error in one line).
int RunWaylandSaver(const SaverOptions& options);

}  // namespace lumenfall

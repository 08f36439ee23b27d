// The X11 front end of the saver.
#pragma once

#include "platform/linux/options.h"

namespace lumenfall {

// Runs the saver until it is told to stop; the process's exit code (0 after a normal
// end, 1 after an error, which has been reported on standard error).
int RunX11Saver(const SaverOptions& options);

}  // namespace lumenfall

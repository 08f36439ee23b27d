// The program built without the Wayland client library: the Wayland modes explain
// themselves in one line.
#include <cstdio>

#include "platform/wayland/wayland_saver.h"

namespace lumenfall {

int RunWaylandSaver(const SaverOptions&) {
  std::fputs("lumenfall: this program was built without Wayland support (try --x11)\n", stderr);
  return 1;
}

}  // namespace lumenfall

// Where the pictures go on a screen of several monitors: the rectangles that the X
// server names, made into a sound list. Plain numbers, no X headers.
#pragma once

#include <cstdint>
#include <vector>

namespace lumenfall {

struct MonitorRect {
  int32_t x = 0;  // from the window's top left corner
  int32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;

  bool operator==(const MonitorRect&) const = default;
};

// The areas that each get the whole picture, in a window of width x height pixels that
// lies at the screen's origin. Each monitor is clipped to the window; one of zero size
// (or wholly outside) is skipped; a repeated rectangle (mirrored outputs) counts once;
// a monitor that holds another one within it (the whole of a screen split into
// several monitors) is left to the ones within. When nothing is left, the whole window.
std::vector<MonitorRect> LayOutMonitors(const std::vector<MonitorRect>& monitors, uint32_t width,
                                        uint32_t height);

}  // namespace lumenfall

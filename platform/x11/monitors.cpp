#include "platform/x11/monitors.h"

#include <algorithm>

namespace lumenfall {

namespace {

bool Contains(const MonitorRect& outer, const MonitorRect& inner) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         int64_t{inner.x} + inner.width <= int64_t{outer.x} + outer.width &&
         int64_t{inner.y} + inner.height <= int64_t{outer.y} + outer.height;
}

}  // namespace

std::vector<MonitorRect> LayOutMonitors(const std::vector<MonitorRect>& monitors, uint32_t width,
                                        uint32_t height) {
  std::vector<MonitorRect> clipped;
  for (const MonitorRect& m : monitors) {
    const int64_t left = std::max<int64_t>(m.x, 0);
    const int64_t top = std::max<int64_t>(m.y, 0);
    const int64_t right = std::min<int64_t>(int64_t{m.x} + m.width, width);
    const int64_t bottom = std::min<int64_t>(int64_t{m.y} + m.height, height);
    if (right <= left || bottom <= top) continue;
    const MonitorRect r{int32_t(left), int32_t(top), uint32_t(right - left), uint32_t(bottom - top)};
    if (std::find(clipped.begin(), clipped.end(), r) == clipped.end()) clipped.push_back(r);
  }
  std::vector<MonitorRect> areas;
  for (const MonitorRect& m : clipped) {
    const bool holdsAnother = std::any_of(clipped.begin(), clipped.end(), [&](const MonitorRect& o) {
      return !(o == m) && Contains(m, o);
    });
    if (!holdsAnother) areas.push_back(m);
  }
  if (areas.empty() && width > 0 && height > 0) areas.push_back(MonitorRect{0, 0, width, height});
  return areas;
}

}  // namespace lumenfall

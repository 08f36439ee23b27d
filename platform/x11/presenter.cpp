#include "platform/x11/presenter.h"

#include <X11/extensions/XShm.h>

#include <algorithm>

namespace lumenfall {

bool ServerHasSharedMemory(Display* display) {
  int major = 0, minor = 0;
  Bool pixmaps = False;
  return XShmQueryExtension(display) && XShmQueryVersion(display, &major, &minor, &pixmaps);
}

StripPresenter::StripPresenter(Display* display, Drawable drawable, GC gc, Visual* visual, int depth,
                               bool shm)
    : drawable_(drawable), gc_(gc), image_(display, visual, depth, shm) {}

bool StripPresenter::Show(VisualConverter& picture, const std::vector<MonitorRect>& areas) {
  // One band per area, stacked, so that no area's rows overwrite another's before the
  // server has read them.
  uint32_t width = 0, rows = 0;
  bandRows_.clear();
  for (const MonitorRect& area : areas) {
    width = std::max(width, area.width);
    bandRows_.push_back(picture.DistinctRows(area.height));
    rows += bandRows_.back();
  }
  if (!image_.Resize(width, rows)) return false;
  if (image_.BitsPerPixel() != int(picture.BytesPerPixel() * 8)) return false;
  uint32_t firstRow = 0;
  for (size_t i = 0; i < areas.size(); ++i) {
    const MonitorRect& area = areas[i];
    uint8_t* band = image_.Pixels() + size_t{firstRow} * size_t(image_.Pitch());
    if (!picture.ScaleDistinctRows(band, area.width, area.height, image_.Pitch())) return false;
    image_.PutRows(drawable_, gc_, picture.RowsOfStrip(), firstRow, area.x, area.y, area.width);
    firstRow += bandRows_[i];
  }
  return true;
}

}  // namespace lumenfall

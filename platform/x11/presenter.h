// How a converted picture reaches the screen: the seam between the saver's loop and
// the two ways of stretching it, in this process (StripPresenter) or by the X server
// (RenderPresenter).
#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <vector>

#include "platform/x11/monitors.h"
#include "platform/linux/visual_converter.h"
#include "platform/x11/x11_image.h"

namespace lumenfall {

class FramePresenter {
 public:
  virtual ~FramePresenter() = default;
  // Sends requests that show the whole converted picture stretched over each area of
  // the drawable. False when no image could be made for it.
  virtual bool Show(VisualConverter& picture, const std::vector<MonitorRect>& areas) = 0;
};

// The picture stretched here, with the work surfaces' own sampling: for each area a
// band of the image holds its distinct rows, which the server repeats down the area.
class StripPresenter : public FramePresenter {
 public:
  StripPresenter(Display* display, Drawable drawable, GC gc, Visual* visual, int depth, bool shm);
  bool Show(VisualConverter& picture, const std::vector<MonitorRect>& areas) override;

 private:
  Drawable drawable_;
  GC gc_;
  WindowImage image_;
  std::vector<uint32_t> bandRows_;  // rows of each area's band
};

// True when the server offers MIT-SHM.
bool ServerHasSharedMemory(Display* display);

}  // namespace lumenfall

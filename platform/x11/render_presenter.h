// The picture stretched by the X server: once a frame the converted 400 x 300 picture
// goes into a pixmap (through MIT-SHM where the server can), and the RENDER extension
// composites it onto each area with a scaling transform and the nearest filter. What a
// frame sends does not grow with the screen, and on real hardware the server scales on
// the GPU.
//
// The server samples each pixel's centre as the work surfaces do; only the transform's
// 16.16 fixed-point scale can move a sample by one source pixel, where a pixel centre
// falls within a few hundredths of a source pixel of an edge.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xrender.h>

#include <memory>

#include "platform/x11/presenter.h"

namespace lumenfall {

class RenderPresenter : public FramePresenter {
 public:
  // Null when the server has no RENDER or no picture format for the visual. Errors of
  // the requests made here show at the caller's next look at the X errors.
  static std::unique_ptr<RenderPresenter> Create(Display* display, Drawable drawable, GC gc,
                                                 Visual* visual, int depth, bool shm);
  ~RenderPresenter() override;

  bool Show(VisualConverter& picture, const std::vector<MonitorRect>& areas) override;

 private:
  RenderPresenter(Display* display, Drawable drawable, GC gc, Visual* visual, int depth, bool shm,
                  XRenderPictFormat* format);
  void ReleaseSource();

  Display* display_;
  Drawable drawable_;
  GC gc_;
  int depth_;
  XRenderPictFormat* format_;
  WindowImage upload_;
  ::Picture target_ = 0;  // the drawable as a RENDER picture
  Pixmap sourcePixmap_ = 0;
  ::Picture source_ = 0;
  uint32_t sourceWidth_ = 0, sourceHeight_ = 0;
  uint32_t scaledWidth_ = 0, scaledHeight_ = 0;  // the area size the transform is set for
  std::vector<uint32_t> allRows_;                // 0, 1, 2...: the upload goes whole
};

}  // namespace lumenfall

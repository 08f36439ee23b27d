#include "platform/x11/render_presenter.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace lumenfall {

namespace {

// The source distance of one area pixel in 16.16 fixed point, rounded to nearest.
XFixed ScaleOf(uint32_t source, uint32_t area) {
  return XFixed((uint64_t{source} * 65536u + area / 2) / area);
}

}  // namespace

std::unique_ptr<RenderPresenter> RenderPresenter::Create(Display* display, Drawable drawable, GC gc,
                                                         Visual* visual, int depth, bool shm) {
  int eventBase = 0, errorBase = 0;
  if (!XRenderQueryExtension(display, &eventBase, &errorBase)) return nullptr;
  XRenderPictFormat* format = XRenderFindVisualFormat(display, visual);
  if (format == nullptr) return nullptr;
  return std::unique_ptr<RenderPresenter>(
      new RenderPresenter(display, drawable, gc, visual, depth, shm, format));
}

RenderPresenter::RenderPresenter(Display* display, Drawable drawable, GC gc, Visual* visual, int depth,
                                 bool shm, XRenderPictFormat* format)
    : display_(display), drawable_(drawable), gc_(gc), depth_(depth), format_(format),
      upload_(display, visual, depth, shm) {
  target_ = XRenderCreatePicture(display, drawable, format, 0, nullptr);
}

RenderPresenter::~RenderPresenter() {
  ReleaseSource();
  if (target_ != 0) XRenderFreePicture(display_, target_);
}

void RenderPresenter::ReleaseSource() {
  if (source_ != 0) XRenderFreePicture(display_, source_);
  if (sourcePixmap_ != 0) XFreePixmap(display_, sourcePixmap_);
  source_ = 0;
  sourcePixmap_ = 0;
  sourceWidth_ = sourceHeight_ = 0;
}

bool RenderPresenter::Show(VisualConverter& picture, const std::vector<MonitorRect>& areas) {
  const uint32_t width = picture.ConvertedWidth(), height = picture.ConvertedHeight();
  const uint32_t bpp = picture.BytesPerPixel();
  if (width == 0 || height == 0 || !upload_.Resize(width, height)) return false;
  if (upload_.BitsPerPixel() != int(bpp * 8)) return false;

  if (source_ == 0 || width != sourceWidth_ || height != sourceHeight_) {
    ReleaseSource();
    sourcePixmap_ = XCreatePixmap(display_, drawable_, width, height, unsigned(depth_));
    XRenderPictureAttributes attributes{};
    attributes.repeat = RepeatPad;  // a sample rounded past the edge takes the edge pixel
    source_ = XRenderCreatePicture(display_, sourcePixmap_, format_, CPRepeat, &attributes);
    XRenderSetPictureFilter(display_, source_, FilterNearest, nullptr, 0);
    sourceWidth_ = width;
    sourceHeight_ = height;
    scaledWidth_ = scaledHeight_ = 0;
    allRows_.resize(height);
    std::iota(allRows_.begin(), allRows_.end(), 0u);
  }

  const size_t rowBytes = size_t{width} * bpp;
  for (uint32_t y = 0; y < height; ++y)
    std::memcpy(upload_.Pixels() + size_t{y} * size_t(upload_.Pitch()),
                picture.ConvertedPixels() + size_t{y} * rowBytes, rowBytes);
  upload_.PutRows(sourcePixmap_, gc_, allRows_, 0, 0, 0, width);

  for (const MonitorRect& area : areas) {
    if (area.width != scaledWidth_ || area.height != scaledHeight_) {
      // Area pixel (i, j) samples the source at its centre, ((i + 1/2) W / w, ...).
      // The server takes the pixel below a sample that falls exactly on a pixel edge,
      // the work surfaces the one above: the smallest step to the right settles it.
      XTransform transform{};
      transform.matrix[0][0] = ScaleOf(width, area.width);
      transform.matrix[0][2] = 1;
      transform.matrix[1][1] = ScaleOf(height, area.height);
      transform.matrix[1][2] = 1;
      transform.matrix[2][2] = XDoubleToFixed(1);
      XRenderSetPictureTransform(display_, source_, &transform);
      scaledWidth_ = area.width;
      scaledHeight_ = area.height;
    }
    XRenderComposite(display_, PictOpSrc, source_, 0, target_, 0, 0, 0, 0, area.x, area.y, area.width,
                     area.height);
  }
  return true;
}

}  // namespace lumenfall

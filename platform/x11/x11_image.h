// The X image that each frame is stretched into: as wide as the widest monitor, one row
// for each distinct row of the picture on each monitor, repeated down by the server. It lives in a MIT-SHM
// segment when the server can attach one (a local display), else in ordinary memory
// sent with XPutImage. The segment is marked for removal as soon as both sides have
// attached it, so no way out of the program can leave it behind.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <vector>

namespace lumenfall {

class WindowImage {
 public:
  // trySharedMemory: the server offers MIT-SHM; it is still given up for good when
  // attaching fails (a remote display that claims it).
  WindowImage(Display* display, Visual* visual, int depth, bool trySharedMemory);
  ~WindowImage();
  WindowImage(const WindowImage&) = delete;
  WindowImage& operator=(const WindowImage&) = delete;

  // An image of width x height pixels; keeps the current one when the size is the same.
  // False when no memory could be had for it.
  bool Resize(uint32_t width, uint32_t height);

  uint8_t* Pixels() const;
  int32_t Pitch() const;
  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  int BitsPerPixel() const;
  bool UsesSharedMemory() const { return attached_; }

  // Sends width columns of the image to the drawable with its rows repeated: drawable
  // row y + j shows image row firstRow + stripRowOf[j], from column x on. Rows that show
  // consecutive image rows go in one request, so an image as tall as the area goes
  // whole. Rows naming no image row are skipped.
  void PutRows(Drawable drawable, GC gc, const std::vector<uint32_t>& stripRowOf, uint32_t firstRow,
               int x, int y, uint32_t width);

 private:
  void Release();
  bool CreateShared(uint32_t width, uint32_t height);
  bool CreatePlain(uint32_t width, uint32_t height);

  Display* display_;
  Visual* visual_;
  int depth_;
  bool shmUsable_;
  XImage* image_ = nullptr;
  XShmSegmentInfo segment_{};
  bool attached_ = false;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};

}  // namespace lumenfall

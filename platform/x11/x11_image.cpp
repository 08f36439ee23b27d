#include "platform/x11/x11_image.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>

#include "platform/x11/x11_errors.h"

namespace lumenfall {

WindowImage::WindowImage(Display* display, Visual* visual, int depth, bool trySharedMemory)
    : display_(display), visual_(visual), depth_(depth), shmUsable_(trySharedMemory) {}

WindowImage::~WindowImage() { Release(); }

uint8_t* WindowImage::Pixels() const {
  return image_ != nullptr ? reinterpret_cast<uint8_t*>(image_->data) : nullptr;
}

int32_t WindowImage::Pitch() const { return image_ != nullptr ? image_->bytes_per_line : 0; }

int WindowImage::BitsPerPixel() const { return image_ != nullptr ? image_->bits_per_pixel : 0; }

void WindowImage::Release() {
  if (image_ == nullptr) return;
  if (attached_) {
    XShmDetach(display_, &segment_);
    shmdt(segment_.shmaddr);
    image_->data = nullptr;  // not ours to free()
    attached_ = false;
  }
  XDestroyImage(image_);
  image_ = nullptr;
  width_ = height_ = 0;
}

bool WindowImage::CreateShared(uint32_t width, uint32_t height) {
  segment_ = XShmSegmentInfo{};
  XImage* image = XShmCreateImage(display_, visual_, unsigned(depth_), ZPixmap, nullptr,
                                  &segment_, width, height);
  if (image == nullptr) return false;
  const size_t bytes = size_t(image->bytes_per_line) * height;
  segment_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (segment_.shmid < 0) {  // too big for the system's limits: plain memory instead
    XDestroyImage(image);
    return false;
  }
  void* address = shmat(segment_.shmid, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    shmctl(segment_.shmid, IPC_RMID, nullptr);
    XDestroyImage(image);
    return false;
  }
  segment_.shmaddr = image->data = static_cast<char*>(address);
  segment_.readOnly = False;

  const XErrorRecord earlier = TakeXError(display_);
  const Bool sent = XShmAttach(display_, &segment_);
  const XErrorRecord error = TakeXError(display_);  // the server has attached (or refused)
  PutBackXError(earlier);                            // not ours: the caller's to see
  shmctl(segment_.shmid, IPC_RMID, nullptr);         // freed once both sides detach
  if (!sent || error.any) {
    shmUsable_ = false;  // a remote display, or one that will not share memory with us
    shmdt(address);
    image->data = nullptr;
    XDestroyImage(image);
    return false;
  }
  image_ = image;
  attached_ = true;
  return true;
}

bool WindowImage::CreatePlain(uint32_t width, uint32_t height) {
  XImage* image = XCreateImage(display_, visual_, unsigned(depth_), ZPixmap, 0, nullptr, width,
                               height, 32, 0);
  if (image == nullptr) return false;
  image->data = static_cast<char*>(std::malloc(size_t(image->bytes_per_line) * height));
  if (image->data == nullptr) {
    XDestroyImage(image);
    return false;
  }
  image_ = image;
  return true;
}

bool WindowImage::Resize(uint32_t width, uint32_t height) {
  if (image_ != nullptr && width == width_ && height == height_) return true;
  Release();
  if (width == 0 || height == 0) return false;
  if (!(shmUsable_ && CreateShared(width, height)) && !CreatePlain(width, height)) return false;
  width_ = width;
  height_ = height;
  return true;
}

void WindowImage::PutRows(Drawable drawable, GC gc, const std::vector<uint32_t>& stripRowOf,
                          uint32_t firstRow, int x, int y, uint32_t width) {
  if (image_ == nullptr) return;
  width = std::min(width, width_);
  const size_t rows = stripRowOf.size();
  size_t j = 0;
  while (j < rows) {
    const uint32_t first = firstRow + stripRowOf[j];
    if (stripRowOf[j] >= height_ || first >= height_) {
      ++j;
      continue;
    }
    size_t count = 1;
    while (j + count < rows && firstRow + stripRowOf[j + count] == first + count && first + count < height_)
      ++count;
    const int row = y + static_cast<int>(j);
    if (attached_) {
      XShmPutImage(display_, drawable, gc, image_, 0, int(first), x, row, width, unsigned(count), False);
    } else {
      XPutImage(display_, drawable, gc, image_, 0, int(first), x, row, width, unsigned(count));
    }
    j += count;
  }
}

}  // namespace lumenfall

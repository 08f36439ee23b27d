#include "platform/wayland/shm_buffers.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>

namespace lumenfall {

void ShmBuffers::OnRelease(void* data, wl_buffer*) { static_cast<Slot*>(data)->busy = false; }

bool ShmBuffers::Ensure(wl_shm* shm, uint32_t width, uint32_t height) {
  if (memory_ != nullptr && width == width_ && height == height_) return true;
  Release();
  if (shm == nullptr || width == 0 || height == 0 || width > 16384 || height > 16384) return false;
  const uint32_t stride = width * 4;
  const size_t bufferSize = size_t{stride} * height;
  const size_t total = bufferSize * kCount;

  const int fd = memfd_create("lumenfall-frame", MFD_CLOEXEC);
  if (fd < 0) return false;
  int result = 0;
  do {
    result = ftruncate(fd, off_t(total));
  } while (result != 0 && errno == EINTR);
  void* memory = result == 0 ? mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                             : MAP_FAILED;
  if (memory == MAP_FAILED) {
    close(fd);
    return false;
  }
  static const wl_buffer_listener kBufferListener = {&ShmBuffers::OnRelease};
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(total));
  for (int i = 0; i < kCount; ++i) {
    slots_[i].buffer = wl_shm_pool_create_buffer(pool, int32_t(bufferSize * size_t(i)), int32_t(width),
                                                 int32_t(height), int32_t(stride),
                                                 WL_SHM_FORMAT_XRGB8888);
    slots_[i].busy = false;
    wl_buffer_add_listener(slots_[i].buffer, &kBufferListener, &slots_[i]);
  }
  // The buffers keep the pool's memory alive in the compositor.
  wl_shm_pool_destroy(pool);
  close(fd);
  memory_ = static_cast<uint8_t*>(memory);
  size_ = total;
  width_ = width;
  height_ = height;
  stride_ = stride;
  ++allocations_;
  return true;
}

int ShmBuffers::FreeBuffer() const {
  if (memory_ == nullptr) return -1;
  for (int i = 0; i < kCount; ++i)
    if (!slots_[i].busy) return i;
  return -1;
}

wl_buffer* ShmBuffers::Attachable(int index) {
  slots_[index].busy = true;
  return slots_[index].buffer;
}

uint8_t* ShmBuffers::Pixels(int index) const {
  return memory_ + size_t{stride_} * height_ * size_t(index);
}

void ShmBuffers::Release() {
  for (Slot& slot : slots_) {
    if (slot.buffer != nullptr) wl_buffer_destroy(slot.buffer);
    slot = Slot{};
  }
  if (memory_ != nullptr) munmap(memory_, size_);
  memory_ = nullptr;
  size_ = 0;
  width_ = height_ = stride_ = 0;
}

}  // namespace lumenfall

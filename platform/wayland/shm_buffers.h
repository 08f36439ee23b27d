// The pixels a Wayland surface shows: two XRGB8888 wl_shm buffers of one size in one
// shared-memory pool, made when the size changes and reused frame after frame, so that
// drawing allocates nothing and never writes the buffer the compositor is reading.
#pragma once

#include <cstddef>
#include <cstdint>

struct wl_buffer;
struct wl_shm;

namespace lumenfall {

class ShmBuffers {
 public:
  static constexpr int kCount = 2;

  ShmBuffers() = default;
  ~ShmBuffers() { Release(); }
  ShmBuffers(const ShmBuffers&) = delete;
  ShmBuffers& operator=(const ShmBuffers&) = delete;

  // kCount buffers of width x height pixels: kept when they already have that size,
  // made anew otherwise. False (holding nothing) when the memory cannot be had.
  bool Ensure(wl_shm* shm, uint32_t width, uint32_t height);
  // A buffer the compositor has released (or never had), or -1 when all are busy.
  int FreeBuffer() const;
  // Hands the buffer to the compositor: busy until it releases it.
  wl_buffer* Attachable(int index);
  uint8_t* Pixels(int index) const;
  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  int32_t Stride() const { return int32_t(stride_); }
  // How many times buffers were made: once per size.
  uint32_t Allocations() const { return allocations_; }
  void Release();

 private:
  struct Slot {
    wl_buffer* buffer = nullptr;
    bool busy = false;
  };
  static void OnRelease(void* data, wl_buffer* buffer);

  Slot slots_[kCount];
  uint8_t* memory_ = nullptr;
  size_t size_ = 0;
  uint32_t width_ = 0, height_ = 0, stride_ = 0;
  uint32_t allocations_ = 0;
};

}  // namespace lumenfall

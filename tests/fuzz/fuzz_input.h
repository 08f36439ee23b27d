// Turns a fuzzer's byte string into typed values, consuming from the front.
// Once the bytes run out every value reads as zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumenfall::fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
  uint32_t U32() { return uint32_t{U16()} | (uint32_t{U16()} << 16); }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  bool Bool() { return (Byte() & 1) != 0; }
  // A value in [low, high].
  uint32_t Range(uint32_t low, uint32_t high) {
    const uint32_t span = high - low + 1;
    return span == 0 ? U32() : low + U32() % span;
  }
  // Mostly a small coordinate near the surface, sometimes any 32-bit value.
  int32_t Coordinate(uint32_t limit) {
    const uint8_t kind = Byte();
    if (kind < 200) return static_cast<int32_t>(Range(0, limit + 2)) - 1;
    return I32();
  }
  std::vector<uint8_t> Bytes(size_t count) {
    std::vector<uint8_t> out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) out.push_back(Byte());
    return out;
  }
  // The rest of the input.
  std::vector<uint8_t> Rest() {
    std::vector<uint8_t> out(data_ + pos_, data_ + size_);
    pos_ = size_;
    return out;
  }
  size_t Remaining() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace lumenfall::fuzz

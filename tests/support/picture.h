// A picture read back from a screen, a window or a screenshot file: 8 bits a channel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumenfall::test {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
  uint8_t operator[](int channel) const { return channel == 0 ? r : channel == 1 ? g : b; }
};

struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<Rgb> pixels;
  const Rgb& At(uint32_t x, uint32_t y) const { return pixels[size_t{y} * width + x]; }
  bool operator==(const Picture&) const = default;
  // The rectangle of this picture from (left, top).
  Picture Crop(uint32_t left, uint32_t top, uint32_t cropWidth, uint32_t cropHeight) const;
};

// A binary PPM (P6, maxval 255; comments allowed in the header); false for anything else.
bool ParsePpm(const std::string& bytes, Picture& picture);
std::string PpmBytes(const Picture& picture);

}  // namespace lumenfall::test

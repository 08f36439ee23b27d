// YUV4MPEG2: 4:2:0 frames in BT.601 video range, for ffmpeg and players.
#include <algorithm>
#include <cstring>

#include "platform/render/image_writers.h"

namespace lumenfall {

void RgbToYuv601(uint32_t r, uint32_t g, uint32_t b, uint8_t& y, uint8_t& u, uint8_t& v) {
  const int R = static_cast<int>(r), G = static_cast<int>(g), B = static_cast<int>(b);
  // Arithmetic shifts of negative sums round towards minus infinity (C++20).
  y = static_cast<uint8_t>(((66 * R + 129 * G + 25 * B + 128) >> 8) + 16);
  u = static_cast<uint8_t>(((-38 * R - 74 * G + 112 * B + 128) >> 8) + 128);
  v = static_cast<uint8_t>(((112 * R - 94 * G - 18 * B + 128) >> 8) + 128);
}

bool Y4mWriter::Begin(FILE* out, uint32_t width, uint32_t height, uint32_t rateNumerator,
                      uint32_t rateDenominator, std::string& error) {
  if (out == nullptr || width == 0 || height == 0 || rateNumerator == 0 || rateDenominator == 0) {
    error = "a y4m stream needs a size and a frame rate";
    return false;
  }
  out_ = out;
  width_ = width;
  height_ = height;
  const std::string header = "YUV4MPEG2 W" + std::to_string(width) + " H" +
                             std::to_string(height) + " F" + std::to_string(rateNumerator) +
                             ":" + std::to_string(rateDenominator) +
                             " Ip A1:1 C420jpeg XYSCSS=420JPEG\n";
  return WriteBytes(out_, header.data(), header.size(), error);
}

bool Y4mWriter::AddFrame(const RgbImage& image, std::string& error) {
  if (!FrameFits(out_ != nullptr, "the y4m stream", "y4m", image, width_, height_, error)) {
    return false;
  }
  const size_t lumaSize = size_t{width_} * height_;
  const uint32_t cw = (width_ + 1) / 2, ch = (height_ + 1) / 2;
  const size_t chromaSize = size_t{cw} * ch;
  planes_.resize(lumaSize + 2 * chromaSize);
  uint8_t* yPlane = planes_.data();
  uint8_t* uPlane = yPlane + lumaSize;
  uint8_t* vPlane = uPlane + chromaSize;
  for (size_t i = 0; i < lumaSize; ++i) {
    uint8_t u = 0, v = 0;
    RgbToYuv601(image.rgb[i * 3], image.rgb[i * 3 + 1], image.rgb[i * 3 + 2], yPlane[i], u, v);
  }
  // Chroma from the average colour of each 2 x 2 block (fewer pixels at an odd edge).
  for (uint32_t by = 0; by < ch; ++by) {
    for (uint32_t bx = 0; bx < cw; ++bx) {
      uint32_t sum[3] = {0, 0, 0}, n = 0;
      for (uint32_t y = by * 2; y < std::min(by * 2 + 2, height_); ++y) {
        for (uint32_t x = bx * 2; x < std::min(bx * 2 + 2, width_); ++x) {
          const uint8_t* p = &image.rgb[(size_t{y} * width_ + x) * 3];
          for (int c = 0; c < 3; ++c) sum[c] += p[c];
          ++n;
        }
      }
      uint8_t yIgnored = 0;
      RgbToYuv601((sum[0] + n / 2) / n, (sum[1] + n / 2) / n, (sum[2] + n / 2) / n, yIgnored,
                  uPlane[size_t{by} * cw + bx], vPlane[size_t{by} * cw + bx]);
    }
  }
  static const char kFrame[] = "FRAME\n";
  return WriteBytes(out_, kFrame, sizeof kFrame - 1, error) &&
         WriteBytes(out_, planes_.data(), planes_.size(), error);
}

}  // namespace lumenfall

#include "tests/support/picture.h"

#include <cctype>
#include <cstdlib>

namespace lumenfall::test {

Picture Picture::Crop(uint32_t left, uint32_t top, uint32_t cropWidth, uint32_t cropHeight) const {
  Picture out;
  out.width = cropWidth;
  out.height = cropHeight;
  for (uint32_t y = top; y < top + cropHeight; ++y)
    for (uint32_t x = left; x < left + cropWidth; ++x) out.pixels.push_back(At(x, y));
  return out;
}

bool ParsePpm(const std::string& bytes, Picture& picture) {
  // "P6" whitespace width whitespace height whitespace maxval, one whitespace, data.
  size_t pos = 0;
  auto token = [&] {
    while (pos < bytes.size() && (bytes[pos] == '#' || std::isspace(static_cast<unsigned char>(bytes[pos])))) {
      if (bytes[pos] == '#')
        while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
      else
        ++pos;
    }
    const size_t begin = pos;
    while (pos < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[pos]))) ++pos;
    return bytes.substr(begin, pos - begin);
  };
  const std::string magic = token(), w = token(), h = token(), maxval = token();
  const long width = std::atol(w.c_str()), height = std::atol(h.c_str());
  if (magic != "P6" || maxval != "255" || width <= 0 || height <= 0 || width > 10000 || height > 10000) return false;
  ++pos;
  const size_t count = size_t(width) * size_t(height);
  if (bytes.size() < pos + count * 3) return false;
  picture.width = uint32_t(width);
  picture.height = uint32_t(height);
  picture.pixels.resize(count);
  for (size_t i = 0; i < count; ++i, pos += 3)
    picture.pixels[i] = {uint8_t(bytes[pos]), uint8_t(bytes[pos + 1]), uint8_t(bytes[pos + 2])};
  return true;
}

std::string PpmBytes(const Picture& picture) {
  std::string bytes = "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
  for (const Rgb& p : picture.pixels) bytes += {char(p.r), char(p.g), char(p.b)};
  return bytes;
}

}  // namespace lumenfall::test

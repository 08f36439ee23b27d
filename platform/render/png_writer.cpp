// PNG: one RGB picture per file.
#include <png.h>

#include <cerrno>
#include <cstring>

#include "platform/render/image_writers.h"

namespace lumenfall {

namespace {

std::string SystemError(int code) { return std::strerror(code); }

}  // namespace

bool WritePngRgb(FILE* out, const RgbImage& image, std::string& error) {
  if (out == nullptr || image.width == 0 || image.height == 0 ||
      image.rgb.size() != size_t{image.width} * image.height * 3) {
    error = "no image to write";
    return false;
  }
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = image.width;
  png.height = image.height;
  png.format = PNG_FORMAT_RGB;
  errno = 0;
  const int ok = png_image_write_to_stdio(&png, out, 0, image.rgb.data(), 0, nullptr);
  if (!ok) {
    error = png.message[0] != '\0' ? std::string(png.message) : "PNG write failed";
    if (errno != 0) error += std::string(" (") + SystemError(errno) + ")";
  }
  png_image_free(&png);
  if (ok && std::ferror(out)) {
    error = "write failed: " + SystemError(errno);
    return false;
  }
  return ok != 0;
}

}  // namespace lumenfall

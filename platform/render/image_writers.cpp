#include "platform/render/image_writers.h"

#include <gif_lib.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace lumenfall {

namespace {

std::string SystemError(int code) { return std::strerror(code); }

}  // namespace

// ---------------------------------------------------------------- output file

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Open(const std::string& path, std::string& error) {
  Abandon();
  path_ = path;
  if (path == "-") {
    stream_ = stdout;
    standardOutput_ = true;
    return true;
  }
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    error = "cannot write '" + path + "': it names a folder, not a file";
    return false;
  }
  // A device, pipe or socket (/dev/null, a FIFO that a player reads) is written as it
  // stands: renaming a temporary file over it would put a plain file in its place.
  struct stat existing;
  if (stat(path.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) {
      error = "cannot write '" + path + "': it names a folder, not a file";
      return false;
    }
    if (!S_ISREG(existing.st_mode)) {
      stream_ = std::fopen(path.c_str(), "wb");
      if (stream_ == nullptr) {
        error = "cannot open '" + path + "': " + SystemError(errno);
        return false;
      }
      direct_ = true;
      return true;
    }
  }
  std::string pattern = folder + "." + name + ".partial-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = mkstemp(buffer.data());
  if (fd < 0) {
    error = "cannot create '" + path + "': " + SystemError(errno);
    return false;
  }
  temporaryPath_ = buffer.data();
  // mkstemp makes the file private; an output file gets the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd, 0666 & ~mask) != 0) {
    // Not fatal: the file is still written, only less widely readable.
  }
  stream_ = fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int code = errno;
    close(fd);
    unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
    error = "cannot create '" + path + "': " + SystemError(code);
    return false;
  }
  return true;
}

bool OutputFile::Commit(std::string& error) {
  if (stream_ == nullptr) {
    error = "cannot write '" + path_ + "': the file is not open";
    return false;
  }
  if (standardOutput_) {
    const bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
    stream_ = nullptr;
    standardOutput_ = false;
    if (!ok) error = "cannot write to standard output: " + SystemError(errno);
    return ok;
  }
  bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
  int code = ok ? 0 : (errno != 0 ? errno : EIO);
  if (std::fclose(stream_) != 0 && ok) {
    ok = false;
    code = errno;
  }
  stream_ = nullptr;
  if (direct_) {
    direct_ = false;
    if (!ok) error = "cannot write '" + path_ + "': " + SystemError(code);
    return ok;
  }
  if (ok && std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
    ok = false;
    code = errno;
  }
  if (!ok) {
    unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
    error = "cannot write '" + path_ + "': " + SystemError(code);
    return false;
  }
  temporaryPath_.clear();
  return true;
}

void OutputFile::Abandon() {
  if (standardOutput_) {
    if (stream_ != nullptr) std::fflush(stream_);
    stream_ = nullptr;
    standardOutput_ = false;
    return;
  }
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  direct_ = false;
  if (!temporaryPath_.empty()) {
    unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
  }
}

bool WriteBytes(FILE* out, const void* data, size_t n, std::string& error) {
  if (out == nullptr) {
    error = "no output stream";
    return false;
  }
  if (n == 0) return true;
  errno = 0;
  if (std::fwrite(data, 1, n, out) != n) {
    error = errno != 0 ? SystemError(errno) : "write failed";
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- PNG

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

// ---------------------------------------------------------------- median cut

namespace {

struct ColourCount {
  uint32_t rgb;  // 0xRRGGBB
  uint32_t count;
};

inline uint32_t Channel(uint32_t rgb, int c) { return (rgb >> (16 - 8 * c)) & 0xFF; }

struct Box {
  size_t begin = 0, end = 0;  // entries [begin, end)
  uint64_t count = 0;
  uint32_t low[3] = {255, 255, 255};
  uint32_t high[3] = {0, 0, 0};

  int LongestChannel() const {
    int best = 0;
    for (int c = 1; c < 3; ++c)
      if (high[c] - low[c] > high[best] - low[best]) best = c;
    return best;
  }
  uint64_t Score() const {
    if (end - begin < 2) return 0;
    const uint64_t range = high[LongestChannel()] - low[LongestChannel()];
    return range * range * count;
  }
};

Box MakeBox(const std::vector<ColourCount>& entries, size_t begin, size_t end) {
  Box box;
  box.begin = begin;
  box.end = end;
  for (size_t i = begin; i < end; ++i) {
    box.count += entries[i].count;
    for (int c = 0; c < 3; ++c) {
      const uint32_t v = Channel(entries[i].rgb, c);
      box.low[c] = std::min(box.low[c], v);
      box.high[c] = std::max(box.high[c], v);
    }
  }
  return box;
}

}  // namespace

void QuantizeMedianCut(const RgbImage& image, size_t maxColours, std::vector<uint8_t>& indices,
                       std::vector<RgbColour>& palette) {
  maxColours = std::clamp<size_t>(maxColours, 1, 256);
  const size_t pixels = std::min(size_t{image.width} * image.height, image.rgb.size() / 3);
  indices.assign(pixels, 0);
  palette.clear();
  if (pixels == 0) {
    palette.push_back({0, 0, 0});
    return;
  }

  std::vector<uint32_t> packed(pixels);
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t* p = &image.rgb[i * 3];
    packed[i] = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  }
  std::vector<uint32_t> sorted = packed;
  std::sort(sorted.begin(), sorted.end());
  std::vector<ColourCount> entries;
  for (uint32_t rgb : sorted) {
    if (!entries.empty() && entries.back().rgb == rgb) {
      ++entries.back().count;
    } else {
      entries.push_back({rgb, 1});
    }
  }
  // The exact colours in order, for looking a pixel's colour up later.
  std::vector<uint32_t> uniqueColours(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) uniqueColours[i] = entries[i].rgb;
  std::vector<uint8_t> lookup(entries.size(), 0);

  if (entries.size() <= maxColours) {
    for (size_t i = 0; i < entries.size(); ++i) {
      const uint32_t rgb = entries[i].rgb;
      palette.push_back({static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                         static_cast<uint8_t>(rgb)});
      lookup[i] = static_cast<uint8_t>(i);
    }
  } else {
    std::vector<Box> boxes{MakeBox(entries, 0, entries.size())};
    while (boxes.size() < maxColours) {
      size_t pick = 0;
      uint64_t best = 0;
      for (size_t b = 0; b < boxes.size(); ++b) {
        const uint64_t score = boxes[b].Score();
        if (score > best) {
          best = score;
          pick = b;
        }
      }
      if (best == 0) break;  // no box holds two different colours any more
      const Box box = boxes[pick];
      const int c = box.LongestChannel();
      std::sort(entries.begin() + static_cast<std::ptrdiff_t>(box.begin),
                entries.begin() + static_cast<std::ptrdiff_t>(box.end),
                [c](const ColourCount& a, const ColourCount& b) {
                  const uint32_t x = Channel(a.rgb, c), y = Channel(b.rgb, c);
                  return x != y ? x < y : a.rgb < b.rgb;
                });
      // Split at the weighted median, keeping both halves non-empty.
      uint64_t running = 0;
      size_t split = box.begin + 1;
      for (size_t i = box.begin; i < box.end; ++i) {
        running += entries[i].count;
        if (running * 2 >= box.count) {
          split = i + 1;
          break;
        }
      }
      split = std::clamp(split, box.begin + 1, box.end - 1);
      boxes[pick] = MakeBox(entries, box.begin, split);
      boxes.push_back(MakeBox(entries, split, box.end));
    }
    for (const Box& box : boxes) {
      uint64_t sum[3] = {0, 0, 0};
      for (size_t i = box.begin; i < box.end; ++i)
        for (int c = 0; c < 3; ++c) sum[c] += uint64_t{Channel(entries[i].rgb, c)} * entries[i].count;
      RgbColour colour{};
      for (int c = 0; c < 3; ++c)
        colour[static_cast<size_t>(c)] = static_cast<uint8_t>((sum[c] + box.count / 2) / box.count);
      palette.push_back(colour);
    }
    // Every exact colour goes to its nearest palette colour.
    for (size_t i = 0; i < uniqueColours.size(); ++i) {
      const int r = static_cast<int>(uniqueColours[i] >> 16);
      const int g = static_cast<int>((uniqueColours[i] >> 8) & 0xFF);
      const int b = static_cast<int>(uniqueColours[i] & 0xFF);
      int bestDistance = 1 << 30;
      size_t bestIndex = 0;
      for (size_t p = 0; p < palette.size(); ++p) {
        const int dr = r - palette[p][0], dg = g - palette[p][1], db = b - palette[p][2];
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
          bestDistance = d;
          bestIndex = p;
        }
      }
      lookup[i] = static_cast<uint8_t>(bestIndex);
    }
  }

  for (size_t i = 0; i < pixels; ++i) {
    const auto at = std::lower_bound(uniqueColours.begin(), uniqueColours.end(), packed[i]);
    indices[i] = lookup[static_cast<size_t>(at - uniqueColours.begin())];
  }
}

// ---------------------------------------------------------------- GIF

namespace {

std::string GifError(int code) {
  const char* text = GifErrorString(code);
  return text != nullptr ? std::string(text) : "GIF error " + std::to_string(code);
}

}  // namespace

int GifAnimationWriter::Write(GifFileType* gif, const unsigned char* data, int length) {
  const auto* self = static_cast<const GifAnimationWriter*>(gif->UserData);
  if (self == nullptr || self->out_ == nullptr || length <= 0) return 0;
  return static_cast<int>(std::fwrite(data, 1, static_cast<size_t>(length), self->out_));
}

GifAnimationWriter::~GifAnimationWriter() { Abandon(); }

void GifAnimationWriter::Abandon() {
  out_ = nullptr;  // the closing trailer goes nowhere
  if (gif_ != nullptr) {
    int ignored = 0;
    EGifCloseFile(gif_, &ignored);
    gif_ = nullptr;
  }
}

bool GifAnimationWriter::Begin(FILE* out, uint32_t width, uint32_t height,
                               uint16_t delayCentiseconds, std::string& error) {
  if (out == nullptr || width == 0 || height == 0 || width > 65535 || height > 65535) {
    error = "a GIF needs a stream and a size from 1 x 1 to 65535 x 65535";
    return false;
  }
  Abandon();
  int code = 0;
  out_ = out;
  gif_ = EGifOpen(this, Write, &code);
  if (gif_ == nullptr) {
    error = "cannot start the GIF: " + GifError(code);
    return false;
  }
  width_ = width;
  height_ = height;
  delay_ = delayCentiseconds;
  EGifSetGifVersion(gif_, true);
  if (EGifPutScreenDesc(gif_, static_cast<int>(width), static_cast<int>(height), 8, 0, nullptr) ==
      GIF_ERROR) {
    error = "cannot write the GIF header: " + GifError(gif_->Error);
    return false;
  }
  // The NETSCAPE2.0 block: repeat forever.
  static const GifByteType kNetscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static const GifByteType kLoopForever[] = {1, 0, 0};
  if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, sizeof kNetscape, kNetscape) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, sizeof kLoopForever, kLoopForever) == GIF_ERROR ||
      EGifPutExtensionTrailer(gif_) == GIF_ERROR) {
    error = "cannot write the GIF loop block: " + GifError(gif_->Error);
    return false;
  }
  return true;
}

bool GifAnimationWriter::AddFrame(const RgbImage& image, std::string& error) {
  if (gif_ == nullptr) {
    error = "the GIF was not started";
    return false;
  }
  if (image.width != width_ || image.height != height_ ||
      image.rgb.size() != size_t{width_} * height_ * 3) {
    error = "a GIF frame of the wrong size";
    return false;
  }
  QuantizeMedianCut(image, 256, indices_, palette_);

  GraphicsControlBlock control;
  std::memset(&control, 0, sizeof control);
  control.DisposalMode = DISPOSE_DO_NOT;
  control.UserInputFlag = false;
  control.DelayTime = delay_;
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);
  if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_ERROR) {
    error = "cannot write a GIF frame: " + GifError(gif_->Error);
    return false;
  }

  // The colour table's size is a power of two, at least 2.
  int tableSize = 2;
  while (static_cast<size_t>(tableSize) < palette_.size()) tableSize *= 2;
  std::vector<GifColorType> colours(static_cast<size_t>(tableSize));
  for (size_t i = 0; i < colours.size(); ++i) {
    const RgbColour c = i < palette_.size() ? palette_[i] : RgbColour{0, 0, 0};
    colours[i] = GifColorType{c[0], c[1], c[2]};
  }
  ColorMapObject* map = GifMakeMapObject(tableSize, colours.data());
  if (map == nullptr) {
    error = "cannot make a GIF colour table";
    return false;
  }
  const int described = EGifPutImageDesc(gif_, 0, 0, static_cast<int>(width_),
                                         static_cast<int>(height_), false, map);
  GifFreeMapObject(map);
  if (described == GIF_ERROR) {
    error = "cannot write a GIF frame: " + GifError(gif_->Error);
    return false;
  }
  for (uint32_t y = 0; y < height_; ++y) {
    if (EGifPutLine(gif_, indices_.data() + size_t{y} * width_, static_cast<int>(width_)) ==
        GIF_ERROR) {
      error = "cannot write a GIF frame: " + GifError(gif_->Error);
      return false;
    }
  }
  return true;
}

bool GifAnimationWriter::Finish(std::string& error) {
  if (gif_ == nullptr) {
    error = "the GIF was not started";
    return false;
  }
  int code = 0;
  const int closed = EGifCloseFile(gif_, &code);
  gif_ = nullptr;
  out_ = nullptr;
  if (closed == GIF_ERROR) {
    error = "cannot finish the GIF: " + GifError(code);
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- YUV4MPEG2

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
  if (out_ == nullptr) {
    error = "the y4m stream was not started";
    return false;
  }
  if (image.width != width_ || image.height != height_ ||
      image.rgb.size() != size_t{width_} * height_ * 3) {
    error = "a y4m frame of the wrong size";
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

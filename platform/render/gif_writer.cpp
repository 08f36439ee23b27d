// Animated GIF: each frame reduced to 256 colours by a median cut.
#include <gif_lib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/render/image_writers.h"

namespace lumenfall {

// The median cut.

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
  if (!FrameFits(gif_ != nullptr, "the GIF", "GIF", image, width_, height_, error)) return false;
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

}  // namespace lumenfall

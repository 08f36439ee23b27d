#include "platform/linux/visual_converter.h"

#include <algorithm>
#include <cstring>

#include "display/stretch.h"

namespace lumenfall {

namespace {

struct MaskShape {
  uint32_t shift = 0;
  uint32_t width = 0;  // 0: not a run of contiguous bits
};

MaskShape ShapeOf(uint32_t mask) {
  MaskShape shape;
  if (mask == 0) return shape;
  while (((mask >> shape.shift) & 1u) == 0) ++shape.shift;
  const uint32_t bits = mask >> shape.shift;
  uint32_t width = 0;
  while (width < 32 && ((bits >> width) & 1u) != 0) ++width;
  if (width < 32 && (bits >> width) != 0) return MaskShape{};  // a gap in the run
  shape.width = width;
  return shape;
}

// The channel's share of a pixel value for every 8-bit level: a narrower field keeps
// the level's top bits; a wider one scales the level up to the field's maximum.
void FillChannel(uint32_t (&table)[256], uint32_t mask) {
  const MaskShape shape = ShapeOf(mask);
  for (uint32_t v = 0; v < 256; ++v) {
    uint64_t field = 0;
    if (shape.width <= 8) {
      field = v >> (8 - shape.width);
    } else {
      field = uint64_t{v} * ((uint64_t{1} << shape.width) - 1) / 255;
    }
    table[v] = static_cast<uint32_t>(field << shape.shift) & mask;
  }
}

// One row stretched across: the sampling is monotonic, so each source pixel covers one
// run of window columns (none when the picture is narrowed), and is read once and
// stored as often as its run is long.
template <uint32_t Bpp>
uint8_t* ScaleRunsExactly(uint8_t* out, const uint8_t* in, const uint32_t* runs, uint32_t count) {
  for (uint32_t c = 0; c < count; ++c, in += Bpp) {
    uint8_t pixel[Bpp];
    std::memcpy(pixel, in, Bpp);
    for (uint32_t n = runs[c]; n > 0; --n, out += Bpp) std::memcpy(out, pixel, Bpp);
  }
  return out;
}

// The same for 2- and 4-byte pixels with a fixed number of 8-byte stores per source
// pixel, enough for the longest run: a run that ends early leaves pixels past its end
// that the next run overwrites. Runs of varying length then cost no mispredicted
// branches. The last columns, whose stores would pass the end of the row, go exactly.
template <uint32_t Bpp>
void ScaleRow(uint8_t* out, const uint8_t* in, const uint32_t* runs, uint32_t sourceWidth,
              uint32_t longestRun, uint32_t width) {
  uint8_t* const end = out + size_t{width} * Bpp;
  uint32_t c = 0;
  if constexpr (Bpp == 2 || Bpp == 4) {
    constexpr uint32_t kPerStore = 8 / Bpp;
    const uint32_t stores = (longestRun + kPerStore - 1) / kPerStore;
    const size_t span = size_t{stores} * 8;
    for (; c < sourceWidth && size_t(end - out) >= span; ++c, in += Bpp) {
      uint64_t pixel = 0;
      std::memcpy(&pixel, in, Bpp);
      const uint64_t repeated = Bpp == 4 ? pixel * 0x0000000100000001ull : pixel * 0x0001000100010001ull;
      for (uint32_t k = 0; k < stores; ++k) std::memcpy(out + size_t{k} * 8, &repeated, 8);
      out += size_t{runs[c]} * Bpp;
    }
  }
  ScaleRunsExactly<Bpp>(out, in, runs + c, sourceWidth - c);
}

}  // namespace

std::string VisualProblem(const VisualFormat& visual) {
  const uint32_t bpp = visual.bitsPerPixel;
  if (bpp != 16 && bpp != 24 && bpp != 32)
    return "cannot draw " + std::to_string(bpp) + "-bit pixels (16, 24 or 32 bits are needed)";
  const uint32_t masks[3] = {visual.redMask, visual.greenMask, visual.blueMask};
  const uint64_t room = (uint64_t{1} << bpp) - 1;
  for (uint32_t mask : masks) {
    if (ShapeOf(mask).width == 0 || mask > room)
      return "cannot draw to a visual whose colour masks are not runs of bits inside its pixels";
  }
  if ((masks[0] & masks[1]) != 0 || (masks[0] & masks[2]) != 0 || (masks[1] & masks[2]) != 0)
    return "cannot draw to a visual whose colour masks overlap";
  return {};
}

bool VisualConverter::Configure(const DisplayState& display, const VisualFormat& visual) {
  bytesPerPixel_ = 0;
  sourceDepth_ = 0;
  sameFormat_ = false;
  converted_.clear();
  convertedWidth_ = convertedHeight_ = 0;
  tableWidth_ = tableHeight_ = 0;
  if (!VisualProblem(visual).empty()) return false;
  const uint32_t depth = display.format.bitsPerPixel;
  if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return false;

  msbFirst_ = visual.msbFirst;
  FillChannel(red_, visual.redMask);
  FillChannel(green_, visual.greenMask);
  FillChannel(blue_, visual.blueMask);

  // The 8- and 16-bit formats go through one table of every pixel value, built from
  // the colour that the effect's own format shows for it (the grey palette at 8 bits).
  lookup_.clear();
  if (depth == 8 || depth == 16) {
    const uint32_t count = depth == 8 ? 256u : 65536u;
    lookup_.resize(count);
    for (uint32_t p = 0; p < count; ++p) {
      const uint8_t bytes[2] = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8)};
      uint8_t rgb[3];
      PixelToRgb(display, bytes, rgb);
      lookup_[p] = PixelValue(rgb[0], rgb[1], rgb[2]);
    }
  }
  sourceDepth_ = depth;
  bytesPerPixel_ = visual.bitsPerPixel / 8;
  sameFormat_ = depth == 32 && visual.bitsPerPixel == 32 && !visual.msbFirst &&
                visual.redMask == 0xFF0000u && visual.greenMask == 0xFF00u && visual.blueMask == 0xFFu;
  return true;
}

uint32_t VisualConverter::PixelValue(uint8_t red, uint8_t green, uint8_t blue) const {
  return red_[red] | green_[green] | blue_[blue];
}

namespace {

// One converted row: the source format and the image's pixel size and byte order are
// template arguments, so the loop chosen once per picture has no per-pixel branch.
template <uint32_t SourceDepth, uint32_t Bpp, bool MsbFirst>
void ConvertRow(const uint8_t* in, uint8_t* out, uint32_t width, const uint32_t* lookup,
                const uint32_t* red, const uint32_t* green, const uint32_t* blue) {
  constexpr uint32_t kSourceBpp = SourceDepth / 8;
  for (uint32_t x = 0; x < width; ++x, in += kSourceBpp, out += Bpp) {
    uint32_t value;
    if constexpr (SourceDepth == 8) {
      value = lookup[in[0]];
    } else if constexpr (SourceDepth == 16) {
      value = lookup[uint32_t{in[0]} | (uint32_t{in[1]} << 8)];
    } else {
      value = red[in[2]] | green[in[1]] | blue[in[0]];  // B, G, R bytes
    }
    for (uint32_t b = 0; b < Bpp; ++b)
      out[MsbFirst ? Bpp - 1 - b : b] = static_cast<uint8_t>(value >> (8 * b));
  }
}

// The effect's 32-bit format is the common visual's own (B, G, R, X bytes, 8 bits a
// channel): the conversion only clears the unused byte, in a loop the compiler
// vectorises.
void ConvertRowSameFormat(const uint8_t* in, uint8_t* out, uint32_t width, const uint32_t*,
                          const uint32_t*, const uint32_t*, const uint32_t*) {
  for (uint32_t x = 0; x < width; ++x) {
    uint32_t value;
    std::memcpy(&value, in + size_t{x} * 4, 4);
    value &= 0x00FFFFFFu;
    std::memcpy(out + size_t{x} * 4, &value, 4);
  }
}

using ConvertRowFn = void (*)(const uint8_t*, uint8_t*, uint32_t, const uint32_t*, const uint32_t*,
                              const uint32_t*, const uint32_t*);

template <uint32_t SourceDepth, bool MsbFirst>
ConvertRowFn RowConverterForBpp(uint32_t bpp) {
  switch (bpp) {
    case 2: return ConvertRow<SourceDepth, 2, MsbFirst>;
    case 3: return ConvertRow<SourceDepth, 3, MsbFirst>;
    default: return ConvertRow<SourceDepth, 4, MsbFirst>;
  }
}

template <bool MsbFirst>
ConvertRowFn RowConverter(uint32_t sourceDepth, uint32_t bpp) {
  switch (sourceDepth) {
    case 8: return RowConverterForBpp<8, MsbFirst>(bpp);
    case 16: return RowConverterForBpp<16, MsbFirst>(bpp);
    case 24: return RowConverterForBpp<24, MsbFirst>(bpp);
    default: return RowConverterForBpp<32, MsbFirst>(bpp);
  }
}

}  // namespace

bool VisualConverter::Convert(const uint8_t* source, uint32_t width, uint32_t height, int32_t pitch) {
  if (bytesPerPixel_ == 0 || source == nullptr || width == 0 || height == 0) return false;
  const uint32_t sourceBpp = sourceDepth_ / 8;
  if (pitch < 0 || uint64_t(pitch) < uint64_t{width} * sourceBpp) return false;
  const size_t rowBytes = size_t{width} * bytesPerPixel_;
  if (converted_.size() != rowBytes * height) converted_.resize(rowBytes * height);
  convertedWidth_ = width;
  convertedHeight_ = height;

  const ConvertRowFn convertRow = sameFormat_ ? ConvertRowSameFormat
                                   : msbFirst_ ? RowConverter<true>(sourceDepth_, bytesPerPixel_)
                                               : RowConverter<false>(sourceDepth_, bytesPerPixel_);
  const uint32_t* lookup = lookup_.empty() ? nullptr : lookup_.data();
  for (uint32_t y = 0; y < height; ++y) {
    convertRow(source + size_t{y} * size_t(pitch), converted_.data() + size_t{y} * rowBytes, width,
               lookup, red_, green_, blue_);
  }
  return true;
}

void VisualConverter::PlanRows(uint32_t height) {
  if (height == tableHeight_ && convertedHeight_ == tableSourceHeight_) return;
  stripRowOf_.resize(height);
  stripSource_.clear();
  for (uint32_t j = 0; j < height; ++j) {
    const uint32_t source = StretchSample(j, convertedHeight_, height);
    if (stripSource_.empty() || stripSource_.back() != source) stripSource_.push_back(source);
    stripRowOf_[j] = static_cast<uint32_t>(stripSource_.size() - 1);
  }
  tableHeight_ = height;
  tableSourceHeight_ = convertedHeight_;
}

uint32_t VisualConverter::DistinctRows(uint32_t height) {
  if (convertedHeight_ == 0 || height == 0) return 0;
  PlanRows(height);
  return static_cast<uint32_t>(stripSource_.size());
}

bool VisualConverter::ScaleDistinctRows(uint8_t* strip, uint32_t width, uint32_t height, int32_t pitch) {
  if (convertedWidth_ == 0 || strip == nullptr || width == 0 || height == 0) return false;
  if (pitch < 0 || uint64_t(pitch) < uint64_t{width} * bytesPerPixel_) return false;

  if (width != tableWidth_ || convertedWidth_ != tableSourceWidth_) {
    columnRuns_.assign(convertedWidth_, 0);
    for (uint32_t i = 0; i < width; ++i) ++columnRuns_[StretchSample(i, convertedWidth_, width)];
    longestRun_ = *std::max_element(columnRuns_.begin(), columnRuns_.end());
    tableWidth_ = width;
    tableSourceWidth_ = convertedWidth_;
  }
  PlanRows(height);

  const size_t sourceRowBytes = size_t{convertedWidth_} * bytesPerPixel_;
  for (size_t k = 0; k < stripSource_.size(); ++k) {
    uint8_t* out = strip + k * size_t(pitch);
    const uint8_t* in = converted_.data() + size_t{stripSource_[k]} * sourceRowBytes;
    switch (bytesPerPixel_) {
      case 2: ScaleRow<2>(out, in, columnRuns_.data(), convertedWidth_, longestRun_, width); break;
      case 3: ScaleRow<3>(out, in, columnRuns_.data(), convertedWidth_, longestRun_, width); break;
      default: ScaleRow<4>(out, in, columnRuns_.data(), convertedWidth_, longestRun_, width); break;
    }
  }
  return true;
}

}  // namespace lumenfall

// From the effect's 400 x 300 ShowBuffer to the pixels of an X image of any size:
// each pixel is converted once from the emulated format to the visual's, and the
// converted picture is stretched with the work surfaces' own nearest-neighbour
// sampling (StretchSample), across here and down by repeating rows. No X headers: the
// visual is described by plain numbers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "display/pixel_format.h"

namespace lumenfall {

// What a ZPixmap image of the visual looks like in memory.
struct VisualFormat {
  uint32_t bitsPerPixel = 0;  // bits of one pixel in the image: 16, 24 or 32 can be drawn
  uint32_t redMask = 0;
  uint32_t greenMask = 0;
  uint32_t blueMask = 0;
  bool msbFirst = false;  // the image's byte order
};

// Why pictures cannot be written in this format, or an empty text when they can.
std::string VisualProblem(const VisualFormat& visual);

class VisualConverter {
 public:
  // Prepares the conversion from the effect's format (display) to the visual.
  // False, leaving the picture unusable, when the visual has a problem.
  bool Configure(const DisplayState& display, const VisualFormat& visual);

  // The visual's pixel value for an 8-bit colour: each channel keeps its top bits.
  uint32_t PixelValue(uint8_t red, uint8_t green, uint8_t blue) const;

  // Converts a source picture in the effect's format into the visual's pixels, kept
  // here until the next call. False for a source that cannot be read.
  bool Convert(const uint8_t* source, uint32_t width, uint32_t height, int32_t pitch);

  // Stretching over a window of width x height pixels is done in two halves. Here the
  // rows are stretched across, each distinct one once: a strip of DistinctRows(height)
  // rows, pitch bytes apart, each width pixels long. RowsOfStrip() then says which strip
  // row every window row shows, so the display server can repeat rows instead of this
  // process writing them again (at 1920 x 1080, 300 rows written instead of 1080).
  // The sampling is the work surfaces' own (StretchSample) on both axes. The tables are
  // rebuilt only when a size changes, so a frame allocates nothing. False when there is
  // nothing to stretch or the strip is unsound.
  bool ScaleDistinctRows(uint8_t* strip, uint32_t width, uint32_t height, int32_t pitch);
  uint32_t DistinctRows(uint32_t height);
  // Valid after ScaleDistinctRows for the same height: one entry per window row,
  // ascending, starting at 0 and growing by at most 1 from row to row.
  const std::vector<uint32_t>& RowsOfStrip() const { return stripRowOf_; }

  uint32_t BytesPerPixel() const { return bytesPerPixel_; }

  // The converted picture itself, unstretched: rows of ConvertedWidth() pixels, packed.
  const uint8_t* ConvertedPixels() const { return converted_.data(); }
  uint32_t ConvertedWidth() const { return convertedWidth_; }
  uint32_t ConvertedHeight() const { return convertedHeight_; }

 private:
  uint32_t sourceDepth_ = 0;
  uint32_t bytesPerPixel_ = 0;
  bool msbFirst_ = false;
  bool sameFormat_ = false;  // 32-bit effect on a B, G, R, X visual: no table needed
  uint32_t red_[256] = {};
  uint32_t green_[256] = {};
  uint32_t blue_[256] = {};
  std::vector<uint32_t> lookup_;  // 8 and 16 bits: source pixel -> visual pixel

  std::vector<uint8_t> converted_;
  uint32_t convertedWidth_ = 0;
  uint32_t convertedHeight_ = 0;

  std::vector<uint32_t> columnRuns_;     // window columns, per converted column
  uint32_t longestRun_ = 0;
  std::vector<uint32_t> stripRowOf_;     // strip row, per window row
  std::vector<uint32_t> stripSource_;    // converted row, per strip row
  uint32_t tableWidth_ = 0, tableHeight_ = 0, tableSourceWidth_ = 0, tableSourceHeight_ = 0;

  void PlanRows(uint32_t height);
};

}  // namespace lumenfall

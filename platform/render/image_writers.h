// Writers of rendered frames: an output file that appears only when complete, PNG
// (libpng), animated GIF (giflib, with a median-cut palette per frame), YUV4MPEG2 and
// raw bytes. Shared by the renderer and the other native tools.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct GifFileType;

namespace lumenfall {

// 8-bit R, G, B triples, rows packed top to bottom.
struct RgbImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;  // width x height x 3

  void Resize(uint32_t w, uint32_t h) {
    width = w;
    height = h;
    rgb.assign(size_t{w} * h * 3, 0);
  }
};

// A file that is written under a temporary name in its own folder and renamed to its
// real name by Commit; if it is never committed (or Commit fails) the temporary is
// removed and the real name is left as it was. "-" is standard output, which is
// flushed, not renamed.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool Open(const std::string& path, std::string& error);
  FILE* Stream() const { return stream_; }
  bool Commit(std::string& error);
  void Abandon();

  const std::string& Path() const { return path_; }
  const std::string& TemporaryPath() const { return temporaryPath_; }

 private:
  std::string path_;
  std::string temporaryPath_;
  FILE* stream_ = nullptr;
  bool standardOutput_ = false;
  bool direct_ = false;  // an existing device or pipe, written in place
};

// Writes all n bytes; false with a reason otherwise.
bool WriteBytes(FILE* out, const void* data, size_t n, std::string& error);

// Whether a frame can go into a stream of width x height: the stream begun and the
// frame of that size with all its bytes. Otherwise false, with the reason in the
// stream's words: "<stream> was not started" or "a <format> frame of the wrong size".
bool FrameFits(bool begun, const char* stream, const char* format, const RgbImage& image,
               uint32_t width, uint32_t height, std::string& error);

// One 8-bit RGB PNG.
bool WritePngRgb(FILE* out, const RgbImage& image, std::string& error);

using RgbColour = std::array<uint8_t, 3>;

// Chooses at most maxColours (1 to 256) colours for the image by median cut over its
// exact colours, weighted by pixel count, and maps every pixel to the nearest of them.
// An image with no more colours than that keeps every colour exactly.
void QuantizeMedianCut(const RgbImage& image, size_t maxColours, std::vector<uint8_t>& indices,
                       std::vector<RgbColour>& palette);

// An animated GIF that loops forever; every frame carries its own palette.
class GifAnimationWriter {
 public:
  GifAnimationWriter() = default;
  ~GifAnimationWriter();
  GifAnimationWriter(const GifAnimationWriter&) = delete;
  GifAnimationWriter& operator=(const GifAnimationWriter&) = delete;

  bool Begin(FILE* out, uint32_t width, uint32_t height, uint16_t delayCentiseconds,
             std::string& error);
  bool AddFrame(const RgbImage& image, std::string& error);
  // Writes the trailer. The stream stays open.
  bool Finish(std::string& error);
  // Drops the animation without writing another byte (the stream may be gone).
  void Abandon();

 private:
  static int Write(GifFileType* gif, const unsigned char* data, int length);

  GifFileType* gif_ = nullptr;
  FILE* out_ = nullptr;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint16_t delay_ = 0;
  std::vector<uint8_t> indices_;
  std::vector<RgbColour> palette_;
};

// A YUV4MPEG2 stream, 4:2:0 with centred chroma (C420jpeg), BT.601 video range.
class Y4mWriter {
 public:
  bool Begin(FILE* out, uint32_t width, uint32_t height, uint32_t rateNumerator,
             uint32_t rateDenominator, std::string& error);
  bool AddFrame(const RgbImage& image, std::string& error);

 private:
  FILE* out_ = nullptr;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  std::vector<uint8_t> planes_;
};

// BT.601 video-range conversion of one colour, as the y4m writer does it.
void RgbToYuv601(uint32_t r, uint32_t g, uint32_t b, uint8_t& y, uint8_t& u, uint8_t& v);

}  // namespace lumenfall

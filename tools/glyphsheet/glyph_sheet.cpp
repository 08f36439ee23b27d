// lumenfall-specimen: draws every glyph of the bitmap font and a few sample lines with
// the program's own text renderer into a 32-bit surface and writes it as a PNG.
//
// Usage: lumenfall-specimen [--font FILE] [--scale N] OUTPUT.png
//   --font FILE  a font file in the stored cell format (default: the embedded font)
//   --scale N    enlarge every pixel N times (1..8; default 1)
#include <png.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/memory_surface.h"
#include "display/pixel_format.h"
#include "effect/bitmap_font.h"

namespace lumenfall {
namespace {

constexpr uint32_t kWidth = 820;
constexpr uint32_t kHeight = 456;
constexpr uint32_t kRed = 0x00FF0000, kGreen = 0x0000FF00, kBlue = 0x000000FF;

constexpr int kCellsPerRow = 24;
constexpr int kSlotWidth = 33;
constexpr int kSlotHeight = 36;

void FillRect(MemorySurface& s, int left, int top, int right, int bottom, uint32_t rgb) {
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      if (x < 0 || y < 0 || x >= int(kWidth) || y >= int(kHeight)) continue;
      uint8_t* p = s.PixelAt(uint32_t(x), uint32_t(y));
      p[0] = uint8_t(rgb);
      p[1] = uint8_t(rgb >> 8);
      p[2] = uint8_t(rgb >> 16);
      p[3] = 0xFF;
    }
  }
}

void Line(const DisplayState& d, MemorySurface& s, const BitmapFont& font, const char* text,
          int left, int top, ArgbColour colour) {
  TextBox box{left, top, int(kWidth) - 10, int(kHeight)};
  DrawBitmapText(d, text, &s, &box, &font, colour, 0);
}

void Compose(MemorySurface& s, const BitmapFont& font) {
  DisplayState d;
  SetupDisplayState(d, kWidth, kHeight, 32, kRed, kGreen, kBlue);
  int cellHeight = 0;
  ReadFontCell(&font, nullptr, &cellHeight);

  // Every glyph over a dim backing the size of its cell's glyph rows, with the
  // baseline (under row 25) marked.
  for (int c = 33; c <= 126; ++c) {
    const int i = c - 33;
    const int slotX = 10 + (i % kCellsPerRow) * kSlotWidth;
    const int slotY = 10 + (i / kCellsPerRow) * kSlotHeight;
    const char text[2] = {char(c), 0};
    const int w = MeasureBitmapText(text, &font) - 1;
    const int x = slotX + (kSlotWidth - 1 - w) / 2;
    FillRect(s, x, slotY, x + w, slotY + cellHeight - 1, 0x1C1C24);
    FillRect(s, x, slotY + 26, x + w, slotY + 27, 0x302030);
    TextBox box{x, slotY, int(kWidth), int(kHeight)};
    DrawBitmapText(d, text, &s, &box, &font, 0xFFFFFFFF, 0);
  }

  // Sample lines, one every 36 rows below the glyphs.
  const struct {
    const char* text;
    ArgbColour colour;
  } samples[] = {
      {"Malachi Red (Calvane)   Deep Blue", 0xFFFFFFFF},
      {"The quick brown fox jumps over the lazy dog.", 0xFFFFFFFF},
      {"QUICK BROWN FOX JUMPS OVER LAZY DOGS!", 0xFFFFFFFF},
      {"0123456789 !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", 0xFFFFFFFF},
      {"Sphinx of black quartz, judge my vow: 'Wolf'", 0xFFFFFFFF},
      {"The trail fades through red, lingering and warm", 0xFFFF6040},
      {"and through blue, cold and deep, into the dark.", 0xFF4080FF},
      {"Half-lit text: a line fading in at alpha 128", 0x80FFFFFF},
  };
  int y = 10 + 4 * kSlotHeight + 10;
  for (const auto& sample : samples) {
    Line(d, s, font, sample.text, 10, y, sample.colour);
    y += 36;
  }
}

bool WritePng(const char* path, const MemorySurface& s, int scale, std::string& error) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    error = std::string("cannot write ") + path + ": " + std::strerror(errno);
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    error = "libpng could not start";
    return false;
  }
  const uint32_t width = kWidth * uint32_t(scale), height = kHeight * uint32_t(scale);
  std::vector<png_byte> row(size_t(width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    error = std::string("libpng failed writing ") + path;
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const uint8_t* pixels = s.Pixels();
  const size_t pitch = size_t(s.Desc().pitch);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* src = pixels + size_t(y / uint32_t(scale)) * pitch;
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t* p = src + size_t(x / uint32_t(scale)) * 4;
      row[size_t(x) * 3 + 0] = p[2];
      row[size_t(x) * 3 + 1] = p[1];
      row[size_t(x) * 3 + 2] = p[0];
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) {
    error = std::string("cannot write ") + path;
    return false;
  }
  return true;
}

bool ReadFile(const char* path, std::vector<uint8_t>& bytes, std::string& error) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    error = std::string("cannot read ") + path + ": " + std::strerror(errno);
    return false;
  }
  uint8_t buffer[65536];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) error = std::string("cannot read ") + path;
  return !failed;
}

int Run(int argc, char** argv) {
  const char* fontPath = nullptr;
  const char* output = nullptr;
  int scale = 1;
  const char* usage = "usage: lumenfall-specimen [--font FILE] [--scale N] OUTPUT.png";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--font" && i + 1 < argc) {
      fontPath = argv[++i];
    } else if (arg == "--scale" && i + 1 < argc) {
      char* end = nullptr;
      const long v = std::strtol(argv[++i], &end, 10);
      if (end == argv[i] || *end != 0 || v < 1 || v > 8) {
        std::fprintf(stderr, "lumenfall-specimen: --scale takes a whole number from 1 to 8\n");
        return 2;
      }
      scale = int(v);
    } else if (arg == "--help" || arg == "-h") {
      std::printf("%s\n", usage);
      return 0;
    } else if (!arg.empty() && arg[0] != '-' && output == nullptr) {
      output = argv[i];
    } else {
      std::fprintf(stderr, "lumenfall-specimen: unexpected argument '%s' (%s)\n", argv[i], usage);
      return 2;
    }
  }
  if (output == nullptr) {
    std::fprintf(stderr, "lumenfall-specimen: no output file given (%s)\n", usage);
    return 2;
  }

  std::string error;
  std::vector<uint8_t> bytes;
  BitmapFont font = ProgramFont();
  if (fontPath != nullptr) {
    if (!ReadFile(fontPath, bytes, error)) {
      std::fprintf(stderr, "lumenfall-specimen: %s\n", error.c_str());
      return 1;
    }
    font = BitmapFont{bytes.data(), bytes.size()};
  }

  MemorySurface surface(kWidth, kHeight, 32, 0, kRed, kGreen, kBlue);
  Compose(surface, font);
  if (!WritePng(output, surface, scale, error)) {
    std::fprintf(stderr, "lumenfall-specimen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace lumenfall

int main(int argc, char** argv) { return lumenfall::Run(argc, argv); }

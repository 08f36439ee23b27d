// lumenfall-icongen: draws the program icon, a line of glowing red letters smearing
// outward on black, and writes it as a Windows .ico with one 32 x 32, 16-colour image.
//
// Usage: lumenfall-icongen OUTPUT.ico
//
// The picture is a miniature of the effect itself: a trail buffer is zoomed outward,
// blurred and faded a number of times, and the letters are burnt in at full
// brightness after every pass. Intensities are quantised onto a fire ramp of 16
// palette entries. Integer arithmetic only, so the
// output is the same byte for byte on every machine.
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kSize = 32;
constexpr int kColours = 16;
constexpr int kPasses = 15;

using Plane = std::array<std::array<int, kSize>, kSize>;

// Black through dark red, red, orange and yellow to white: the colours that the red
// decay rule passes through, brightest last.
constexpr uint8_t kRamp[kColours][3] = {
    {0, 0, 0},       {40, 0, 0},      {72, 0, 0},      {104, 0, 0},
    {136, 0, 0},     {168, 8, 0},     {200, 16, 0},    {232, 32, 0},
    {255, 56, 0},    {255, 88, 0},    {255, 120, 8},   {255, 152, 24},
    {255, 184, 56},  {255, 212, 104}, {255, 236, 168}, {255, 255, 255},
};

// "LUMEN" in 3 x 5 letters, one string per row, '#' lit.
constexpr const char* kLetters[5] = {
    "#...#.#.#...#.###.#..#",
    "#...#.#.##.##.#...##.#",
    "#...#.#.#.#.#.##..#.##",
    "#...#.#.#...#.#...#..#",
    "###.###.#...#.###.#..#",
};

bool Lit(int x, int y) {
  const int width = static_cast<int>(std::strlen(kLetters[0]));
  const int left = (kSize - width) / 2;
  const int top = 22;
  const int col = x - left;
  const int row = y - top;
  if (col < 0 || col >= width || row < 0 || row >= 5) return false;
  return kLetters[row][col] == '#';
}

// Every pixel takes its value from a point 14/16 of the way from a centre below the
// picture, so the trail climbs and spreads like flames; nearest sample, coordinates in
// 1/256 pixel, and what comes from below the picture is black.
constexpr int kZoomCentreX2 = kSize;      // twice the centre: x 16
constexpr int kZoomCentreY2 = 2 * 40;     // y 40, under the bottom edge
constexpr int kZoomNumerator = 14;        // out of 16

Plane Zoom(const Plane& in) {
  Plane out{};
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const int sx = ((2 * x + 1 - kZoomCentreX2) * kZoomNumerator * 8 + kZoomCentreX2 * 128) / 256;
      const int sy = ((2 * y + 1 - kZoomCentreY2) * kZoomNumerator * 8 + kZoomCentreY2 * 128) / 256;
      out[y][x] = sx < 0 || sy < 0 || sx >= kSize || sy >= kSize ? 0 : in[sy][sx];
    }
  }
  return out;
}

// A cross-shaped blur that spreads each pixel onto its neighbours and fades it; the
// border reads black.
Plane BlurAndFade(const Plane& in) {
  auto at = [&](int x, int y) { return x < 0 || y < 0 || x >= kSize || y >= kSize ? 0 : in[y][x]; };
  Plane out{};
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const int sum = 4 * at(x, y) + at(x - 1, y) + at(x + 1, y) + at(x, y - 1) + at(x, y + 1);
      out[y][x] = sum * 5 / 64;  // the mean of the 8 weights, less three eighths
    }
  }
  return out;
}

Plane Picture() {
  Plane trail{};
  for (int pass = 0; pass < kPasses; ++pass) {
    trail = BlurAndFade(Zoom(trail));
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x)
        if (Lit(x, y)) trail[y][x] = 255;
  }
  return trail;
}

// The ramp index of an intensity from 0 to 255: 0 only for true black, so that faint
// trails still show.
int RampIndex(int intensity) {
  if (intensity <= 0) return 0;
  if (intensity >= 255) return kColours - 1;
  return 1 + intensity * (kColours - 2) / 255;
}

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

std::vector<uint8_t> IconFile(const Plane& picture) {
  constexpr uint32_t kHeaderSize = 40;
  constexpr uint32_t kPaletteSize = kColours * 4;
  constexpr uint32_t kXorSize = kSize * kSize / 2;  // 4 bits a pixel, rows of 16 bytes
  constexpr uint32_t kAndSize = kSize * 4;          // 1 bit a pixel, rows of 4 bytes
  constexpr uint32_t kImageSize = kHeaderSize + kPaletteSize + kXorSize + kAndSize;
  constexpr uint32_t kImageOffset = 6 + 16;

  std::vector<uint8_t> out;
  // The icon directory with its one entry.
  Put16(out, 0);  // reserved
  Put16(out, 1);  // type: icon
  Put16(out, 1);  // one image
  out.push_back(kSize);
  out.push_back(kSize);
  out.push_back(kColours);
  out.push_back(0);  // reserved
  Put16(out, 1);     // planes
  Put16(out, 4);     // bits per pixel
  Put32(out, kImageSize);
  Put32(out, kImageOffset);

  // The image: a bitmap header whose height covers the colour and mask rows.
  Put32(out, kHeaderSize);
  Put32(out, kSize);
  Put32(out, kSize * 2);
  Put16(out, 1);
  Put16(out, 4);
  Put32(out, 0);  // no compression
  Put32(out, kXorSize + kAndSize);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, kColours);
  Put32(out, 0);
  for (const auto& c : kRamp) {
    out.push_back(c[2]);
    out.push_back(c[1]);
    out.push_back(c[0]);
    out.push_back(0);
  }
  // Colour rows bottom-up, the left pixel in the high nibble.
  for (int y = kSize - 1; y >= 0; --y) {
    for (int x = 0; x < kSize; x += 2) {
      const int high = RampIndex(picture[y][x]);
      const int low = RampIndex(picture[y][x + 1]);
      out.push_back(static_cast<uint8_t>(high << 4 | low));
    }
  }
  // The mask: every pixel opaque.
  out.insert(out.end(), kAndSize, 0);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lumenfall-icongen OUTPUT.ico\n");
    return 2;
  }
  const std::vector<uint8_t> bytes = IconFile(Picture());
  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "lumenfall-icongen: cannot open %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "lumenfall-icongen: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}

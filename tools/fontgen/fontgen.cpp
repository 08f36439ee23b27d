// lumenfall-fontgen: rasterises the program's bitmap font, "Lumenfall Serif", from a
// TrueType serif face (DejaVu Serif) and writes it in the stored cell format:
//
//   94 cells, characters 33..126, of 31 x 33 bytes. Rows 0..31 hold a glyph row each:
//   exactly W coverage bytes (W from the width table below), one 0xFF, then zeros.
//   Row 32 is 31 bytes of 0xFF, the separator between cells.
//
// Coverage is quantised to 24 levels (0 .. 254); 0xFF never occurs as coverage.
// Vertical layout: the baseline lies under row 25, capitals stand in rows 3..25, small
// letters without ascenders start at row 9, and descenders reach row 31. Each glyph's
// ink is centred in its fixed width; a glyph is narrowed (or, for a few symbols,
// shrunk uniformly first) only where its ink would not fit.
//
// The output depends only on the source face and this program: FreeType's environment
// properties are not read, the TrueType interpreter version is fixed and all outline
// arithmetic is integer.
//
// Usage: lumenfall-fontgen [--source FONT.ttf] [--output FILE]
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BBOX_H
#include FT_BITMAP_H
#include FT_DRIVER_H
#include FT_MODULE_H
#include FT_OUTLINE_H
#include FT_SYSTEM_H

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kCellWidth = 31;
constexpr int kCellHeight = 33;
constexpr int kGlyphRows = kCellHeight - 1;
constexpr int kFirst = 33;
constexpr int kLast = 126;
constexpr int kGlyphCount = kLast - kFirst + 1;
constexpr uint8_t kRowEnd = 0xFF;

// Rows above the baseline (rows 0..25) and below it (rows 26..31).
constexpr int kAboveBaseline = 26;
constexpr int kBelowBaseline = kGlyphRows - kAboveBaseline;

// Pixels per em: gives capitals of 23 rows and small letters of 17 with the face's
// own hinting.
constexpr int kPixelsPerEm = 32;

constexpr const char* kDefaultSource = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";

// Glyph widths, characters 33..126.
constexpr std::array<int, kGlyphCount> kWidths = {
    4,  10, 17, 18, 28, 25, 3,  12, 12, 11, 13, 6,  8,  5,  13,          // ! .. /
    19, 13, 18, 18, 18, 17, 17, 18, 17, 17,                              // 0 .. 9
    5,  6,  5,  9,  5,  17, 19,                                          // : .. @
    25, 21, 18, 22, 19, 19, 22, 24, 12, 20, 25, 20, 29, 24, 20, 20, 20,  // A .. Q
    23, 17, 19, 22, 24, 30, 26, 25, 19,                                  // R .. Z
    7,  17, 7,  12, 20, 7,                                               // [ .. `
    18, 18, 15, 18, 16, 14, 18, 20, 10, 11, 20, 9,  29, 21, 16, 18, 18,  // a .. q
    16, 14, 13, 21, 21, 27, 20, 21, 15,                                  // r .. z
    8,  3,  9,  11};                                                     // { .. ~

// The 24 coverage levels.
constexpr std::array<int, 24> kLevels = {0,   21,  31,  42,  53,  63,  74,  85,
                                         95,  106, 116, 127, 137, 147, 158, 169,
                                         179, 190, 200, 211, 222, 232, 243, 254};

// Symbols whose ink is far wider than their cell: they are first shrunk uniformly
// about their centre, down to this fraction (in 1/1000), before any narrowing.
struct UniformLimit {
  char c;
  int permille;
};
constexpr UniformLimit kUniformLimits[] = {
    {'<', 700}, {'>', 700}, {'+', 800}, {'*', 800}, {'@', 700},
    {'#', 850}, {'~', 850}, {'{', 900}, {'}', 900},
};

// Ink may take the whole width less this margin (26.6 units) so that neighbours
// never touch.
constexpr FT_Pos kSideMargin = 16;

// A glyph may sit this far (26.6 units) off its centre where that puts its stems on
// whole pixels.
constexpr FT_Pos kCentreSlack = 20;

int UniformLimitFor(int c) {
  for (const UniformLimit& u : kUniformLimits)
    if (u.c == c) return u.permille;
  return 1000;
}

uint8_t Quantise(unsigned coverage) {
  int best = 0;
  int bestDistance = 1 << 30;
  for (int level : kLevels) {
    const int d = level > int(coverage) ? level - int(coverage) : int(coverage) - level;
    if (d < bestDistance) {  // a tie keeps the lower level
      best = level;
      bestDistance = d;
    }
  }
  return static_cast<uint8_t>(best);
}

FT_Pos RoundDiv(FT_Pos a, FT_Pos num, FT_Pos den) {
  const long long p = static_cast<long long>(a) * num;
  const long long half = den / 2;
  return static_cast<FT_Pos>(p >= 0 ? (p + half) / den : -((-p + half) / den));
}

FT_BBox Bounds(FT_Outline& outline) {
  FT_BBox box{};
  FT_Outline_Get_BBox(&outline, &box);
  return box;
}

// Scales the outline's x (and, when both is set, y) about (cx, cy) by num/den.
void ScaleAbout(FT_Outline& outline, FT_Pos cx, FT_Pos cy, FT_Pos num, FT_Pos den, bool both) {
  for (int i = 0; i < outline.n_points; ++i) {
    FT_Vector& p = outline.points[i];
    p.x = cx + RoundDiv(p.x - cx, num, den);
    if (both) p.y = cy + RoundDiv(p.y - cy, num, den);
  }
}

// Maps the part below the baseline so that its lowest point lands at depth (26.6).
void FitBelowBaseline(FT_Outline& outline, FT_Pos lowest, FT_Pos depth) {
  for (int i = 0; i < outline.n_points; ++i) {
    FT_Vector& p = outline.points[i];
    if (p.y < 0) p.y = RoundDiv(p.y, depth, -lowest);
  }
}

// Maps the part above the cell's top row so that the highest point lands at height.
void FitAboveTop(FT_Outline& outline, FT_Pos highest, FT_Pos height) {
  for (int i = 0; i < outline.n_points; ++i) {
    FT_Vector& p = outline.points[i];
    if (p.y > 0) p.y = RoundDiv(p.y, height, highest);
  }
}

// Renders the outline, moved by (dx, baseline), into a width x 32 coverage image.
std::vector<uint8_t> Render(FT_Library library, FT_Outline& outline, int width, FT_Pos dx) {
  std::vector<uint8_t> image(size_t(width) * kGlyphRows, 0);
  FT_Bitmap bitmap;
  FT_Bitmap_Init(&bitmap);
  bitmap.rows = kGlyphRows;
  bitmap.width = static_cast<unsigned>(width);
  bitmap.pitch = width;
  bitmap.buffer = image.data();
  bitmap.num_grays = 256;
  bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
  const FT_Pos dy = kBelowBaseline * 64;
  FT_Outline_Translate(&outline, dx, dy);
  FT_Outline_Get_Bitmap(library, &outline, &bitmap);
  FT_Outline_Translate(&outline, -dx, -dy);
  return image;
}

// How crisp a rendering is: the sum of squared coverage. Whole-pixel stems score
// higher than the same ink smeared over two columns.
uint64_t Crispness(const std::vector<uint8_t>& image) {
  uint64_t sum = 0;
  for (uint8_t v : image) sum += uint64_t{v} * v;
  return sum;
}

struct Failure {
  std::string message;
};

// Shapes and renders one glyph into its cell bytes.
bool MakeGlyph(FT_Library library, FT_Face face, int c, uint8_t* cell, Failure& failure) {
  const int width = kWidths[size_t(c - kFirst)];
  if (FT_Load_Char(face, FT_ULong(c), FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_NORMAL) != 0 ||
      face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
    failure.message = "the source font has no outline for character " + std::to_string(c);
    return false;
  }
  FT_Outline outline;
  if (FT_Outline_New(library, face->glyph->outline.n_points, face->glyph->outline.n_contours,
                     &outline) != 0 ||
      FT_Outline_Copy(&face->glyph->outline, &outline) != 0) {
    failure.message = "out of memory";
    return false;
  }

  FT_BBox box = Bounds(outline);
  const FT_Pos fit = width * 64 - 2 * kSideMargin;

  // A few wide symbols shrink uniformly first, about their centre.
  const FT_Pos ink = box.xMax - box.xMin;
  if (ink > fit) {
    const int limit = UniformLimitFor(c);
    if (limit < 1000) {
      FT_Pos num = fit, den = ink;
      if (num * 1000 < den * limit) {
        num = limit;
        den = 1000;
      }
      ScaleAbout(outline, (box.xMin + box.xMax) / 2, (box.yMin + box.yMax) / 2, num, den, true);
      box = Bounds(outline);
    }
  }

  // Capitals stand on the baseline, all but the Q: the J's hook is drawn up into the
  // capital's height.
  if (c == 'J' && box.yMin < 0) {
    for (int i = 0; i < outline.n_points; ++i) {
      FT_Vector& p = outline.points[i];
      p.y = box.yMax - RoundDiv(box.yMax - p.y, box.yMax, box.yMax - box.yMin);
    }
    box = Bounds(outline);
  }

  // Descenders end in row 31: deeper ones are pressed up, and the Q's tail is drawn
  // down to it.
  const FT_Pos depth = kBelowBaseline * 64;
  if (box.yMin < -depth || (c == 'Q' && box.yMin < 0)) {
    FitBelowBaseline(outline, box.yMin, depth);
    box = Bounds(outline);
  }
  const FT_Pos height = kAboveBaseline * 64;
  if (box.yMax > height) {
    FitAboveTop(outline, box.yMax, height);
    box = Bounds(outline);
  }

  // Narrow what is still too wide.
  if (box.xMax - box.xMin > fit) {
    ScaleAbout(outline, box.xMin, 0, fit, box.xMax - box.xMin, false);
    box = Bounds(outline);
  }

  // Centre the ink; among positions within kCentreSlack of the centre take the
  // crispest, the nearest to the centre on a tie.
  const FT_Pos inkWidth = box.xMax - box.xMin;
  const FT_Pos centred = (width * 64 - inkWidth) / 2 - box.xMin;
  std::vector<uint8_t> best;
  uint64_t bestScore = 0;
  FT_Pos bestDistance = 0;
  for (FT_Pos shift = -kCentreSlack; shift <= kCentreSlack; shift += 4) {
    const FT_Pos dx = centred + shift;
    if (box.xMin + dx < 0 || box.xMax + dx > width * 64) continue;
    std::vector<uint8_t> image = Render(library, outline, width, dx);
    const uint64_t score = Crispness(image);
    const FT_Pos distance = shift < 0 ? -shift : shift;
    if (best.empty() || score > bestScore || (score == bestScore && distance < bestDistance)) {
      best = std::move(image);
      bestScore = score;
      bestDistance = distance;
    }
  }
  if (best.empty()) best = Render(library, outline, width, centred);
  FT_Outline_Done(library, &outline);

  for (int r = 0; r < kGlyphRows; ++r) {
    uint8_t* row = cell + r * kCellWidth;
    for (int i = 0; i < width; ++i) row[i] = Quantise(best[size_t(r * width + i)]);
    row[width] = kRowEnd;
  }
  std::memset(cell + kGlyphRows * kCellWidth, kRowEnd, kCellWidth);
  return true;
}

void* AllocateBlock(FT_Memory, long size) { return std::malloc(size_t(size)); }
void FreeBlock(FT_Memory, void* block) { std::free(block); }
void* ReallocateBlock(FT_Memory, long, long newSize, void* block) {
  return std::realloc(block, size_t(newSize));
}

bool Generate(const char* sourcePath, std::vector<uint8_t>& font, Failure& failure) {
  FT_Library library = nullptr;
  // No FT_Init_FreeType: it would read FREETYPE_PROPERTIES from the environment.
  static FT_MemoryRec_ memory{nullptr, AllocateBlock, FreeBlock, ReallocateBlock};
  if (FT_New_Library(&memory, &library) != 0) {
    failure.message = "cannot start FreeType";
    return false;
  }
  FT_Add_Default_Modules(library);
  FT_UInt interpreter = TT_INTERPRETER_VERSION_40;
  FT_Property_Set(library, "truetype", "interpreter-version", &interpreter);

  bool ok = false;
  FT_Face face = nullptr;
  if (FT_New_Face(library, sourcePath, 0, &face) != 0) {
    failure.message = std::string("cannot read the source font ") + sourcePath;
  } else if (!FT_IS_SCALABLE(face) || FT_Set_Pixel_Sizes(face, 0, kPixelsPerEm) != 0) {
    failure.message = std::string("the source font is not a scalable outline font: ") + sourcePath;
  } else {
    font.assign(size_t(kGlyphCount) * kCellWidth * kCellHeight, 0);
    ok = true;
    for (int c = kFirst; c <= kLast && ok; ++c)
      ok = MakeGlyph(library, face, c, font.data() + size_t(c - kFirst) * kCellWidth * kCellHeight,
                     failure);
  }
  if (face != nullptr) FT_Done_Face(face);
  FT_Done_Library(library);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const char* source = kDefaultSource;
  const char* output = "lumenfall_font.bin";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--source" || arg == "--output") && i + 1 < argc) {
      (arg == "--source" ? source : output) = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      std::printf("usage: lumenfall-fontgen [--source FONT.ttf] [--output FILE]\n");
      return 0;
    } else {
      std::fprintf(stderr, "lumenfall-fontgen: unexpected argument '%s' (usage: "
                   "lumenfall-fontgen [--source FONT.ttf] [--output FILE])\n", argv[i]);
      return 2;
    }
  }

  std::vector<uint8_t> font;
  Failure failure;
  if (!Generate(source, font, failure)) {
    std::fprintf(stderr, "lumenfall-fontgen: %s\n", failure.message.c_str());
    return 1;
  }
  std::FILE* file = std::fopen(output, "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "lumenfall-fontgen: cannot write %s\n", output);
    return 1;
  }
  const bool written = std::fwrite(font.data(), 1, font.size(), file) == font.size();
  if (std::fclose(file) != 0 || !written) {
    std::fprintf(stderr, "lumenfall-fontgen: cannot write %s\n", output);
    return 1;
  }
  return 0;
}

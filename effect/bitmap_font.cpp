// PLACEHOLDER: replaced by the text renderer.
#include "effect/bitmap_font.h"

namespace lumenfall {

int ReadFontCell(const BitmapFont*, int*, int*) { return 0; }
int MeasureBitmapText(const char*, const BitmapFont*) { return 0; }
int DrawBitmapText(const DisplayState&, const char*, WorkSurface*, TextBox*, const BitmapFont*,
                   ArgbColour, int) {
  return 0;
}

}  // namespace lumenfall

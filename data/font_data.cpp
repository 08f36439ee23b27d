// The program's font: the embedded bytes of data/lumenfall_font.bin.
#include <cstddef>
#include <cstdint>

#include "effect/bitmap_font.h"

extern const uint8_t kLumenfallFontBytes[];
extern const size_t kLumenfallFontBytes_size;

namespace lumenfall {

const BitmapFont& ProgramFont() {
  static const BitmapFont font{kLumenfallFontBytes, kLumenfallFontBytes_size};
  return font;
}

}  // namespace lumenfall

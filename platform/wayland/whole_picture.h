// The effect's picture stretched over a whole buffer, for a compositor that cannot
// scale it (no viewporter): the picture's strip of distinct rows is written at the top
// of the buffer and then spread down, each row copied to every row that shows it, so
// that every pixel is sampled as the work surfaces' own stretch samples it.
#pragma once

#include <cstdint>

#include "platform/linux/visual_converter.h"

namespace lumenfall {

// Fills width x height pixels, pitch bytes apart, from the picture's last conversion.
// False when the picture cannot be stretched to that size.
bool StretchWholePicture(VisualConverter& picture, uint8_t* pixels, uint32_t width, uint32_t height,
                         int32_t pitch);

}  // namespace lumenfall

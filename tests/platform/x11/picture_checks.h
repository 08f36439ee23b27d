// What a picture of the saver must show, for the tests of every Linux front end: the
// white text band in the centre rows and the hue of the text set's trail.
#pragma once

#include <cstdint>
#include <string>

#include "x11_harness.h"

namespace lumenfall::x11test {

bool Bright(const Rgb& p);
uint32_t BrightInRows(const Capture& c, uint32_t top, uint32_t bottom);

// The text band: plenty of white in the centre rows, none in the outer quarters.
void ExpectTextBand(const Capture& c);

// The white text lies across columns left to right of the 400 x 300 picture (shown at
// the capture's size), give or take the 12 pixels that the blur and the zoom may spread
// it: which line is drawn, told by its width and place.
void ExpectTextAcross(const Capture& c, uint32_t left, uint32_t right);

// The trail of Malachi Red (red) or Deep Blue (blue): no pixel of another hue, and
// enough pixels clearly of this one.
void ExpectRedTrail(const Capture& c);
void ExpectBlueTrail(const Capture& c);

// One line on standard error, with the program's prefix, containing the text.
void ExpectOneErrorLine(const std::string& text, const std::string& containing);

}  // namespace lumenfall::x11test

// What a run of the saver must show, for the tests of every front end: the white text
// band in the centre rows, the hue of the text set's trail, one line of error, and the
// end on a signal. Each check is a predicate that says what is wrong (empty when
// nothing is) and one EXPECT wrapper.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/picture.h"
#include "tests/support/process.h"

namespace lumenfall::test {

// White, as the crisp text shows at every depth.
bool Bright(const Rgb& p);
uint32_t BrightInRows(const Picture& p, uint32_t top, uint32_t bottom);

// The text band: plenty of white in the centre fifth of the rows, none in the outer quarters.
std::string TextBandFault(const Picture& p);
void ExpectTextBand(const Picture& p);

// The white text lies across columns left to right of the 400 x 300 picture (shown at
// the picture's size), give or take the 12 pixels that the blur and the zoom may spread
// it: which line is drawn, told by its width and place.
std::string TextAcrossFault(const Picture& p, uint32_t left, uint32_t right);
void ExpectTextAcross(const Picture& p, uint32_t left, uint32_t right);

// The trail of Malachi Red (red) or Deep Blue (blue): no pixel with more of another
// channel, and enough pixels clearly of the hue.
enum class Hue { Red, Blue };
std::string TrailFault(const Picture& p, Hue hue);
void ExpectTrail(const Picture& p, Hue hue);

// One line on standard error, with the program's prefix, containing the text.
std::string ErrorLineFault(const std::string& text, const std::string& containing);
void ExpectOneErrorLine(const std::string& text, const std::string& containing);

// The running saver ends within a second of the signal, with 0 and nothing on standard error.
void ExpectEndsOnSignal(Process& saver, int sig);

}  // namespace lumenfall::test

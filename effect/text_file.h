// A text set of one's own lines, read from a UTF-8 text (a file's bytes, or the web
// page's text parameter). The reading takes bytes; the programs open the files.
//
// One line of the text is one line of the picture, in order; blank lines (nothing but
// spaces and tabs) and lines starting with '#' are skipped; a line ends at LF or CR LF,
// and a byte order mark at the start is passed over. Every other line is drawn as it
// stands, its spaces included, so it must hold only the space and the font's characters
// ! to ~ and measure at most the picture's 400 pixels. Whatever breaks a rule ends the
// reading with a one-line reason that names where: "NAME:LINE:COLUMN: ..." (columns
// count characters from 1), "NAME:LINE: ..." or "NAME: ...".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "effect/text_sets.h"

namespace lumenfall {

constexpr size_t kMaxTextBytes = 65536;  // 64 KiB
constexpr size_t kMaxTextLines = 256;    // lines of text; skipped lines do not count

// The lines, then one empty entry (as in the built-in sets: one cycle in which only the
// last line's trail is seen before the first comes back), then the null. A copy owns
// copies of the strings.
class OwnTextSet {
 public:
  OwnTextSet() = default;
  explicit OwnTextSet(std::vector<std::string> lines);
  OwnTextSet(const OwnTextSet& other) : OwnTextSet(other.lines_) {}
  OwnTextSet& operator=(const OwnTextSet& other);

  // The table for the sequencer, or null when there are no lines.
  TextSet Set() const { return lines_.empty() ? nullptr : table_.data(); }

 private:
  void Index();  // the table anew, pointing into this object's own strings

  std::vector<std::string> lines_;
  std::vector<const char*> table_;
};

// Reads the lines of text into set. False, with set empty and the reason in error, at
// the first thing that breaks a rule, or when no line of text is left.
bool ReadTextSet(std::string_view text, std::string_view name, OwnTextSet& set,
                 std::string& error);

}  // namespace lumenfall

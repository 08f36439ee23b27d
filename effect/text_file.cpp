#include "effect/text_file.h"

#include <cstdint>

#include "effect/bitmap_font.h"
#include "effect/frame_sequencer.h"

namespace lumenfall {

namespace {

// The character that starts at s[i]: its code point and its length in bytes. False
// when s[i] does not start a well-formed UTF-8 sequence (a stray continuation byte, an
// overlong form, a surrogate, beyond U+10FFFF, or cut short).
bool NextCharacter(std::string_view s, size_t i, uint32_t& code, size_t& length) {
  const auto byte = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(s[k])); };
  const uint32_t lead = byte(i);
  code = lead;
  length = 1;
  if (lead < 0x80) return true;
  uint32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    least = 0x10000;
  } else {
    return false;
  }
  code = lead & (0x7Fu >> length);
  if (s.size() - i < length) return false;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return false;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  return code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

// At least digits capital hexadecimal digits.
std::string Hex(uint32_t value, size_t digits) {
  std::string text;
  for (; value != 0 || text.size() < digits; value >>= 4)
    text.insert(text.begin(), "0123456789ABCDEF"[value & 0xF]);
  return text;
}

}  // namespace

OwnTextSet::OwnTextSet(std::vector<std::string> lines) : lines_(std::move(lines)) { Index(); }

OwnTextSet& OwnTextSet::operator=(const OwnTextSet& other) {
  if (this != &other) {
    lines_ = other.lines_;
    Index();
  }
  return *this;
}

void OwnTextSet::Index() {
  table_.clear();
  for (const std::string& line : lines_) table_.push_back(line.c_str());
  table_.push_back("");
  table_.push_back(nullptr);
}

bool ReadTextSet(std::string_view text, std::string_view name, OwnTextSet& set,
                 std::string& error) {
  set = OwnTextSet();
  error.clear();
  const std::string source(name);
  if (text.size() > kMaxTextBytes) {
    error = source + ": more than " + std::to_string(kMaxTextBytes / 1024) + " KiB";
    return false;
  }
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  std::vector<std::string> lines;
  for (size_t number = 1; !text.empty(); ++number) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '#') continue;

    const std::string at = source + ":" + std::to_string(number);
    if (lines.size() == kMaxTextLines) {
      error = at + ": more than " + std::to_string(kMaxTextLines) + " lines of text";
      return false;
    }
    uint32_t code = 0;
    size_t length = 0;
    for (size_t i = 0, column = 1; i < line.size(); i += length, ++column) {
      const bool wellFormed = NextCharacter(line, i, code, length);
      if (wellFormed && (code == ' ' || (code >= 33 && code <= 126))) continue;
      error = at + ":" + std::to_string(column) + ": " +
              (wellFormed ? "the font has no U+" + Hex(code, 4) + " (only the space and ! to ~)"
                          : "byte 0x" + Hex(static_cast<unsigned char>(line[i]), 2) + " is not UTF-8");
      return false;
    }
    const std::string& added = lines.emplace_back(line);
    const int width = MeasureBitmapText(added.c_str(), &ProgramFont());
    if (width > kWorkWidth) {
      error = at + ": the line is " + std::to_string(width) + " pixels wide; the picture is " +
              std::to_string(kWorkWidth);
      return false;
    }
  }
  if (lines.empty()) {
    error = source + ": no lines of text";
    return false;
  }
  set = OwnTextSet(std::move(lines));
  return true;
}

}  // namespace lumenfall

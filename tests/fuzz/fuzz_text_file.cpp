// Own lines read from arbitrary bytes: a refusal says why in one line; lines that are
// taken hold only what the font draws, fit the picture and keep to the limits.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "effect/bitmap_font.h"
#include "effect/frame_sequencer.h"
#include "effect/text_file.h"

using namespace lumenfall;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size);
  OwnTextSet set;
  std::string error;
  const bool ok = ReadTextSet(text, "fuzz.txt", set, error);
  if (ok != error.empty()) __builtin_trap();
  if (!ok) {
    if (error.find('\n') != std::string::npos || error.rfind("fuzz.txt:", 0) != 0) __builtin_trap();
    if (set.Set() != nullptr) __builtin_trap();
    return 0;
  }
  const TextSet lines = set.Set();
  size_t count = 0;
  for (; lines[count] != nullptr; ++count) {
    for (const char* c = lines[count]; *c != '\0'; ++c)
      if (*c < ' ' || *c > '~') __builtin_trap();
    if (MeasureBitmapText(lines[count], &ProgramFont()) > kWorkWidth) __builtin_trap();
  }
  if (count < 2 || count > kMaxTextLines + 1 || lines[count - 1][0] != '\0') __builtin_trap();
  return 0;
}

// The saver's command-line reading: any bytes, 0x80-0xFF included, with the input's
// own length and a terminator only just past it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "shell/command_tail.h"

using namespace lumenfall;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> line(data, data + size);
  line.push_back('\0');
  const char* begin = line.data();
  const char* end = begin + line.size();
  const char* tail = SkipProgramName(begin);
  if (tail < begin || tail >= end) __builtin_trap();
  const SaverCommand command = ScanSaverCommand(tail);
  if (command.rest == nullptr) __builtin_trap();
  if (command.rest != nullptr && *command.rest != '\0' && (command.rest < begin || command.rest >= end))
    __builtin_trap();
  ParseWindowHandle(command.rest);
  ScanSaverCommand(begin);
  return 0;
}

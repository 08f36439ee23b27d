#include "shell/command_tail.h"

namespace lumenfall {

namespace {

unsigned char At(const char* p) { return static_cast<unsigned char>(*p); }

const char* SkipBlanks(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

}  // namespace

const char* SkipProgramName(const char* commandLine) {
  if (commandLine == nullptr) return "";
  const char* p = commandLine;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (At(p) > 0x20) ++p;
  }
  while (At(p) >= 0x01 && At(p) <= 0x20) ++p;
  return p;
}

uint32_t ParseWindowHandle(const char* text) {
  if (text == nullptr) return 0;
  uint32_t value = 0;
  for (const char* p = text; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10u + static_cast<uint32_t>(*p - '0');
  }
  return value;
}

SaverCommand ScanSaverCommand(const char* tail) {
  SaverCommand command;
  const char* p = tail != nullptr ? tail : "";
  while (*p == ' ' || *p == '-' || *p == '/') ++p;
  switch (*p) {
    case '\0':
      command.mode = SaverMode::Configure;
      command.rest = p;
      return command;
    case 'c':
    case 'C':
      command.mode = SaverMode::ConfigureOwned;
      break;
    case 's':
    case 'S':
      command.mode = SaverMode::FullScreen;
      break;
    case 'p':
    case 'P':
    case 'l':
    case 'L': {
      const char* digits = SkipBlanks(p + 1);
      command.mode = SaverMode::Preview;
      command.handle = ParseWindowHandle(digits);
      command.rest = digits;
      return command;
    }
    case 'a':
    case 'A':
      command.mode = SaverMode::ChangePassword;
      command.rest = SkipBlanks(p + 1);
      return command;
    default:
      command.mode = SaverMode::Invalid;
      command.rest = p;
      return command;
  }
  command.rest = p + 1;
  return command;
}

}  // namespace lumenfall

// Reading the saver's command line: skipping the program's own name, and the
// switch scan that picks the mode. Pure text work, shared by the Windows entry
// and the native tests.
#pragma once

#include <cstdint>

namespace lumenfall {

enum class SaverMode {
  Configure,       // no switch: the configuration dialog with no owner
  ConfigureOwned,  // 'C': the dialog owned by the foreground window
  FullScreen,      // 'S'
  Preview,         // 'P' or 'L' with a parent window handle
  ChangePassword,  // 'A' with an optional owner handle in the rest
  Invalid,         // any other character: exit code -1
};

struct SaverCommand {
  SaverMode mode = SaverMode::Invalid;
  // Preview: the parent handle read by ParseWindowHandle (0 when none was given).
  uint32_t handle = 0;
  // ChangePassword: the text after the letter and its blanks. Otherwise the text
  // after the deciding character, or the end of the tail. Never null.
  const char* rest = "";
};

// The command tail: the line after the program's name and the characters 1 to 0x20
// that follow it. A quoted name runs to the next double quote (stepped over) or the
// end; an unquoted one runs while the characters are above 0x20 (bytes 0x80-0xFF
// count as above). The system's CharNextA steps one byte for every single-byte code
// page, and a lead byte of a double-byte code page is never a quote, a blank or a
// control character, so stepping byte by byte finds the same end here.
// A null line gives an empty tail.
const char* SkipProgramName(const char* commandLine);

// The leading decimal digits of text as an unsigned 32-bit number that wraps on
// overflow; 0 when text is null or does not start with a digit.
uint32_t ParseWindowHandle(const char* text);

// The switch scan: blanks, '-' and '/' are skipped in any mix; the first other
// character decides the mode, case-insensitively. 'P'/'L' and 'A' step over only the
// blank character (0x20) after the letter. A null tail reads as empty.
SaverCommand ScanSaverCommand(const char* tail);

}  // namespace lumenfall

// Shared by the test doubles of the system's password libraries: a log of their calls
// in a file named by LUMENFALL_DOUBLE_LOG, and their instructions from the environment.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace lumenfall::doubles {

// Appends one line "<tick> <text>" to the log; nothing when no log is named. The file
// is opened and closed for every line so that each line is on disk before the saver
// goes on, even if it then dies.
inline void Log(const char* format, ...) {
  char path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("LUMENFALL_DOUBLE_LOG", path, sizeof path);
  if (length == 0 || length >= sizeof path) return;
  char line[1024];
  int used = std::snprintf(line, sizeof line, "%lu ", static_cast<unsigned long>(GetTickCount()));
  va_list args;
  va_start(args, format);
  used += std::vsnprintf(line + used, sizeof line - static_cast<size_t>(used) - 1, format, args);
  va_end(args);
  if (used < 0 || used > static_cast<int>(sizeof line) - 2) used = static_cast<int>(sizeof line) - 2;
  line[used++] = '\n';
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(used), &written, nullptr);
  CloseHandle(file);
}

// An environment variable as text; empty when unset.
inline void Env(const char* name, char* value, DWORD size) {
  const DWORD length = GetEnvironmentVariableA(name, value, size);
  if (length == 0 || length >= size) value[0] = '\0';
}

inline long EnvNumber(const char* name, long fallback) {
  char value[32];
  Env(name, value, sizeof value);
  if (value[0] == '\0') return fallback;
  return std::strtol(value, nullptr, 10);
}

// The system's screen-saver-running state as this process sees it: 0, 1, or -1 when
// the query fails.
inline int ScreenSaverRunning() {
  BOOL running = FALSE;
  if (!SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0)) return -1;
  return running ? 1 : 0;
}

inline unsigned long Handle(HWND window) {
  return static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window));
}

}  // namespace lumenfall::doubles

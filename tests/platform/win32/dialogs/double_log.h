// Shared by the test doubles of the system's password libraries: a log of their calls
// in a file named by LUMENFALL_DOUBLE_LOG, and their instructions from the environment.
#pragma once

#include <windows.h>

#include "../helpers/append_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace lumenfall::doubles {

// Appends one line "<tick> <text>" to the log named by LUMENFALL_DOUBLE_LOG.
inline void Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendLogLine("LUMENFALL_DOUBLE_LOG", format, args);
  va_end(args);
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

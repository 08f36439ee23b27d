// The Windows test doubles' logs: one line "<tick> <text>" appended to the file that an
// environment variable names; nothing when it names none. The file is opened and
// closed for every line so that each line is on disk before the program goes on, even
// if it then dies.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>

inline void AppendLogLine(const char* variable, const char* format, va_list args) {
  char path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA(variable, path, sizeof path);
  if (length == 0 || length >= sizeof path) return;
  char line[1024];
  int used = std::snprintf(line, sizeof line, "%lu ", static_cast<unsigned long>(GetTickCount()));
  const int more = std::vsnprintf(line + used, sizeof line - static_cast<size_t>(used) - 1, format, args);
  if (more > 0) used += more;
  if (used > static_cast<int>(sizeof line) - 2) used = static_cast<int>(sizeof line) - 2;
  line[used++] = '\n';
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(used), &written, nullptr);
  CloseHandle(file);
}

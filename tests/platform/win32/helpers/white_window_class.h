// The test programs' own windows: a class with a white background, so that a window
// of ours is told apart from the saver's black on the screen.
#pragma once

#include <windows.h>

inline bool RegisterWhiteClass(const char* name, WNDPROC procedure = DefWindowProcA) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = name;
  return RegisterClassA(&windowClass) != 0;
}

// Runs the saver's preview mode inside this process, on a parent window of its own.
// Wine draws a child window only from the process that owns its top-level window,
// so the preview picture can be looked at only this way; the cross-process run of
// lumenfall.scr /p is checked for its window and its lifetime instead.
// Usage: lf_inproc_preview [x y width height]. Prints the parent's handle, then
// runs the real SaverMain with "/p <handle>" and exits with its result.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/win32/saver_shell.h"

#include "white_window_class.h"

int main(int argc, char** argv) {
  const int x = argc > 4 ? std::atoi(argv[1]) : 100;
  const int y = argc > 4 ? std::atoi(argv[2]) : 80;
  const int width = argc > 4 ? std::atoi(argv[3]) : 320;
  const int height = argc > 4 ? std::atoi(argv[4]) : 240;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!RegisterWhiteClass("LumenfallInProcessParent")) return 2;
  HWND parent = CreateWindowExA(0, "LumenfallInProcessParent", "Preview parent",
                                WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                                instance, nullptr);
  if (parent == nullptr) return 3;
  const unsigned long handle = static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(parent));
  std::printf("%lu\n", handle);
  std::fflush(stdout);
  char tail[32];
  std::snprintf(tail, sizeof tail, "/p %lu", handle);
  return lumenfall::SaverMain(instance, tail);
}

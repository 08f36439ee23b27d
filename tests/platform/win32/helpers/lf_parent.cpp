// A stand-in for the Display control panel's preview window: a visible top-level
// window whose handle is printed in decimal on the first line of standard output.
// Usage: lf_parent [lifetime-ms [width height]]. With a lifetime the window is
// destroyed after that many milliseconds (the preview's parent going away) and the
// program then lingers 3 s so that the child's reaction can be watched; without one
// it runs until it is closed or killed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "white_window_class.h"

namespace {

constexpr UINT_PTR kLifetimeTimer = 1;
bool destroyedByTimer = false;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kLifetimeTimer) {
        KillTimer(window, kLifetimeTimer);
        destroyedByTimer = true;
        DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const long lifetime = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
  const int width = argc > 3 ? std::atoi(argv[2]) : 320;
  const int height = argc > 3 ? std::atoi(argv[3]) : 240;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!RegisterWhiteClass("LumenfallTestParent", ParentProc)) return 2;
  HWND window = CreateWindowExA(0, "LumenfallTestParent", "Preview parent", WS_POPUP | WS_VISIBLE,
                                100, 80, width, height, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 3;
  std::printf("%lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
  std::fflush(stdout);
  if (lifetime > 0) SetTimer(window, kLifetimeTimer, static_cast<UINT>(lifetime), nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (destroyedByTimer) Sleep(3000);
  return 0;
}

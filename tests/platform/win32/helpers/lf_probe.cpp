// Looks at the running saver from outside, for the Wine tests.
//   lf_probe find          the full-screen saver window: prints
//                          "hwnd style exstyle left top right bottom screenW screenH";
//                          exit 0 when found, 1 when not.
//   lf_probe child PARENT  the saver's preview child of window PARENT: the same line.
//   lf_probe activate      makes a window of its own the foreground window for 2 s.
//   lf_probe settext       tries to rename the full-screen saver; prints its title after.
//   lf_probe key HWND      posts a key press (WM_KEYDOWN, space) to window HWND.
//   lf_probe ddinfo        the primary surface's size and pixel format as DirectDraw
//                          reports it: "width height bits rmask gmask bmask".
//   lf_probe monitors      the virtual screen and each monitor: a first line
//                          "count left top width height", then "left top right bottom"
//                          per monitor.
//   lf_probe displaychange sends the full-screen saver WM_DISPLAYCHANGE, as after a
//                          change of the display mode.
//   lf_probe white L T W H a plain white window at (L, T), W x H, shown until killed;
//                          prints its handle once it is on the screen.
#include <windows.h>
#include <ddraw.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "white_window_class.h"

namespace {

int Report(HWND window) {
  if (window == nullptr) return 1;
  RECT r{};
  GetWindowRect(window, &r);
  std::printf("%lu %08lx %08lx %ld %ld %ld %ld %d %d\n",
              static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)),
              static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)), r.left, r.top,
              r.right, r.bottom, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  return 0;
}

int Activate() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "LumenfallTestActivate";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(WS_EX_TOPMOST, "LumenfallTestActivate", "Other application",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                                nullptr, instance, nullptr);
  if (window == nullptr) return 2;
  SetForegroundWindow(window);
  SetActiveWindow(window);
  const DWORD end = GetTickCount() + 2000;
  MSG message;
  while (GetTickCount() < end) {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(10);
  }
  std::printf("%d\n", GetForegroundWindow() == window ? 1 : 0);
  return 0;
}

int SetText() {
  HWND window = FindWindowA("WindowsScreenSaverClass", "Screen Saver");
  if (window == nullptr) return 1;
  SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Renamed"));
  char title[64] = {};
  GetWindowTextA(window, title, sizeof title);
  std::printf("%s\n", title);
  return 0;
}

int DirectDrawInfo() {
  IDirectDraw* device = nullptr;
  if (DirectDrawCreate(nullptr, &device, nullptr) != DD_OK || device == nullptr) return 2;
  device->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
  DDSURFACEDESC desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  IDirectDrawSurface* primary = nullptr;
  if (device->CreateSurface(&desc, &primary, nullptr) != DD_OK || primary == nullptr) return 3;
  primary->GetSurfaceDesc(&desc);
  std::printf("%lu %lu %lu %08lx %08lx %08lx\n", desc.dwWidth, desc.dwHeight,
              desc.ddpfPixelFormat.dwRGBBitCount, desc.ddpfPixelFormat.dwRBitMask,
              desc.ddpfPixelFormat.dwGBitMask, desc.ddpfPixelFormat.dwBBitMask);
  primary->Release();
  device->Release();
  return 0;
}

BOOL CALLBACK PrintMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoA(monitor, &info))
    std::printf("%ld %ld %ld %ld\n", info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right,
                info.rcMonitor.bottom);
  return TRUE;
}

int Monitors() {
  std::printf("%d %d %d %d %d\n", GetSystemMetrics(SM_CMONITORS), GetSystemMetrics(SM_XVIRTUALSCREEN),
              GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN),
              GetSystemMetrics(SM_CYVIRTUALSCREEN));
  EnumDisplayMonitors(nullptr, nullptr, PrintMonitor, 0);
  return 0;
}

int White(char** argv) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterWhiteClass("LumenfallTestWhite");
  HWND window = CreateWindowExA(0, "LumenfallTestWhite", "White", WS_POPUP | WS_VISIBLE,
                                std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                                std::atoi(argv[5]), nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 2;
  UpdateWindow(window);
  std::printf("%lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
  std::fflush(stdout);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 64;
  if (std::strcmp(argv[1], "find") == 0)
    return Report(FindWindowA("WindowsScreenSaverClass", "Screen Saver"));
  if (std::strcmp(argv[1], "child") == 0 && argc > 2) {
    HWND parent = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoul(argv[2], nullptr, 10)));
    return Report(FindWindowExA(parent, nullptr, "WindowsScreenSaverClass", "Preview"));
  }
  if (std::strcmp(argv[1], "activate") == 0) return Activate();
  if (std::strcmp(argv[1], "settext") == 0) return SetText();
  if (std::strcmp(argv[1], "ddinfo") == 0) return DirectDrawInfo();
  if (std::strcmp(argv[1], "monitors") == 0) return Monitors();
  if (std::strcmp(argv[1], "displaychange") == 0) {
    HWND window = FindWindowA("WindowsScreenSaverClass", "Screen Saver");
    if (window == nullptr) return 1;
    SendMessageA(window, WM_DISPLAYCHANGE, 32,
                 MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
    return 0;
  }
  if (std::strcmp(argv[1], "white") == 0 && argc > 5) return White(argv);
  if (std::strcmp(argv[1], "key") == 0 && argc > 2) {
    HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoul(argv[2], nullptr, 10)));
    return PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0x00390001) ? 0 : 1;
  }
  return 64;
}

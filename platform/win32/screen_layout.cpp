#include "platform/win32/screen_layout.h"

namespace lumenfall {

namespace {

using EnumDisplayMonitorsProc = BOOL(WINAPI*)(HDC, LPCRECT, MONITORENUMPROC, LPARAM);
using GetMonitorInfoProc = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);

struct MonitorList {
  GetMonitorInfoProc getInfo = nullptr;
  RECT* rects = nullptr;
  int count = 0;
};

RECT PrimaryScreenRect() {
  return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  MonitorList& list = *reinterpret_cast<MonitorList*>(data);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!list.getInfo(monitor, &info)) return TRUE;
  const RECT& r = info.rcMonitor;
  if (r.right <= r.left || r.bottom <= r.top) return TRUE;  // a monitor of no size
  list.rects[list.count++] = r;
  return list.count < kMaxMonitors ? TRUE : FALSE;
}

}  // namespace

RECT VirtualScreenRect() {
  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (width <= 0 || height <= 0) return PrimaryScreenRect();
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  return RECT{left, top, left + width, top + height};
}

int ListMonitors(RECT (&monitors)[kMaxMonitors]) {
  MonitorList list;
  list.rects = monitors;
  HMODULE user = GetModuleHandleA("USER32.DLL");
  if (user != nullptr) {
    auto enumerate = reinterpret_cast<EnumDisplayMonitorsProc>(
        reinterpret_cast<void*>(GetProcAddress(user, "EnumDisplayMonitors")));
    list.getInfo = reinterpret_cast<GetMonitorInfoProc>(
        reinterpret_cast<void*>(GetProcAddress(user, "GetMonitorInfoA")));
    if (enumerate != nullptr && list.getInfo != nullptr &&
        !enumerate(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&list)) &&
        list.count < kMaxMonitors) {
      list.count = 0;  // a failed enumeration: trust none of it
    }
  }
  if (list.count == 0) {
    monitors[0] = PrimaryScreenRect();
    list.count = 1;
  }
  return list.count;
}

}  // namespace lumenfall

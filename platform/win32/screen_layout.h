// Where the screen is: the virtual screen that spans every monitor, and each monitor's
// rectangle. Windows 95 has neither the virtual-screen metrics nor the monitor calls;
// there (and whenever they fail) the primary screen stands for both.
#pragma once

#include <windows.h>

namespace lumenfall {

constexpr int kMaxMonitors = 16;

// The virtual screen in screen coordinates; the primary screen {0, 0, SM_CXSCREEN,
// SM_CYSCREEN} where the system has no virtual-screen metrics.
RECT VirtualScreenRect();

// Up to kMaxMonitors monitor rectangles in screen coordinates, monitors of zero size
// left out. Never empty: when the enumeration is missing, fails or finds nothing, the
// one rectangle is the primary screen. Returns the count.
int ListMonitors(RECT (&monitors)[kMaxMonitors]);

}  // namespace lumenfall

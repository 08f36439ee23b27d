// The X side of the Linux saver's window: the resources it holds, its target, and the
// small requests around it (names, visuals, a blank cursor, full screen, grabs).
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>

#include "platform/x11/x11_errors.h"

namespace lumenfall {

// What the saver holds on the X server; released, and the display closed, on destruction.
struct XResources {
  Display* display = nullptr;
  Window window = 0;
  bool ownWindow = false;
  GC gc = nullptr;
  Cursor blankCursor = 0;
  bool grabbed = false;

  ~XResources() {
    if (display == nullptr) return;
    if (grabbed) {
      XUngrabPointer(display, CurrentTime);
      XUngrabKeyboard(display, CurrentTime);
    }
    if (gc != nullptr) XFreeGC(display, gc);
    if (ownWindow && window != 0) XDestroyWindow(display, window);
    if (blankCursor != 0) XFreeCursor(display, blankCursor);
    TakeXError(display);  // a window already gone makes errors here; they no longer matter
    XCloseDisplay(display);
  }
};

// A window id as people write it: 0x and hexadecimal digits.
std::string WindowName(unsigned long id);

// The name of an X visual class (TrueColor, PseudoColor, ...) for messages.
const char* VisualClassName(int visualClass);

// Bits per pixel of a ZPixmap image at this depth, or 0 when the server has none.
int ImageBitsForDepth(Display* display, int depth);

// A cursor without a visible pixel, to hide the pointer over the window.
Cursor MakeBlankCursor(Display* display, Window window);

// True when the window manager can make a window full screen itself.
bool ManagerSupportsFullScreen(Display* display, Window root);

// Gives the window its title and class, so that window managers can tell it.
void NameWindow(Display* display, Window window);

// The window the saver draws into, with its size and visual.
struct Target {
  Window window = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  Visual* visual = nullptr;
  int depth = 0;
};

}  // namespace lumenfall

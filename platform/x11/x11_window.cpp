#include "platform/x11/x11_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdio>

namespace lumenfall {

std::string WindowName(unsigned long id) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", id);
  return text;
}

const char* VisualClassName(int visualClass) {
  switch (visualClass) {
    case StaticGray: return "StaticGray";
    case GrayScale: return "GrayScale";
    case StaticColor: return "StaticColor";
    case PseudoColor: return "PseudoColor";
    case TrueColor: return "TrueColor";
    case DirectColor: return "DirectColor";
    default: return "unknown";
  }
}

// Bits per pixel of a ZPixmap image at this depth, or 0 when the server has none.
int ImageBitsForDepth(Display* display, int depth) {
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
  int bits = 0;
  for (int i = 0; formats != nullptr && i < count; ++i)
    if (formats[i].depth == depth) bits = formats[i].bits_per_pixel;
  if (formats != nullptr) XFree(formats);
  return bits;
}

Cursor MakeBlankCursor(Display* display, Window window) {
  static const char noBits[1] = {0};
  Pixmap empty = XCreateBitmapFromData(display, window, noBits, 1, 1);
  if (empty == 0) return 0;
  XColor black{};
  Cursor cursor = XCreatePixmapCursor(display, empty, empty, &black, &black, 0, 0);
  XFreePixmap(display, empty);
  return cursor;
}

// True when the window manager can make a window full screen itself.
bool ManagerSupportsFullScreen(Display* display, Window root) {
  const Atom supported = XInternAtom(display, "_NET_SUPPORTED", True);
  const Atom fullscreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", True);
  if (supported == None || fullscreen == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  bool found = false;
  if (XGetWindowProperty(display, root, supported, 0, 4096, False, XA_ATOM, &type, &format,
                         &count, &remaining, &data) == Success &&
      data != nullptr) {
    if (type == XA_ATOM && format == 32) {
      const auto* atoms = reinterpret_cast<const Atom*>(data);
      for (unsigned long i = 0; i < count; ++i) found = found || atoms[i] == fullscreen;
    }
    XFree(data);
  }
  return found;
}

void NameWindow(Display* display, Window window) {
  XStoreName(display, window, "Lumenfall");
  XClassHint hint;
  char name[] = "lumenfall";
  char className[] = "Lumenfall";
  hint.res_name = name;
  hint.res_class = className;
  XSetClassHint(display, window, &hint);
}

}  // namespace lumenfall

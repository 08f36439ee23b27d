#include "platform/x11/x11_monitors.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

#include "platform/x11/x11_errors.h"

namespace lumenfall {

MonitorSource::MonitorSource(Display* display, Window root, bool watch)
    : display_(display), root_(root) {
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (XRRQueryExtension(display, &eventBase, &errorBase) &&
      XRRQueryVersion(display, &major, &minor)) {
    randrEventBase_ = eventBase;
    randrMonitors_ = major > 1 || (major == 1 && minor >= 5);
    if (watch)
      XRRSelectInput(display, root, RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask |
                                        RROutputChangeNotifyMask);
  }
  xinerama_ = XineramaQueryExtension(display, &eventBase, &errorBase) && XineramaIsActive(display);
}

std::vector<MonitorRect> MonitorSource::Query() const {
  const XErrorRecord earlier = TakeXError(display_);
  std::vector<MonitorRect> fromRandr, fromXinerama;
  if (randrMonitors_) {
    int count = 0;
    if (XRRMonitorInfo* monitors = XRRGetMonitors(display_, root_, True, &count)) {
      for (int i = 0; i < count; ++i)
        fromRandr.push_back(MonitorRect{monitors[i].x, monitors[i].y, uint32_t(std::max(monitors[i].width, 0)),
                                        uint32_t(std::max(monitors[i].height, 0))});
      XRRFreeMonitors(monitors);
    }
  }
  if (xinerama_) {
    int count = 0;
    if (XineramaScreenInfo* heads = XineramaQueryScreens(display_, &count)) {
      for (int i = 0; i < count; ++i)
        fromXinerama.push_back(MonitorRect{heads[i].x_org, heads[i].y_org, uint32_t(std::max<int>(heads[i].width, 0)),
                                           uint32_t(std::max<int>(heads[i].height, 0))});
      XFree(heads);
    }
  }
  const bool failed = TakeXError(display_).any;  // a failed query names no monitors
  PutBackXError(earlier);
  if (failed) return {};
  return fromXinerama.size() > fromRandr.size() ? fromXinerama : fromRandr;
}

bool MonitorSource::IsChange(XEvent& event) const {
  if (event.type == ConfigureNotify && event.xconfigure.window == root_) {
    XRRUpdateConfiguration(&event);
    return true;
  }
  if (randrEventBase_ < 0) return false;
  const int offset = event.type - randrEventBase_;
  if (offset == RRScreenChangeNotify) {
    XRRUpdateConfiguration(&event);
    return true;
  }
  return offset == RRNotify;
}

}  // namespace lumenfall

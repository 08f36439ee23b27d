// The monitors of an X screen, as the server describes them: RandR 1.5's monitor list,
// else Xinerama's heads, and the events that say they have changed.
#pragma once

#include <X11/Xlib.h>

#include <vector>

#include "platform/x11/monitors.h"

namespace lumenfall {

class MonitorSource {
 public:
  // Asks the server which extensions it has and, when watch is true, to report
  // changes of its monitors on root.
  MonitorSource(Display* display, Window root, bool watch);

  // The monitors in root coordinates; empty when the server names none or the query
  // fails (the caller then takes the whole screen). When the server runs Xinerama over
  // several screens, RandR sees only the first of them: the list with more heads wins.
  std::vector<MonitorRect> Query() const;

  // True for an event that may mean the monitors have changed (it is also handed to
  // Xlib so that its idea of the screen's size stays current).
  bool IsChange(XEvent& event) const;

 private:
  Display* display_;
  Window root_;
  bool randrMonitors_ = false;  // RandR 1.5 or later
  int randrEventBase_ = -1;
  bool xinerama_ = false;
};

}  // namespace lumenfall

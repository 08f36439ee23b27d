// X protocol errors arrive asynchronously. The handler only records them; the saver
// looks at the record after each XSync, where it knows which request could have failed.
#pragma once

#include <X11/Xlib.h>

#include <string>

namespace lumenfall {

struct XErrorRecord {
  bool any = false;
  unsigned char code = 0;
  unsigned char request = 0;
  unsigned char minor = 0;
  XID resource = 0;
};

// Installs the recording error handler and an I/O error handler that ends the
// program with one line on standard error.
void InstallXErrorHandlers();

// Waits for every request so far to be answered, and takes the first error since the
// last call (any = false when there was none).
XErrorRecord TakeXError(Display* display);

// Makes a taken error pending again (when there is none pending), for code that had
// to look at the errors of one request of its own in between.
void PutBackXError(const XErrorRecord& error);

// True when the error says that the window (or a drawable that is that window) is gone.
bool ErrorMeansWindowGone(const XErrorRecord& error, Window window);

// One line describing the error, for standard error.
std::string DescribeXError(Display* display, const XErrorRecord& error);

}  // namespace lumenfall

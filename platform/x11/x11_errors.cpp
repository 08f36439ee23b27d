#include "platform/x11/x11_errors.h"

#include <cstdio>
#include <cstdlib>

namespace lumenfall {

namespace {

XErrorRecord firstError;

int RecordError(Display*, XErrorEvent* event) {
  if (!firstError.any) {
    firstError.any = true;
    firstError.code = event->error_code;
    firstError.request = event->request_code;
    firstError.minor = event->minor_code;
    firstError.resource = event->resourceid;
  }
  return 0;
}

int ConnectionLost(Display*) {
  std::fputs("lumenfall: lost the connection to the X server\n", stderr);
  // Shared memory was marked for removal as soon as it was attached, so the
  // segment goes away with the process.
  std::exit(1);
}

}  // namespace

void InstallXErrorHandlers() {
  XSetErrorHandler(RecordError);
  XSetIOErrorHandler(ConnectionLost);
}

XErrorRecord TakeXError(Display* display) {
  XSync(display, False);
  const XErrorRecord error = firstError;
  firstError = XErrorRecord{};
  return error;
}

void PutBackXError(const XErrorRecord& error) {
  if (error.any && !firstError.any) firstError = error;
}

bool ErrorMeansWindowGone(const XErrorRecord& error, Window window) {
  return error.any && (error.code == BadWindow || error.code == BadDrawable) &&
         error.resource == window;
}

std::string DescribeXError(Display* display, const XErrorRecord& error) {
  char text[160] = "unknown error";
  XGetErrorText(display, error.code, text, sizeof text);
  char line[256];
  std::snprintf(line, sizeof line, "X error: %s (request %u.%u, resource 0x%lx)", text,
                unsigned{error.request}, unsigned{error.minor},
                static_cast<unsigned long>(error.resource));
  return line;
}

}  // namespace lumenfall

#include "x11_harness.h"

#include <X11/Xutil.h>

#include <chrono>
#include <fstream>
#include <sstream>

namespace lumenfall::x11test {

namespace {

int IgnoreXError(Display*, XErrorEvent*) { return 0; }

uint8_t Channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  int width = 0;
  while (((mask >> (shift + width)) & 1u) != 0) ++width;
  const unsigned long field = (pixel & mask) >> shift;
  return static_cast<uint8_t>(width >= 8 ? field >> (width - 8) : field << (8 - width));
}

// The segments that the process created: id and size.
std::vector<std::pair<int, size_t>> SegmentsOf(pid_t pid) {
  std::vector<std::pair<int, size_t>> segments;
  std::ifstream table("/proc/sysvipc/shm");
  std::string line;
  std::getline(table, line);  // the header
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    long key = 0, id = 0, perms = 0, size = 0, cpid = 0;
    if (fields >> key >> id >> perms >> size >> cpid && cpid == pid) segments.emplace_back(int(id), size_t(size));
  }
  return segments;
}

}  // namespace

Connection::Connection(const XServer& server) {
  XSetErrorHandler(IgnoreXError);
  display = server.Running() ? XOpenDisplay(server.Name().c_str()) : nullptr;
}

Connection::~Connection() {
  if (display != nullptr) XCloseDisplay(display);
}

std::vector<std::string> SaverCommand(const std::vector<std::string>& arguments) {
  std::vector<std::string> command = {LUMENFALL_BINARY};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

bool CaptureWindow(Display* display, Window window, Picture& picture) {
  XWindowAttributes a{};
  if (XGetWindowAttributes(display, window, &a) == 0) return false;
  return CaptureArea(display, window, 0, 0, uint32_t(a.width), uint32_t(a.height), picture);
}

bool CaptureArea(Display* display, Window window, int left, int top, uint32_t width, uint32_t height,
                 Picture& picture) {
  XWindowAttributes a{};
  if (XGetWindowAttributes(display, window, &a) == 0) return false;
  XImage* image = XGetImage(display, window, left, top, width, height, AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  picture.width = width;
  picture.height = height;
  picture.pixels.assign(size_t{width} * height, Rgb{});
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const unsigned long p = XGetPixel(image, int(x), int(y));
      picture.pixels[size_t{y} * width + x] = {Channel(p, a.visual->red_mask), Channel(p, a.visual->green_mask),
                                               Channel(p, a.visual->blue_mask)};
    }
  }
  XDestroyImage(image);
  return true;
}

Window MakeWindow(Display* display, uint32_t width, uint32_t height) {
  const int screen = DefaultScreen(display);
  const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, width, height, 0,
                                            BlackPixel(display, screen), BlackPixel(display, screen));
  XSelectInput(display, window, StructureNotifyMask | ExposureMask);
  XMapWindow(display, window);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  XEvent event;
  while (std::chrono::steady_clock::now() < deadline && !XCheckTypedWindowEvent(display, window, MapNotify, &event))
    SleepMs(5);
  XSync(display, False);
  return window;
}

std::vector<int> SharedMemoryOf(pid_t pid) {
  std::vector<int> ids;
  for (const auto& segment : SegmentsOf(pid)) ids.push_back(segment.first);
  return ids;
}

size_t SharedMemoryBytesOf(pid_t pid) {
  size_t bytes = 0;
  for (const auto& segment : SegmentsOf(pid)) bytes += segment.second;
  return bytes;
}

}  // namespace lumenfall::x11test

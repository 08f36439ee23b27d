// The Linux saver: picks the window to draw into, runs the effect on a steady tick,
// stretches each picture over the window (full screen and on the root window, over
// each monitor) and ends on a signal, on the window's destruction or, full screen, on
// the saver's closing rules.
#include "platform/x11/x11_saver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "effect/memory_effect.h"
#include "platform/linux/monotonic_clock.h"
#include "platform/x11/monitors.h"
#include "platform/linux/visual_converter.h"
#include "platform/x11/presenter.h"
#include "platform/x11/render_presenter.h"
#include "platform/linux/saver_rules.h"
#include "platform/linux/stop_signal.h"
#include "platform/x11/x11_errors.h"
#include "platform/x11/x11_monitors.h"
#include "platform/x11/x11_window.h"

namespace lumenfall {

namespace {

// ---------------------------------------------------------------- signals

StopSignal stopSignal;
bool stopRequested = false;

// True once SIGTERM, SIGINT or SIGHUP has arrived.
bool StopRequested() {
  if (!stopRequested && stopSignal.Take()) stopRequested = true;
  return stopRequested;
}

// Waits until the X connection has data, a stop signal arrives or the time is up.
void WaitForInput(int xfd, uint64_t timeoutNs) {
  pollfd fds[2] = {{xfd, POLLIN, 0}, {stopSignal.Fd(), POLLIN, 0}};
  timespec timeout{static_cast<time_t>(timeoutNs / 1000000000u),
                   static_cast<long>(timeoutNs % 1000000000u)};
  ppoll(fds, 2, &timeout, nullptr);
}

// ---------------------------------------------------------------- waiting on the window

// Waits (at most about two seconds) for the window to be mapped.
void WaitForMap(Display* display, Window window) {
  const uint64_t deadline = MonotonicClock::Nanoseconds() + 2000000000u;
  for (;;) {
    XEvent event;
    if (XCheckTypedWindowEvent(display, window, MapNotify, &event)) {
      XPutBackEvent(display, &event);
      return;
    }
    const uint64_t now = MonotonicClock::Nanoseconds();
    if (now >= deadline || StopRequested()) return;
    XFlush(display);
    WaitForInput(ConnectionNumber(display), std::min<uint64_t>(deadline - now, 50000000u));
  }
}

// Takes keyboard and pointer so that any input reaches the saver; tries for about a
// second, as another client may hold a grab for a moment.
bool GrabInput(Display* display, Window window, Cursor cursor) {
  const uint64_t deadline = MonotonicClock::Nanoseconds() + 1000000000u;
  bool keyboard = false, pointer = false;
  for (;;) {
    if (!keyboard)
      keyboard = XGrabKeyboard(display, window, True, GrabModeAsync, GrabModeAsync,
                               CurrentTime) == GrabSuccess;
    if (!pointer)
      pointer = XGrabPointer(display, window, True,
                             ButtonPressMask | PointerMotionMask, GrabModeAsync,
                             GrabModeAsync, None, cursor, CurrentTime) == GrabSuccess;
    if ((keyboard && pointer) || StopRequested() || MonotonicClock::Nanoseconds() >= deadline)
      return keyboard || pointer;
    usleep(50000);
  }
}

// ---------------------------------------------------------------- the saver

class Saver {
 public:
  explicit Saver(const SaverOptions& options) : options_(options) {}
  int Run();

 private:
  int OpenTarget();
  int CreateOwnWindow(bool fullScreen);
  void HandleEvent(XEvent& event);
  void LayOut();
  bool WindowExists();
  void StopRendering(const XErrorRecord& error);
  bool DrawFrame();
  void DrawFps();

  const SaverOptions& options_;
  XResources x_;
  Target target_;
  int screen_ = 0;
  bool fullScreen_ = false;
  int referenceX_ = 0, referenceY_ = 0;
  bool stop_ = false;
  Atom deleteWindow_ = None;

  MonotonicClock clock_;
  std::unique_ptr<MemoryEffect> effect_;
  VisualConverter picture_;
  std::unique_ptr<MonitorSource> monitors_;  // full screen and root: a picture per monitor
  std::vector<MonitorRect> areas_;
  // Declared after x_, so that its X resources go before the display closes.
  std::unique_ptr<FramePresenter> presenter_;
  bool rendering_ = false;  // presenter_ is the server-side one

  uint64_t fpsStart_ = 0;
  uint32_t fpsFrames_ = 0;
  std::string fpsText_;
};

int Saver::CreateOwnWindow(bool fullScreen) {
  Display* d = x_.display;
  const Window root = RootWindow(d, screen_);
  const auto screenWidth = static_cast<uint32_t>(DisplayWidth(d, screen_));
  const auto screenHeight = static_cast<uint32_t>(DisplayHeight(d, screen_));
  uint32_t width = std::min(kOwnWindowWidth, screenWidth);
  uint32_t height = std::min(kOwnWindowHeight, screenHeight);
  if (fullScreen) {
    width = screenWidth;
    height = screenHeight;
  }
  const bool managed = fullScreen && ManagerSupportsFullScreen(d, root);

  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(d, screen_);
  attributes.event_mask = KeyPressMask | StructureNotifyMask;
  unsigned long mask = CWBackPixel | CWEventMask;
  if (fullScreen) {
    attributes.event_mask |= ButtonPressMask | PointerMotionMask;
    attributes.override_redirect = managed ? False : True;
    mask |= CWOverrideRedirect;
  }
  x_.window = XCreateWindow(d, root, 0, 0, width, height, 0, CopyFromParent, InputOutput,
                            CopyFromParent, mask, &attributes);
  x_.ownWindow = true;
  NameWindow(d, x_.window);
  deleteWindow_ = XInternAtom(d, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(d, x_.window, &deleteWindow_, 1);

  if (fullScreen) {
    if (managed) {
      const Atom state = XInternAtom(d, "_NET_WM_STATE", False);
      const Atom full = XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", False);
      XChangeProperty(d, x_.window, state, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&full), 1);
    }
    x_.blankCursor = MakeBlankCursor(d, x_.window);
    if (x_.blankCursor != 0) XDefineCursor(d, x_.window, x_.blankCursor);
  }
  XMapRaised(d, x_.window);
  if (fullScreen) {
    WaitForMap(d, x_.window);
    x_.grabbed = GrabInput(d, x_.window, x_.blankCursor);
    // The reference point of the movement rule: where the pointer is now.
    Window rootReturn = 0, child = 0;
    int wx = 0, wy = 0;
    unsigned int buttons = 0;
    XQueryPointer(d, root, &rootReturn, &child, &referenceX_, &referenceY_, &wx, &wy, &buttons);
  }

  XWindowAttributes a{};
  XGetWindowAttributes(d, x_.window, &a);
  target_ = Target{x_.window, uint32_t(a.width), uint32_t(a.height), a.visual, a.depth};
  return 0;
}

int Saver::OpenTarget() {
  Display* d = x_.display;
  switch (options_.mode) {
    case OutputMode::OwnWindow: return CreateOwnWindow(false);
    case OutputMode::FullScreen: fullScreen_ = true; return CreateOwnWindow(true);
    case OutputMode::Root:
    case OutputMode::ForeignWindow: break;
    case OutputMode::Background:
    case OutputMode::Overlay: return Fail("the layer modes need a Wayland compositor");
  }
  const Window window =
      options_.mode == OutputMode::Root ? RootWindow(d, screen_) : Window(options_.windowId);
  XWindowAttributes a{};
  TakeXError(d);
  const Status status = XGetWindowAttributes(d, window, &a);
  if (status == 0 || TakeXError(d).any) {
    return Fail("no window " + WindowName(window) +
                (options_.windowFromEnvironment ? " (from XSCREENSAVER_WINDOW)" : "") +
                " on display " + DisplayString(d));
  }
  // Somebody else's window: only its size and its end interest us.
  XSelectInput(d, window, StructureNotifyMask);
  x_.window = window;
  target_ = Target{window, uint32_t(a.width), uint32_t(a.height), a.visual, a.depth};
  return 0;
}

// The areas that each get the whole picture: the monitors, or the whole window.
void Saver::LayOut() {
  areas_ = LayOutMonitors(monitors_ ? monitors_->Query() : std::vector<MonitorRect>{}, target_.width,
                          target_.height);
}

void Saver::HandleEvent(XEvent& event) {
  if (monitors_ && monitors_->IsChange(event)) {
    if (x_.ownWindow && event.type == ConfigureNotify)  // the screen's new size
      XResizeWindow(x_.display, x_.window, unsigned(DisplayWidth(x_.display, screen_)),
                    unsigned(DisplayHeight(x_.display, screen_)));
    if (event.type != ConfigureNotify || event.xconfigure.window != target_.window) LayOut();
  }
  switch (event.type) {
    case ConfigureNotify:
      if (event.xconfigure.window == target_.window) {
        target_.width = uint32_t(std::max(event.xconfigure.width, 1));
        target_.height = uint32_t(std::max(event.xconfigure.height, 1));
        // Under Xinerama the root's events give the first screen's size, not the whole.
        XWindowAttributes a{};
        if (options_.mode == OutputMode::Root && XGetWindowAttributes(x_.display, target_.window, &a)) {
          target_.width = uint32_t(std::max(a.width, 1));
          target_.height = uint32_t(std::max(a.height, 1));
        }
        LayOut();
      }
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == target_.window) {
        stop_ = true;
      }
      break;
    case ClientMessage:
      if (x_.ownWindow && event.xclient.format == 32 &&
          Atom(event.xclient.data.l[0]) == deleteWindow_)
        stop_ = true;
      break;
    case KeyPress:
      // A key ends the saver in its own windows; foreign windows send us no input.
      if (x_.ownWindow) stop_ = true;
      break;
    case ButtonPress:
      if (fullScreen_) stop_ = true;
      break;
    case MotionNotify:
      if (fullScreen_) {
        const int distance = std::abs(event.xmotion.x_root - referenceX_) +
                             std::abs(event.xmotion.y_root - referenceY_);
        if (distance > kMoveThreshold) {
          referenceX_ = event.xmotion.x_root;
          referenceY_ = event.xmotion.y_root;
          stop_ = true;
        }
      }
      break;
    default:
      break;
  }
}

void Saver::DrawFps() {
  const uint64_t now = MonotonicClock::Nanoseconds();
  ++fpsFrames_;
  if (fpsStart_ == 0) fpsStart_ = now;
  if (now - fpsStart_ >= 1000000000u) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f fps",
                  double(fpsFrames_) * 1e9 / double(now - fpsStart_));
    fpsText_ = text;
    fpsStart_ = now;
    fpsFrames_ = 0;
  }
  if (!fpsText_.empty())
    XDrawString(x_.display, target_.window, x_.gc, 6, 16, fpsText_.c_str(),
                static_cast<int>(fpsText_.size()));
}

bool Saver::DrawFrame() {
  effect_->Step(options_.flags);
  MemorySurface& show = effect_->Show();
  if (!picture_.Convert(show.Pixels(), show.Desc().width, show.Desc().height, show.Desc().pitch))
    return false;
  if (!presenter_->Show(picture_, areas_)) return false;
  if (options_.showFps) DrawFps();
  return true;
}

bool Saver::WindowExists() {
  XWindowAttributes a{};
  const Status status = XGetWindowAttributes(x_.display, target_.window, &a);
  return !TakeXError(x_.display).any && status != 0;
}

// The server's scaling failed: the picture is stretched here for the rest of the run.
void Saver::StopRendering(const XErrorRecord& error) {
  std::fprintf(stderr, "lumenfall: the X server cannot scale the picture (%s); scaling it here instead\n",
               DescribeXError(x_.display, error).c_str());
  presenter_.reset();
  TakeXError(x_.display);  // freeing what failed may fail too
  presenter_ = std::make_unique<StripPresenter>(x_.display, target_.window, x_.gc, target_.visual,
                                                target_.depth, ServerHasSharedMemory(x_.display));
  rendering_ = false;
}

int Saver::Run() {
  if (!stopSignal.Open()) return Fail("cannot set up signal handling");
  InstallXErrorHandlers();

  const char* name = options_.displayName.empty() ? nullptr : options_.displayName.c_str();
  x_.display = XOpenDisplay(name);
  if (x_.display == nullptr) {
    const char* shown = name != nullptr ? name : std::getenv("DISPLAY");
    return Fail(std::string("cannot open display '") + (shown != nullptr ? shown : "") + "'");
  }
  Display* d = x_.display;
  screen_ = DefaultScreen(d);

  if (const int status = OpenTarget(); status != 0) return status;

  // The visual: TrueColor at a depth whose image pixels we can write.
  if (target_.visual == nullptr || target_.visual->c_class != TrueColor) {
    return Fail("cannot draw to a " + std::to_string(target_.depth) + "-bit " +
                VisualClassName(target_.visual != nullptr ? target_.visual->c_class : -1) +
                " visual (a TrueColor visual of 15 to 32 bits is needed)");
  }
  VisualFormat format;
  format.bitsPerPixel = uint32_t(ImageBitsForDepth(d, target_.depth));
  format.redMask = uint32_t(target_.visual->red_mask);
  format.greenMask = uint32_t(target_.visual->green_mask);
  format.blueMask = uint32_t(target_.visual->blue_mask);
  format.msbFirst = ImageByteOrder(d) == MSBFirst;
  if (const std::string problem = VisualProblem(format); !problem.empty()) return Fail(problem);

  // The generator is seeded from the clock, as the Windows saver seeds it at start-up.
  effect_ = std::make_unique<MemoryEffect>(EmulatedFormat{options_.depth, options_.layout}, clock_,
                                           clock_.TickCount());
  effect_->ShowOwnLines(options_.lines);
  if (!picture_.Configure(effect_->Display(), format)) return Fail("cannot convert pictures to this visual");

  XGCValues values{};
  values.foreground = format.redMask | format.greenMask | format.blueMask;  // white
  values.graphics_exposures = False;
  x_.gc = XCreateGC(d, target_.window, GCForeground | GCGraphicsExposures, &values);
  if (const XErrorRecord error = TakeXError(d); error.any) {
    if (ErrorMeansWindowGone(error, target_.window)) return 0;
    return Fail(DescribeXError(d, error));
  }

  // A picture per monitor where the saver has the screen to itself; xscreensaver and
  // other hosts give each monitor a window of its own.
  const Window root = RootWindow(d, screen_);
  if (options_.mode == OutputMode::FullScreen || options_.mode == OutputMode::Root) {
    if (x_.ownWindow) XSelectInput(d, root, StructureNotifyMask);  // the screen's size
    monitors_ = std::make_unique<MonitorSource>(d, root, true);
  }
  LayOut();

  const bool shm = ServerHasSharedMemory(d);
  if (options_.serverScaling) {
    presenter_ = RenderPresenter::Create(d, target_.window, x_.gc, target_.visual, target_.depth, shm);
    rendering_ = presenter_ != nullptr;
    if (const XErrorRecord error = TakeXError(d); error.any) {
      if (ErrorMeansWindowGone(error, target_.window) || !WindowExists()) return 0;
      StopRendering(error);
    }
  }
  if (!presenter_)
    presenter_ = std::make_unique<StripPresenter>(d, target_.window, x_.gc, target_.visual, target_.depth, shm);

  const int xfd = ConnectionNumber(d);
  const uint64_t tick = std::max<uint64_t>(uint64_t{options_.delayMicroseconds} * 1000u, kMinimumTickNs);
  uint64_t next = MonotonicClock::Nanoseconds();
  while (!stop_ && !StopRequested()) {
    while (!stop_ && XPending(d) > 0) {
      XEvent event;
      XNextEvent(d, &event);
      HandleEvent(event);
    }
    if (stop_ || StopRequested()) break;

    const uint64_t now = MonotonicClock::Nanoseconds();
    if (now >= next) {
      if (!DrawFrame()) {
        return Fail("cannot make an image of " + std::to_string(target_.width) + " x " +
                    std::to_string(target_.height) + " pixels for the window");
      }
      const XErrorRecord error = TakeXError(d);  // also waits until the server has the frame
      if (error.any) {
        if (ErrorMeansWindowGone(error, target_.window)) break;
        if (!rendering_) return Fail(DescribeXError(d, error));
        if (!WindowExists()) break;  // its RENDER picture went with it
        StopRendering(error);
      }
      next += tick;
      if (next <= now) next = now + tick;  // fell behind: no burst of catch-up frames
      continue;
    }
    XFlush(d);
    WaitForInput(xfd, next - now);
  }
  return 0;
}

}  // namespace

int RunX11Saver(const SaverOptions& options) {
  Saver saver(options);
  return saver.Run();
}

}  // namespace lumenfall

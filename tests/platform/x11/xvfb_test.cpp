// The saver on a private Xvfb server: what it draws, where, and when it ends.
//
// Timing: the first text line fades in over the first 2.05 s of the run and is burnt
// into the trail for the next 2.05 s, so a picture taken about 3.2 s after the start
// shows the line crisp and white in the centre rows with its trail torn outward.
// The trail of Malachi Red loses green and blue before red; that of Deep Blue loses
// red and green before blue. The checks hold at any frame rate: a slow machine
// shows fewer, larger steps of the same schedule.
#include <gtest/gtest.h>  // before Xlib, whose macros (None, Bool) clash with it
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "display/stretch.h"
#include "x11_harness.h"
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>

#ifdef LUMENFALL_HAVE_XTEST
#include <X11/extensions/XTest.h>
#endif

namespace lumenfall::x11test {
namespace {

constexpr int kSettleMs = 3200;  // into the burn-in of the first line

#define START_XVFB(server, client, ...) START_X(XvfbServer, server, client, __VA_ARGS__)

bool HasExtension(Display* display, const char* name) {
  int opcode = 0, event = 0, error = 0;
  return XQueryExtension(display, name, &opcode, &event, &error);
}

// The root window's children, bottom to top.
std::vector<Window> TopWindows(Display* display) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  std::vector<Window> windows;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) && children != nullptr) {
    windows.assign(children, children + count);
    XFree(children);
  }
  return windows;
}

std::string Hex(Window window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", window);
  return text;
}

Environment On(const XServer& server) { return {{"DISPLAY", server.Name()}}; }

// Lets the saver run into the burn-in of the first line, then reads the window: the
// text band shows in it.
void CaptureSettled(Process& saver, Display* display, Window window, Picture& picture) {
  SleepMs(kSettleMs);
  ASSERT_TRUE(saver.Running()) << saver.Stderr();
  ASSERT_TRUE(CaptureWindow(display, window, picture));
  ExpectTextBand(picture);
}

// ------------------------------------------------------------------ drawing

TEST(X11Saver, DrawsMalachiRedIntoAGivenWindowWithoutAskingForItsInput) {
  START_XVFB(server, c);
  const Window window = MakeWindow(c.display, 400, 300);
  Process saver(SaverCommand({"--window-id", Hex(window)}), On(server));
  ASSERT_TRUE(saver.Started());
  Picture picture;
  ASSERT_NO_FATAL_FAILURE(CaptureSettled(saver, c.display, window, picture));
  ExpectTrail(picture, Hue::Red);

  XWindowAttributes a{};
  ASSERT_NE(XGetWindowAttributes(c.display, window, &a), 0);
  EXPECT_EQ(a.width, 400);
  EXPECT_EQ(a.height, 300);
  const long input = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                     PointerMotionMask | EnterWindowMask | LeaveWindowMask | FocusChangeMask;
  EXPECT_EQ(a.all_event_masks & input, 0) << "nobody asked for input on the window";
  ExpectEndsOnSignal(saver, SIGTERM);
}

TEST(X11Saver, DrawsDeepBlueIntoTheXscreensaverWindowAndEndsWithIt) {
  START_XVFB(server, c);
  const Window window = MakeWindow(c.display, 400, 300);
  auto environment = On(server);
  environment["XSCREENSAVER_WINDOW"] = std::to_string(window);
  Process saver(SaverCommand({"-root", "-text-set", "deep-blue"}), environment);
  Picture picture;
  ASSERT_NO_FATAL_FAILURE(CaptureSettled(saver, c.display, window, picture));
  ExpectTrail(picture, Hue::Blue);

  XDestroyWindow(c.display, window);
  XSync(c.display, False);
  EXPECT_TRUE(saver.ExitedWithin(1000)) << "ends within a second of the window's end";
  EXPECT_EQ(saver.ExitCode(), 0);
  EXPECT_EQ(saver.Stderr(), "");
}

TEST(X11Saver, DrawsTheLinesOfATextFileInTheTextSetsColours) {
  START_XVFB(server, c);
  const std::string path = std::string(LUMENFALL_TEST_WORK) + "/own-lines.txt";
  std::ofstream(path) << "MM\n";
  const Window window = MakeWindow(c.display, 400, 300);
  Process saver(SaverCommand({"--window-id", Hex(window), "--text-file", path, "--text-set", "deep-blue"}),
              On(server));
  Picture picture;
  ASSERT_NO_FATAL_FAILURE(CaptureSettled(saver, c.display, window, picture));
  ExpectTextAcross(picture, 170, 230);  // 2 x (29 + 1) pixels, centred; "Deep Blue" is 121 to 278
  ExpectTrail(picture, Hue::Blue);
  ExpectEndsOnSignal(saver, SIGTERM);
}

TEST(X11Saver, LeavesAForeignWindowUnmappedAndUnresized) {
  START_XVFB(server, c);
  // Made by a client that selects no event on it: the events selected on it are the saver's.
  const Window window = XCreateSimpleWindow(c.display, DefaultRootWindow(c.display), 0, 0, 300, 200, 0, 0, 0);
  XSync(c.display, False);
  Process saver(SaverCommand({"--window-id", std::to_string(window)}), On(server));
  SleepMs(800);
  ASSERT_TRUE(saver.Running()) << saver.Stderr();
  XWindowAttributes a{};
  ASSERT_NE(XGetWindowAttributes(c.display, window, &a), 0);
  EXPECT_EQ(a.map_state, IsUnmapped);
  EXPECT_EQ(a.width, 300);
  EXPECT_EQ(a.height, 200);
  EXPECT_EQ(a.all_event_masks, StructureNotifyMask) << "the saver asks for the window's size and end only";

  XDestroyWindow(c.display, window);
  XSync(c.display, False);
  EXPECT_TRUE(saver.ExitedWithin(1000));
  EXPECT_EQ(saver.ExitCode(), 0);
}

// Every 2 x 2 block of a picture stretched to exactly twice 400 x 300 is one colour.
void ExpectDoubledPixels(const Picture& c) {
  ASSERT_EQ(c.width, 800u);
  ASSERT_EQ(c.height, 600u);
  uint32_t mismatches = 0;
  for (uint32_t y = 0; y < 600; y += 2)
    for (uint32_t x = 0; x < 800; x += 2) {
      const Rgb& p = c.At(x, y);
      for (const Rgb& q : {c.At(x + 1, y), c.At(x, y + 1), c.At(x + 1, y + 1)})
        mismatches += (q.r != p.r || q.g != p.g || q.b != p.b) ? 1 : 0;
    }
  EXPECT_EQ(mismatches, 0u);
}

TEST(X11Saver, FollowsTheWindowThroughResizes) {
  START_XVFB(server, c, "1024x768x24");
  const Window window = MakeWindow(c.display, 400, 300);
  Process saver(SaverCommand({"--window-id", Hex(window)}), On(server));
  const auto start = std::chrono::steady_clock::now();

  // The smallest window, then one of 7680 x 4320 (larger than the screen).
  SleepMs(300);
  XResizeWindow(c.display, window, 1, 1);
  XSync(c.display, False);
  SleepMs(500);
  ASSERT_TRUE(saver.Running()) << saver.Stderr();

  XResizeWindow(c.display, window, 7680, 4320);
  XSync(c.display, False);
  SleepMs(1400);
  ASSERT_TRUE(saver.Running()) << saver.Stderr();

  // Then exactly twice the picture's size, read in the burn-in of the first line.
  XResizeWindow(c.display, window, 800, 600);
  XSync(c.display, False);
  std::this_thread::sleep_until(start + std::chrono::milliseconds(kSettleMs));
  ASSERT_TRUE(saver.Running()) << saver.Stderr();
  Picture picture;
  ASSERT_TRUE(CaptureWindow(c.display, window, picture));
  ExpectDoubledPixels(picture);
  ExpectTextBand(picture);
  ExpectEndsOnSignal(saver, SIGTERM);
}

// The saver with the option that picks the root window (either dash style), read in
// the burn-in of the first line; check looks at the picture while the saver still runs,
// which then ends on the signal.
void RunOnRoot(const XServer& server, Display* display, const char* option, int sig,
               const std::function<void(const Picture&, const Process&)>& check) {
  Process saver(SaverCommand({option}), On(server));
  Picture picture;
  ASSERT_NO_FATAL_FAILURE(CaptureSettled(saver, display, DefaultRootWindow(display), picture));
  check(picture, saver);
  ExpectEndsOnSignal(saver, sig);
}

TEST(X11Saver, DrawsOnTheRootWindow) {
  START_XVFB(server, c);
  RunOnRoot(server, c.display, "--root", SIGINT, [](const Picture& picture, const Process&) { ExpectTrail(picture, Hue::Red); });
}

TEST(X11Saver, DrawsOnASixteenBitScreen) {
  START_XVFB(server, c, "640x480x16");
  ASSERT_EQ(DefaultDepth(c.display, 0), 16);
  RunOnRoot(server, c.display, "-root", SIGTERM, [](const Picture& picture, const Process&) { ExpectTrail(picture, Hue::Red); });
}

TEST(X11Saver, FallsBackToPlainImagesWithoutSharedMemory) {
  START_XVFB(server, c, "640x480x24", {"-extension", "MIT-SHM"});
  ASSERT_FALSE(HasExtension(c.display, "MIT-SHM"));
  RunOnRoot(server, c.display, "--root", SIGTERM, [](const Picture&, const Process& saver) {
    EXPECT_TRUE(SharedMemoryOf(saver.Pid()).empty());
  });
}

TEST(X11Saver, EmulatedDepthsShowTheirOwnFormats) {
  START_XVFB(server, c, "1024x768x24");
  const Window grey = MakeWindow(c.display, 400, 300);
  const Window wide = MakeWindow(c.display, 400, 300);
  XMoveWindow(c.display, wide, 420, 0);
  XSync(c.display, False);
  Process greySaver(SaverCommand({"--window-id", Hex(grey), "--depth", "8"}), On(server));
  Process wideSaver(SaverCommand({"--window-id", Hex(wide), "--depth", "16", "--layout", "555"}),
                  On(server));
  SleepMs(kSettleMs);
  ASSERT_TRUE(greySaver.Running()) << greySaver.Stderr();
  ASSERT_TRUE(wideSaver.Running()) << wideSaver.Stderr();

  // 8 bits: every colour is a grey of the palette.
  Picture picture;
  ASSERT_TRUE(CaptureWindow(c.display, grey, picture));
  ExpectTextBand(picture);
  uint32_t coloured = 0, lit = 0;
  for (const Rgb& p : picture.pixels) {
    coloured += (p.r != p.g || p.g != p.b) ? 1 : 0;
    lit += p.r > 24 ? 1 : 0;
  }
  EXPECT_EQ(coloured, 0u);
  EXPECT_GT(lit, 2000u);

  // 16 bits in 5-5-5: each channel has five bits, widened with zero low bits.
  ASSERT_TRUE(CaptureWindow(c.display, wide, picture));
  ExpectTextBand(picture);
  ExpectTrail(picture, Hue::Red);
  uint32_t fine = 0;
  for (const Rgb& p : picture.pixels) fine += ((p.r | p.g | p.b) & 7) != 0 ? 1 : 0;
  EXPECT_EQ(fine, 0u);

  ExpectEndsOnSignal(greySaver, SIGTERM);
  ExpectEndsOnSignal(wideSaver, SIGTERM);
}

TEST(X11Saver, ShowsFramesPerSecondInTheCorner) {
  START_XVFB(server, c);
  const Window window = MakeWindow(c.display, 400, 300);
  Process saver(SaverCommand({"--window-id", Hex(window), "--fps", "--delay", "20000"}), On(server));
  SleepMs(1800);
  ASSERT_TRUE(saver.Running()) << saver.Stderr();
  Picture picture;
  ASSERT_TRUE(CaptureWindow(c.display, window, picture));
  uint32_t white = 0;
  for (uint32_t y = 0; y < 24; ++y)
    for (uint32_t x = 0; x < 120; ++x) white += Bright(picture.At(x, y)) ? 1 : 0;
  EXPECT_GT(white, 20u) << "the frame rate is written in the top left corner";
  ExpectEndsOnSignal(saver, SIGTERM);
}

// ------------------------------------------------------------------ monitors and scaling

constexpr uint32_t kPictureWidth = 400, kPictureHeight = 300;

// The 400 x 300 picture read back from an area that shows it stretched with the work
// surfaces' sampling: each source pixel from the middle of the run of area pixels that
// sample it.
std::vector<Rgb> PictureIn(const Picture& area) {
  auto middles = [](uint32_t source, uint32_t length) {
    std::vector<uint32_t> first(source, length), last(source, 0);
    for (uint32_t i = 0; i < length; ++i) {
      const uint32_t s = StretchSample(i, source, length);
      first[s] = std::min(first[s], i);
      last[s] = std::max(last[s], i);
    }
    for (uint32_t s = 0; s < source; ++s) first[s] = (first[s] + last[s]) / 2;
    return first;
  };
  const std::vector<uint32_t> columns = middles(kPictureWidth, area.width);
  const std::vector<uint32_t> rows = middles(kPictureHeight, area.height);
  std::vector<Rgb> picture;
  for (uint32_t v = 0; v < kPictureHeight; ++v)
    for (uint32_t u = 0; u < kPictureWidth; ++u) picture.push_back(area.At(columns[u], rows[v]));
  return picture;
}


// Captures the areas with the saver stopped between two frames. A stop can fall in
// the middle of a frame, between one monitor's requests and the next one's: then the
// pictures differ and the capture is taken again, a few times at most.
std::vector<Picture> CaptureStill(Process& saver, Display* display, Window window,
                                  const std::vector<TwoHeadServer::Head>& areas) {
  std::vector<Picture> captures(areas.size());
  for (int attempt = 0; attempt < 5; ++attempt) {
    saver.Signal(SIGSTOP);
    SleepMs(150);
    for (size_t i = 0; i < areas.size(); ++i)
      CaptureArea(display, window, areas[i].x, areas[i].y, areas[i].width, areas[i].height, captures[i]);
    saver.Signal(SIGCONT);
    bool same = true;
    for (size_t i = 1; i < areas.size(); ++i) same = same && PictureIn(captures[i]) == PictureIn(captures[0]);
    if (same) break;
    SleepMs(100);
  }
  return captures;
}

// Each area shows the whole picture (the text band in its centre), the same picture.
void ExpectOnePicturePerArea(Process& saver, Display* display, const std::vector<TwoHeadServer::Head>& areas) {
  const std::vector<Picture> captures = CaptureStill(saver, display, DefaultRootWindow(display), areas);
  for (size_t i = 0; i < captures.size(); ++i) {
    SCOPED_TRACE("area " + std::to_string(i));
    ExpectTextBand(captures[i]);
    EXPECT_TRUE(PictureIn(captures[i]) == PictureIn(captures[0])) << "the same picture on every area";
  }
}

TEST(X11Saver, FullScreenAndRootShowTheWholePictureOnEachMonitor) {
  START_X(TwoHeadServer, server, c);
  const std::vector<TwoHeadServer::Head> heads(std::begin(TwoHeadServer::kHeads),
                                               std::end(TwoHeadServer::kHeads));
  for (const char* mode : {"--root", "--fullscreen"}) {
    SCOPED_TRACE(mode);
    Process saver(SaverCommand({mode}), On(server));
    SleepMs(kSettleMs);
    ASSERT_TRUE(saver.Running()) << saver.Stderr();
    ExpectOnePicturePerArea(saver, c.display, heads);
    ExpectEndsOnSignal(saver, SIGTERM);
  }
}

TEST(X11Saver, LaysThePicturesOutAgainWhenTheMonitorsChange) {
  START_XVFB(server, c, "1600x800x24");
  Process saver(SaverCommand({"--root"}), On(server));
  SleepMs(500);
  ASSERT_TRUE(saver.Running()) << saver.Stderr();
  // Two monitors on the one output, as xrandr --setmonitor makes them.
  const std::vector<TwoHeadServer::Head> halves = {{0, 0, 800, 800}, {800, 0, 800, 400}};
  for (const TwoHeadServer::Head& half : halves) {
    XRRMonitorInfo* monitor = XRRAllocateMonitor(c.display, 0);
    ASSERT_NE(monitor, nullptr);
    monitor->name = XInternAtom(c.display, half.x == 0 ? "LEFT" : "RIGHT", False);
    monitor->x = half.x;
    monitor->y = half.y;
    monitor->width = int(half.width);
    monitor->height = int(half.height);
    monitor->mwidth = int(half.width / 4);
    monitor->mheight = int(half.height / 4);
    XRRSetMonitor(c.display, DefaultRootWindow(c.display), monitor);
    XRRFreeMonitors(monitor);
  }
  XSync(c.display, False);
  SleepMs(kSettleMs - 500);
  ASSERT_TRUE(saver.Running()) << saver.Stderr();
  ExpectOnePicturePerArea(saver, c.display, halves);
  ExpectEndsOnSignal(saver, SIGTERM);
}

// The server's scaling samples as the work surfaces do, at most one source pixel off;
// the saver's own is exact. 1000 x 700 is a scale that 16.16 fixed point cannot hold.
TEST(X11Saver, ServerScalingSamplesAsItsOwnWithinOneSourcePixel) {
  START_XVFB(server, c, "1024x768x24");
  const Window window = MakeWindow(c.display, 1000, 700);
  for (const bool ownScaling : {true, false}) {
    SCOPED_TRACE(ownScaling ? "--no-render" : "RENDER");
    std::vector<std::string> arguments = {"--window-id", Hex(window)};
    if (ownScaling) arguments.push_back("--no-render");
    Process saver(SaverCommand(arguments), On(server));
    SleepMs(kSettleMs);
    ASSERT_TRUE(saver.Running()) << saver.Stderr();
    // The image that goes to the server: the 400 x 300 picture, or the distinct rows.
    EXPECT_EQ(SharedMemoryBytesOf(saver.Pid()), ownScaling ? 1000u * 300 * 4 : 400u * 300 * 4);
    const Picture area = CaptureStill(saver, c.display, window, {{0, 0, 1000, 700}})[0];
    const std::vector<Rgb> picture = PictureIn(area);
    uint32_t exact = 0, near = 0;
    for (uint32_t y = 0; y < area.height; ++y)
      for (uint32_t x = 0; x < area.width; ++x) {
        const int u = int(StretchSample(x, kPictureWidth, area.width));
        const int v = int(StretchSample(y, kPictureHeight, area.height));
        const Rgb& shown = area.At(x, y);
        if (shown == picture[size_t(v) * kPictureWidth + size_t(u)]) {
          ++exact;
          continue;
        }
        bool neighbour = false;
        for (int dv = -1; dv <= 1; ++dv)
          for (int du = -1; du <= 1; ++du) {
            const int su = std::clamp(u + du, 0, int(kPictureWidth) - 1);
            const int sv = std::clamp(v + dv, 0, int(kPictureHeight) - 1);
            neighbour = neighbour || shown == picture[size_t(sv) * kPictureWidth + size_t(su)];
          }
        near += neighbour ? 1 : 0;
      }
    const uint32_t all = area.width * area.height;
    EXPECT_EQ(exact + near, all) << "every pixel within one source pixel of its own";
    if (ownScaling) {
      EXPECT_EQ(exact, all);
    }
    ExpectEndsOnSignal(saver, SIGTERM);
  }
}

TEST(X11Saver, ScalesThePictureItselfWithoutRender) {
  START_XVFB(server, c, "640x480x24", {"-extension", "RENDER"});
  ASSERT_FALSE(HasExtension(c.display, "RENDER"));
  RunOnRoot(server, c.display, "--root", SIGTERM, [](const Picture&, const Process&) {});  // the text band
}

// ------------------------------------------------------------------ xscreensaver

// The parent of a process, or 0 when it is gone.
pid_t ParentOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  const size_t close = text.rfind(')');  // the name may hold spaces and parentheses
  if (close == std::string::npos) return 0;
  std::istringstream rest(text.substr(close + 1));
  char state = 0;
  pid_t parent = 0;
  rest >> state >> parent;
  return parent;
}

// The processes running the saver's binary below the given process (the daemon), so
// that savers of tests running beside this one do not count.
std::vector<pid_t> RunningSavers(pid_t ancestor) {
  std::vector<pid_t> pids;
  char self[4096];
  const ssize_t length = readlink(LUMENFALL_BINARY, self, sizeof self - 1);
  const std::string binary = length > 0 ? std::string(self, size_t(length)) : std::string(LUMENFALL_BINARY);
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink(entry.path() / "exe", error);
    if (error || exe != binary) continue;
    const pid_t pid = pid_t(std::stol(entry.path().filename().string()));
    for (pid_t p = ParentOf(pid); p > 1; p = ParentOf(p)) {
      if (p == ancestor) {
        pids.push_back(pid);
        break;
      }
    }
  }
  return pids;
}

// A private home for xscreensaver run as the user, with its settings: this saver only
// (the command), no lock, fade or splash.
std::filesystem::path XscreensaverHome(const std::string& name, const std::string& command) {
  const TestUser& user = TheTestUser();
  const std::filesystem::path home = std::filesystem::path(LUMENFALL_TEST_WORK) / name;
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home);
  {
    std::ofstream settings(home / ".xscreensaver");
    settings << "timeout: 0:30:00\ncycle: 0:00:00\nlock: False\nfade: False\nunfade: False\n"
                "splash: False\ndpmsEnabled: False\nmode: one\nselected: 0\n"
                "programs: \"Lumenfall\" "
             << command << " \\n\n";
  }
  EXPECT_EQ(chown(home.c_str(), user.uid, user.gid), 0);
  EXPECT_EQ(chown((home / ".xscreensaver").c_str(), user.uid, user.gid), 0);
  return home;
}

// Debian's xscreensaver on two monitors, set to run the saver with the command line of
// its settings description: on activation one saver per monitor, each showing the
// picture on its own head; on deactivation all of them gone within a second.
TEST(X11Saver, XscreensaverRunsOneSaverPerMonitorAndEndsThemAll) {
  const std::string xscreensaver = FindTool("xscreensaver"), xscreensaverCommand = FindTool("xscreensaver-command");
  REQUIRE_TOOL(!xscreensaver.empty() && !xscreensaverCommand.empty(),
               "xscreensaver is not installed (apt-get install xscreensaver)");
  START_X(TwoHeadServer, server, c);
  ASSERT_EQ(TheTestUser().error, "");  // it refuses to run as root
  const std::filesystem::path home = XscreensaverHome("xscreensaver-home", LUMENFALL_BINARY " -root");
  const Environment environment = {{"DISPLAY", server.Name()}, {"HOME", home.string()}};
  auto command = [&](const std::string& what) {
    return RunToEnd(AsTestUser({xscreensaverCommand, what}), environment, 5000) == 0;
  };

  Process daemon(AsTestUser({xscreensaver, "-no-splash"}), environment);
  bool ready = false;
  for (int i = 0; i < 50 && !ready && daemon.Running(); ++i) {
    ready = command("-time");
    if (!ready) SleepMs(200);
  }
  ASSERT_TRUE(ready) << daemon.Stderr();

  ASSERT_TRUE(command("-activate"));
  for (int i = 0; i < 200 && RunningSavers(daemon.Pid()).size() < 2; ++i) SleepMs(50);  // after its fade
  SleepMs(kSettleMs);
  EXPECT_EQ(RunningSavers(daemon.Pid()).size(), 2u) << "one saver per monitor\n" << daemon.Stderr();
  for (const TwoHeadServer::Head& head : TwoHeadServer::kHeads) {
    SCOPED_TRACE(head.x);
    Picture picture;
    ASSERT_TRUE(CaptureArea(c.display, DefaultRootWindow(c.display), head.x, head.y, head.width,
                            head.height, picture));
    ExpectTextBand(picture);
    ExpectTrail(picture, Hue::Red);
  }

  ASSERT_TRUE(command("-deactivate"));
  bool gone = false;
  for (int i = 0; i < 50 && !gone; ++i) {
    gone = RunningSavers(daemon.Pid()).empty();
    if (!gone) SleepMs(20);
  }
  EXPECT_TRUE(gone) << "every saver ends within a second of the deactivation";
  daemon.Signal(SIGTERM);
  EXPECT_TRUE(daemon.ExitedWithin(3000));
}

// With the Debian package installed: xscreensaver's settings window reads the
// saver's description where the package put it, and runs its preview by name from
// xscreensaver's folder of hacks, where it keeps running.
TEST(X11Package, XscreensaverSettingsReadTheDescriptionAndRunTheSaverByName) {
  REQUIRE_TOOL(access(kInstalledSaver, X_OK) == 0,
               "the Debian package is not installed (bash scripts/test.sh installs it)");
  const std::string xscreensaverSettings = FindTool("xscreensaver-settings");
  REQUIRE_TOOL(!xscreensaverSettings.empty(), "xscreensaver is not installed (apt-get install xscreensaver)");
  START_XVFB(server, c);
  ASSERT_EQ(TheTestUser().error, "");
  const std::filesystem::path home = XscreensaverHome("xscreensaver-settings-home", "lumenfall -root");
  Process settings(AsTestUser({xscreensaverSettings, "--debug"}), {{"DISPLAY", server.Name()}, {"HOME", home.string()}});
  std::string log;
  for (int i = 0; i < 100 && log.find("(lumenfall)") == std::string::npos && settings.Running(); ++i) {
    SleepMs(100);
    log = settings.Stderr();
  }
  SleepMs(2000);
  log = settings.Stderr();
  EXPECT_NE(log.find("reading /usr/share/xscreensaver/config/lumenfall.xml"), std::string::npos) << log;
  EXPECT_NE(log.find("forked"), std::string::npos) << log;
  EXPECT_EQ(log.find("(lumenfall) died"), std::string::npos) << log;
  settings.Signal(SIGTERM);
  EXPECT_TRUE(settings.ExitedWithin(3000));
}

// ------------------------------------------------------------------ ending

TEST(X11Saver, EndsWithinASecondOfSigtermOrSigint) {
  START_XVFB(server, c);
  const Window window = MakeWindow(c.display, 400, 300);
  for (int sig : {SIGTERM, SIGINT}) {
    Process saver(SaverCommand({"--window-id", Hex(window)}), On(server));
    SleepMs(700);
    ExpectEndsOnSignal(saver, sig);
  }
}

TEST(X11Saver, SharedMemoryNeverOutlivesTheProgram) {
  START_XVFB(server, c);
  const Window window = MakeWindow(c.display, 400, 300);
  for (int sig : {SIGTERM, SIGKILL}) {
    Process saver(SaverCommand({"--window-id", Hex(window)}), On(server));
    SleepMs(700);
    ASSERT_TRUE(saver.Running()) << saver.Stderr();
    EXPECT_FALSE(SharedMemoryOf(saver.Pid()).empty()) << "the image lives in shared memory";
    const pid_t pid = saver.Pid();
    saver.Signal(sig);
    ASSERT_TRUE(saver.ExitedWithin(1000));
    // Marked for removal at once, the segment goes when the server lets go of it,
    // even when the program was killed.
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
      gone = SharedMemoryOf(pid).empty();
      if (!gone) SleepMs(20);
    }
    EXPECT_TRUE(gone) << "signal " << sig;
  }
}

#ifdef LUMENFALL_HAVE_XTEST
// Waits until the saver holds the pointer grab (ours then fails).
bool WaitForGrab(Display* display, Process& saver) {
  for (int i = 0; i < 300; ++i) {
    if (!saver.Running()) return false;
    const int r = XGrabPointer(display, DefaultRootWindow(display), False, 0, GrabModeAsync,
                               GrabModeAsync, None, None, CurrentTime);
    if (r == GrabSuccess) {
      XUngrabPointer(display, CurrentTime);
      XSync(display, False);
    } else if (r == AlreadyGrabbed) {
      return true;
    }
    SleepMs(10);
  }
  return false;
}

void MoveTo(Display* display, int x, int y) {
  XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
  XSync(display, False);
}

void PressKey(Display* display, KeySym key) {
  const KeyCode code = XKeysymToKeycode(display, key);
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  XSync(display, False);
}

TEST(X11Saver, FullScreenEndsOnMovementBeyondFourPixels) {
  START_XVFB(server, c);
  MoveTo(c.display, 320, 240);
  Process saver(SaverCommand({"--fullscreen"}), On(server));
  ASSERT_TRUE(WaitForGrab(c.display, saver)) << saver.Stderr();

  // The window covers the screen.
  bool covered = false;
  for (const Window window : TopWindows(c.display)) {
    XWindowAttributes a{};
    if (XGetWindowAttributes(c.display, window, &a) && a.map_state == IsViewable)
      covered = covered || (a.x == 0 && a.y == 0 && a.width == 640 && a.height == 480);
  }
  EXPECT_TRUE(covered);

  MoveTo(c.display, 322, 242);  // 2 right and 2 down: distance 4
  SleepMs(600);
  ASSERT_TRUE(saver.Running()) << "a distance of 4 pixels does not end it";
  MoveTo(c.display, 323, 242);  // one more: distance 5
  EXPECT_TRUE(saver.ExitedWithin(1000));
  EXPECT_EQ(saver.ExitCode(), 0);
  EXPECT_EQ(saver.Stderr(), "");
}

TEST(X11Saver, FullScreenMeasuresFromWhereThePointerStarted) {
  START_XVFB(server, c);
  MoveTo(c.display, 100, 100);
  Process saver(SaverCommand({"--fullscreen"}), On(server));
  ASSERT_TRUE(WaitForGrab(c.display, saver)) << saver.Stderr();
  MoveTo(c.display, 103, 100);  // 3 right
  SleepMs(200);
  MoveTo(c.display, 100, 100);  // and 3 back: distance 0
  SleepMs(200);
  MoveTo(c.display, 100, 104);  // 4 down
  SleepMs(500);
  ASSERT_TRUE(saver.Running()) << "no position was more than 4 pixels away";
  MoveTo(c.display, 96, 100);   // 4 left of the start, 8 from the last position
  SleepMs(500);
  ASSERT_TRUE(saver.Running()) << "the distance counts from the start, not the last event";
  PressKey(c.display, XK_a);
  EXPECT_TRUE(saver.ExitedWithin(1000)) << "a key ends it";
  EXPECT_EQ(saver.ExitCode(), 0);
}

TEST(X11Saver, FullScreenEndsOnAButton) {
  START_XVFB(server, c);
  Process saver(SaverCommand({"-fullscreen", "-text-set", "deep-blue"}), On(server));
  ASSERT_TRUE(WaitForGrab(c.display, saver)) << saver.Stderr();
  SleepMs(300);
  ASSERT_TRUE(saver.Running());
  XTestFakeButtonEvent(c.display, 1, True, CurrentTime);
  XTestFakeButtonEvent(c.display, 1, False, CurrentTime);
  XSync(c.display, False);
  EXPECT_TRUE(saver.ExitedWithin(1000));
  EXPECT_EQ(saver.ExitCode(), 0);
}
#else
TEST(X11Saver, FullScreenEndsOnInput) {
  REQUIRE_TOOL(false, "XTest is not available (apt-get install libxtst-dev)");
}
#endif

// The saver's own window, found by its name.
Window FindOwnWindow(Display* display) {
  for (int attempt = 0; attempt < 300; ++attempt) {
    for (const Window window : TopWindows(display)) {
      char* name = nullptr;
      XWindowAttributes a{};
      if (XFetchName(display, window, &name) && name != nullptr) {
        const bool found = std::string(name) == "Lumenfall" && XGetWindowAttributes(display, window, &a) &&
                           a.map_state == IsViewable;
        XFree(name);
        if (found) return window;
      }
    }
    SleepMs(10);
  }
  return 0;
}

TEST(X11Saver, OwnWindowEndsOnAKeyOrWhenClosed) {
  START_XVFB(server, c);
  {
    Process saver(SaverCommand({}), On(server));
    const Window window = FindOwnWindow(c.display);
    ASSERT_NE(window, 0u) << saver.Stderr();
    XWindowAttributes a{};
    ASSERT_NE(XGetWindowAttributes(c.display, window, &a), 0);
    EXPECT_EQ(a.width, 640);  // 800 x 600, but no larger than the screen
    EXPECT_EQ(a.height, 480);
    // The window manager's close button.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(c.display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(c.display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(c.display, window, False, NoEventMask, &event);
    XSync(c.display, False);
    EXPECT_TRUE(saver.ExitedWithin(1000));
    EXPECT_EQ(saver.ExitCode(), 0);
  }
#ifdef LUMENFALL_HAVE_XTEST
  {
    Process saver(SaverCommand({"--window"}), On(server));
    const Window window = FindOwnWindow(c.display);
    ASSERT_NE(window, 0u) << saver.Stderr();
    MoveTo(c.display, 50, 50);  // focus follows the pointer without a window manager
    SleepMs(200);
    PressKey(c.display, XK_q);
    EXPECT_TRUE(saver.ExitedWithin(1000));
    EXPECT_EQ(saver.ExitCode(), 0);
  }
#endif
}

// ------------------------------------------------------------------ bad input

TEST(X11Saver, BadInputGivesOneLineAndAFailure) {
  START_XVFB(server, c);
  struct Case {
    std::vector<std::string> args;
    Environment env;
    std::string says;
    int status = 1;  // 2 for a mistake on the command line
  };
  std::string noServer = ":1";
  for (int n = 400; n < 500; ++n) {
    if (access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) != 0) {
      noServer = std::string(":").append(std::to_string(n));
      break;
    }
  }
  const std::vector<Case> cases = {
      {{"--window-id", "0x3ffff01"}, On(server), "no window 0x3ffff01 on display " + server.Name()},
      {{"-root"}, {{"DISPLAY", server.Name()}, {"XSCREENSAVER_WINDOW", "0x3ffff02"}},
       "(from XSCREENSAVER_WINDOW)"},
      {{"-root"}, {{"DISPLAY", server.Name()}, {"XSCREENSAVER_WINDOW", "nonsense"}},
       "XSCREENSAVER_WINDOW is not a window id", 2},
      {{}, {{"DISPLAY", noServer}}, "cannot open display '" + noServer + "'"},
      {{"--display", noServer}, {}, "cannot open display '" + noServer + "'"},
      {{"--depth", "12"}, On(server), "8, 16, 24 or 32", 2},
      {{"--frobnicate"}, On(server), "unknown option '--frobnicate'", 2},
      {{"--text-file", "/nonexistent/lines.txt"}, On(server), "cannot read '/nonexistent/lines.txt'", 2},
  };
  for (const Case& k : cases) {
    Process saver(SaverCommand(k.args), k.env);
    ASSERT_TRUE(saver.ExitedWithin(3000)) << k.says;
    EXPECT_EQ(saver.ExitCode(), k.status) << k.says;
    ExpectOneErrorLine(saver.Stderr(), k.says);
  }
}

TEST(X11Saver, RefusesAVisualItCannotDrawTo) {
  START_XVFB(server, c, "320x240x8");
  Process saver(SaverCommand({"--root"}), On(server));
  ASSERT_TRUE(saver.ExitedWithin(3000));
  EXPECT_EQ(saver.ExitCode(), 1);
  ExpectOneErrorLine(saver.Stderr(), "cannot draw to a 8-bit PseudoColor visual");
}

}  // namespace
}  // namespace lumenfall::x11test

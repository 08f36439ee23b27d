// The Linux saver under valgrind's memcheck on a private Xvfb: full screen, in a window
// that somebody else made, and in its own window, each for a few seconds of drawing
// and ended by SIGTERM, without an invalid access, an undefined value or a leak.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "valgrind_support.h"
#include "x11_harness.h"

namespace lumenfall::vgtest {
namespace {

using x11test::CaptureWindow;
using x11test::Connection;
using x11test::MakeWindow;

std::string Work() { return LUMENFALL_VALGRIND_WORK; }

// The saver under valgrind on the server, until it has drawn for drawMs, then SIGTERM;
// it must end with exit code 0 and a clean report. ready() tells when it is drawing.
template <typename Ready>
void RunSaver(const std::string& name, const XvfbServer& server, const std::vector<std::string>& arguments,
              Ready ready, int drawMs) {
  SCOPED_TRACE(name);
  mkdir(Work().c_str(), 0755);
  const std::string log = Work() + "/" + name + ".valgrind.log";
  std::vector<std::string> command = {LUMENFALL_PROGRAM};
  command.insert(command.end(), arguments.begin(), arguments.end());
  Process saver(UnderValgrind(log, command), {{"DISPLAY", server.Name()}});
  ASSERT_TRUE(saver.Started());
  // Valgrind starts slowly; the signal must find the saver's handler in place.
  bool drawing = false;
  for (int i = 0; i < 600 && !drawing; ++i) {
    ASSERT_TRUE(saver.Running()) << "the saver ended early: " << saver.Stderr() << "\nsee " << log;
    drawing = ready();
    if (!drawing) SleepMs(50);
  }
  ASSERT_TRUE(drawing) << "the saver drew nothing within 30 s under valgrind; see " << log;
  SleepMs(drawMs);
  ASSERT_TRUE(saver.Running()) << saver.Stderr();
  saver.Signal(SIGTERM);
  ASSERT_TRUE(saver.ExitedWithin(30000)) << "SIGTERM did not end it under valgrind";
  const std::string report = ReadFile(log);
  EXPECT_EQ(Problems(report), "") << "see " << log;
  EXPECT_EQ(saver.ExitCode(), 0) << "see " << log;
  EXPECT_EQ(saver.Stderr(), "");
}

bool HasLitPixel(Display* display, Window window) {
  Picture c;
  if (!CaptureWindow(display, window, c)) return false;
  for (const auto& p : c.pixels)
    if (p.r > 0 || p.g > 0 || p.b > 0) return true;
  return false;
}

// A top-level window other than the test's own (mine) is mapped: the saver's.
bool SaverWindowMapped(Display* display, Window mine) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  bool mapped = false;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count; ++i) {
      XWindowAttributes a{};
      if (children[i] != mine && XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable)
        mapped = true;
    }
    XFree(children);
  }
  return mapped;
}

#define REQUIRE_VALGRIND_AND_XVFB(server)                                            \
  REQUIRE_TOOL(HaveValgrind(), "valgrind is not installed (Debian package: valgrind)"); \
  START_X(XvfbServer, server, client);                                               \
  Display* display = client.display

TEST(X11SaverUnderValgrind, FullScreenThenSigterm) {
  REQUIRE_VALGRIND_AND_XVFB(server);
  RunSaver("fullscreen", server, {"--fullscreen"}, [&] { return SaverWindowMapped(display, None); }, 4000);
}

TEST(X11SaverUnderValgrind, GivenWindowAtEightBitsThenSigterm) {
  REQUIRE_VALGRIND_AND_XVFB(server);
  const Window window = MakeWindow(display, 320, 240);
  char id[32];
  std::snprintf(id, sizeof id, "0x%lx", window);
  // The picture is lit once the first line fades in, 5.1 s after the start.
  RunSaver("window-id", server, {"--window-id", id, "--depth", "8", "--text-set", "deep-blue"},
           [&] { return HasLitPixel(display, window); }, 2000);
}

TEST(X11SaverUnderValgrind, OwnWindowAtSixteenBitsWithTheRoughBlurAndFpsThenSigterm) {
  REQUIRE_VALGRIND_AND_XVFB(server);
  RunSaver("own-window", server, {"--window", "--depth", "16", "--low-quality", "--fps"},
           [&] { return SaverWindowMapped(display, None); }, 4000);
}

}  // namespace
}  // namespace lumenfall::vgtest

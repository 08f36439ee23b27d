// The saver as a Wayland client of a private headless sway with two outputs of
// different sizes: what each mode shows on each output, which input ends it, and how
// it ends when told to or when the compositor goes. Timing as in the X11 tests: about
// 3.2 s after the start the first line is crisp and white in the centre rows, with the
// text set's hue in its trail.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "picture_checks.h"
#include "platform/linux/backend.h"
#include "sway_harness.h"

namespace lumenfall::waylandtest {
namespace {

using x11test::BrightInRows;
using x11test::ExpectBlueTrail;
using x11test::ExpectOneErrorLine;
using x11test::ExpectRedTrail;
using x11test::ExpectTextBand;

constexpr int kSettleMs = 3200;
constexpr int kLineMs = 5120;  // one line's whole cycle: the next line is as crisp then
constexpr int kMapMs = 1000;  // the surfaces mapped and the pointer seen

#define START(server, Type) \
  Type server;              \
  REQUIRE_RUNNING(server)

void ExpectEndsOnSigterm(Child& saver) {
  ASSERT_TRUE(saver.StillRunning()) << saver.Stderr();
  saver.Signal(SIGTERM);
  EXPECT_TRUE(saver.ExitedWithin(1000)) << "ends within a second of SIGTERM";
  EXPECT_EQ(saver.ExitCode(), 0);
  EXPECT_EQ(saver.Stderr(), "");
}

// The line is crisp from about 3.2 s to 4.1 s after the first frame; a loaded machine
// may start the saver late, so up to four pictures are taken about 0.25 s apart, the
// first that shows the text band is checked (or the last, which then fails).
bool ShowsTextBand(const Capture& c) {
  const uint32_t quarter = c.height / 4;
  return c.height > 0 &&
         BrightInRows(c, c.height * 2 / 5, c.height * 3 / 5) >= size_t{c.width} * c.height / 400 &&
         BrightInRows(c, 0, quarter) == 0 && BrightInRows(c, c.height - quarter, c.height) == 0;
}

void ExpectPicture(const SwayServer& sway, const OutputSize& output, bool red) {
  SCOPED_TRACE(output.name);
  Capture picture;
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (attempt > 0) SleepMs(250);
    ASSERT_TRUE(sway.Screenshot(output.name, picture));
    if (ShowsTextBand(picture)) break;
  }
  EXPECT_EQ(picture.width, output.width);
  EXPECT_EQ(picture.height, output.height);
  ExpectTextBand(picture);
  if (red) {
    ExpectRedTrail(picture);
  } else {
    ExpectBlueTrail(picture);
  }
}

TEST(WaylandSaver, EveryModeShowsTheTextSetOnEveryOutputAndEndsOnSigterm) {
  START(sway, SwayServer);
  struct Case {
    const char* mode;
    const char* set;
    bool everyOutput;
  };
  for (const Case& c : {Case{"--window", "malachi-red", false}, Case{"--fullscreen", "deep-blue", true},
                        Case{"--background", "malachi-red", true}, Case{"--overlay", "deep-blue", true}}) {
    SCOPED_TRACE(c.mode);
    auto saver = sway.Saver({c.mode, "--text-set", c.set});
    SleepMs(kSettleMs);
    ASSERT_TRUE(saver->StillRunning()) << saver->Stderr();
    const bool red = std::string(c.set) == "malachi-red";
    ExpectPicture(sway, kOutputs[0], red);
    if (c.everyOutput) ExpectPicture(sway, kOutputs[1], red);
    ExpectEndsOnSigterm(*saver);
  }
}

TEST(WaylandSaver, OverlayAndFullScreenEndOnAKeyAButtonAndFivePixelsButNotFour) {
  START(sway, SwayServer);
  for (const char* mode : {"--overlay", "--fullscreen"}) {
    SCOPED_TRACE(mode);
    {
      // From two pixels before the outputs' seam: the movement crosses onto the other
      // output's surface and still counts from where it started.
      ASSERT_TRUE(sway.Swaymsg({"seat", "seat0", "cursor", "set", "638", "240"}));
      auto saver = sway.Saver({mode});
      SleepMs(kMapMs);
      ASSERT_TRUE(sway.MovePointer(4, 0));
      SleepMs(500);
      EXPECT_TRUE(saver->StillRunning()) << "a movement of 4 pixels is no reason to end";
      ASSERT_TRUE(sway.MovePointer(0, 1));
      EXPECT_TRUE(saver->ExitedWithin(1000)) << "5 pixels from where it started end it";
      EXPECT_EQ(saver->ExitCode(), 0) << saver->Stderr();
    }
    {
      auto saver = sway.Saver({mode});
      SleepMs(kMapMs);
      ASSERT_TRUE(sway.PressKey());
      EXPECT_TRUE(saver->ExitedWithin(1000)) << "a key ends it";
      EXPECT_EQ(saver->ExitCode(), 0) << saver->Stderr();
    }
    {
      auto saver = sway.Saver({mode});
      SleepMs(kMapMs);
      ASSERT_TRUE(sway.PressButton());
      EXPECT_TRUE(saver->ExitedWithin(1000)) << "a button ends it";
      EXPECT_EQ(saver->ExitCode(), 0) << saver->Stderr();
    }
  }
}

TEST(WaylandSaver, TheWallpaperIgnoresInputAndFollowsOutputs) {
  START(sway, SwayServer);
  const auto start = std::chrono::steady_clock::now();
  auto saver = sway.Saver({"--background"});
  SleepMs(kMapMs);
  ASSERT_TRUE(sway.MovePointer(40, 30));
  ASSERT_TRUE(sway.PressButton());
  ASSERT_TRUE(sway.PressKey());
  SleepMs(500);
  ASSERT_TRUE(saver->StillRunning()) << "input does not end the wallpaper: " << saver->Stderr();

  // A new output gets a surface of its own.
  ASSERT_TRUE(sway.Swaymsg({"create_output"}));
  std::this_thread::sleep_until(start + std::chrono::milliseconds(kLineMs + kSettleMs));
  ASSERT_TRUE(saver->StillRunning()) << saver->Stderr();
  ExpectPicture(sway, OutputSize{"HEADLESS-3", 1920, 1080}, true);
  ExpectEndsOnSigterm(*saver);
}

TEST(WaylandSaver, EndsWithZeroWhenTheCompositorGoes) {
  START(sway, SwayServer);
  auto saver = sway.Saver({"--overlay"});
  SleepMs(kMapMs);
  ASSERT_TRUE(saver->StillRunning()) << saver->Stderr();
  sway.Kill();
  EXPECT_TRUE(saver->ExitedWithin(1000));
  EXPECT_EQ(saver->ExitCode(), 0) << saver->Stderr();
}

TEST(WaylandSaver, SaysInOneLineWhatTheCompositorLacks) {
  START(weston, WestonServer);
  for (const char* mode : {"--background", "--overlay"}) {
    auto saver = weston.Saver({mode}, weston.Environment());
    ASSERT_TRUE(saver->ExitedWithin(3000)) << mode;
    EXPECT_EQ(saver->ExitCode(), 1) << mode;
    ExpectOneErrorLine(saver->Stderr(), "layer shell");
  }
  // No compositor at all.
  auto saver = weston.Saver({"--wayland"}, {{"XDG_RUNTIME_DIR", weston.RuntimeDir()},
                                            {"WAYLAND_DISPLAY", "wayland-nobody"}});
  ASSERT_TRUE(saver->ExitedWithin(3000));
  EXPECT_EQ(saver->ExitCode(), 1);
  ExpectOneErrorLine(saver->Stderr(), "cannot connect");
}

TEST(WaylandOptions, TheLayerModesAreWaylandAndTheXWindowsX11) {
  auto parse = [](std::vector<const char*> args) {
    args.insert(args.begin(), "lumenfall");
    return ParseOptions(int(args.size()), args.data(), nullptr);
  };
  EXPECT_EQ(parse({"--background"}).options.mode, OutputMode::Background);
  EXPECT_EQ(parse({"-overlay"}).options.mode, OutputMode::Overlay);
  EXPECT_EQ(ChooseBackend(parse({"--overlay"}).options, nullptr), Backend::Wayland);
  EXPECT_EQ(ChooseBackend(parse({"--window"}).options, "wayland-1"), Backend::Wayland);
  EXPECT_EQ(ChooseBackend(parse({"--window"}).options, ""), Backend::X11);
  EXPECT_EQ(ChooseBackend(parse({"--root"}).options, "wayland-1"), Backend::X11);
  EXPECT_EQ(ChooseBackend(parse({"--x11", "--fullscreen"}).options, "wayland-1"), Backend::X11);
  EXPECT_EQ(ChooseBackend(parse({"--wayland"}).options, nullptr), Backend::Wayland);
  EXPECT_EQ(ChooseBackend(ParseOptions(1, std::vector<const char*>{"lumenfall"}.data(), "0x42").options,
                          "wayland-1"),
            Backend::X11)
      << "xscreensaver's window is an X window";

  EXPECT_EQ(parse({"--background", "--x11"}).error,
            "option --background needs Wayland and cannot be used with --x11");
  EXPECT_EQ(parse({"--wayland", "--root"}).error, "option --root needs X11 and cannot be used with --wayland");
  EXPECT_EQ(parse({"--wayland", "--x11"}).error, "options --wayland and --x11 cannot be used together");
  EXPECT_EQ(parse({"--background", "--overlay"}).error,
            "options --background and --overlay cannot be used together");
  EXPECT_EQ(parse({"--overlay=1"}).error, "option --overlay takes no value");
}

}  // namespace
}  // namespace lumenfall::waylandtest

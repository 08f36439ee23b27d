// The saver as a Wayland client of a private headless sway with two outputs of
// different sizes: what each mode shows on each output, which input ends it, and how
// it ends when told to or when the compositor goes. Timing as in the X11 tests: about
// 3.2 s after the start the first line is crisp and white in the centre rows, with the
// text set's hue in its trail.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/linux/backend.h"
#include "sway_harness.h"

namespace lumenfall::waylandtest {
namespace {

constexpr int kSettleMs = 3200;
constexpr int kLineMs = 5120;  // one line's whole cycle: the next line is as crisp then
constexpr int kMapMs = 1000;  // the surfaces mapped and the pointer seen

// The line is crisp from about 3.2 s to 4.1 s after the first frame; a loaded machine
// may start the saver late, so up to four pictures are taken about 0.25 s apart, the
// first that shows the text band is checked (or the last, which then fails).
void ExpectPicture(const SwayServer& sway, const char* output, Hue hue, Picture* shown = nullptr) {
  SCOPED_TRACE(output);
  Picture local;
  Picture& picture = shown != nullptr ? *shown : local;
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (attempt > 0) SleepMs(250);
    ASSERT_TRUE(sway.Screenshot(output, picture));
    if (TextBandFault(picture).empty()) break;
  }
  ExpectTextBand(picture);
  ExpectTrail(picture, hue);
}

TEST(WaylandSaver, EveryModeShowsTheTextSetOnEveryOutputAndEndsOnSigterm) {
  START_SERVER(SwayServer, sway);
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
    ASSERT_TRUE(saver->Running()) << saver->Stderr();
    const Hue hue = std::string(c.set) == "malachi-red" ? Hue::Red : Hue::Blue;
    ExpectPicture(sway, kOutputs[0], hue);
    if (c.everyOutput) ExpectPicture(sway, kOutputs[1], hue);
    ExpectEndsOnSignal(*saver, SIGTERM);
  }
}

TEST(WaylandSaver, ShowsTheLinesOfATextFileInTheTextSetsColours) {
  START_SERVER(SwayServer, sway);
  auto saver = sway.Saver({"--background", "--text-set", "deep-blue", "--text-file",
                           sway.AddFile("own-lines.txt", "MM\n")});
  SleepMs(kSettleMs);
  ASSERT_TRUE(saver->Running()) << saver->Stderr();
  Picture picture;
  ExpectPicture(sway, kOutputs[0], Hue::Blue, &picture);
  ExpectTextAcross(picture, 170, 230);  // 2 x (29 + 1) pixels, centred; "Deep Blue" is 121 to 278
  ExpectEndsOnSignal(*saver, SIGTERM);
}

TEST(WaylandSaver, OverlayAndFullScreenEndOnAKeyAButtonAndFivePixelsButNotFour) {
  START_SERVER(SwayServer, sway);
  for (const char* mode : {"--overlay", "--fullscreen"}) {
    SCOPED_TRACE(mode);
    {
      // From two pixels before the outputs' seam: the movement crosses onto the other
      // output's surface and still counts from where it started.
      ASSERT_TRUE(sway.SetPointer(638, 240));
      auto saver = sway.Saver({mode});
      SleepMs(kMapMs);
      ASSERT_TRUE(sway.MovePointer(4, 0));
      SleepMs(500);
      EXPECT_TRUE(saver->Running()) << "a movement of 4 pixels is no reason to end";
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

// The wallpaper takes no input. A key goes to the window that has the focus (a saver in
// its own window, which a key ends) while the wallpaper runs on; the pointer moves and
// clicks over an output that only the wallpaper covers, where the same click ends an
// overlay.
TEST(WaylandSaver, TheWallpaperIgnoresInputAndFollowsOutputs) {
  START_SERVER(SwayServer, sway);
  const auto start = std::chrono::steady_clock::now();
  auto saver = sway.Saver({"--background"});
  ASSERT_TRUE(sway.SetPointer(320, 240));
  auto window = sway.Saver({"--window"});  // on HEADLESS-1, under the pointer
  SleepMs(kMapMs);
  ASSERT_TRUE(sway.PressKey());
  EXPECT_TRUE(window->ExitedWithin(1000)) << "the key went to the window";
  ASSERT_TRUE(sway.SetPointer(1000, 300));  // HEADLESS-2
  ASSERT_TRUE(sway.MovePointer(40, 30));
  ASSERT_TRUE(sway.PressButton());
  SleepMs(500);
  ASSERT_TRUE(saver->Running()) << "input does not end the wallpaper: " << saver->Stderr();
  auto overlay = sway.Saver({"--overlay"});
  SleepMs(kMapMs);
  ASSERT_TRUE(sway.PressButton());
  EXPECT_TRUE(overlay->ExitedWithin(1000)) << "the click reaches a layer surface there";

  // A new output gets a surface of its own.
  ASSERT_TRUE(sway.Swaymsg({"create_output"}));
  std::this_thread::sleep_until(start + std::chrono::milliseconds(kLineMs + kSettleMs));
  ASSERT_TRUE(saver->Running()) << saver->Stderr();
  ExpectPicture(sway, "HEADLESS-3", Hue::Red);
  ExpectEndsOnSignal(*saver, SIGTERM);
}

TEST(WaylandSaver, EndsWithZeroWhenTheCompositorGoes) {
  START_SERVER(SwayServer, sway);
  auto saver = sway.Saver({"--overlay"});
  SleepMs(kMapMs);
  ASSERT_TRUE(saver->Running()) << saver->Stderr();
  sway.Kill();
  EXPECT_TRUE(saver->ExitedWithin(1000));
  EXPECT_EQ(saver->ExitCode(), 0) << saver->Stderr();
}

TEST(WaylandSaver, SaysInOneLineWhatTheCompositorLacks) {
  START_SERVER(WestonServer, weston);
  for (const char* mode : {"--background", "--overlay"}) {
    auto saver = weston.Saver({mode});
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

// The README's lines for sway with the program the Debian package installs, found on
// the PATH by the shell as sway and swayidle run them: `exec lumenfall --background`,
// and `swayidle -w timeout 300 'lumenfall --overlay'` with one second for 300.
TEST(WaylandPackage, TheReadmeLinesRunTheInstalledProgram) {
  REQUIRE_TOOL(access(kInstalledSaver, X_OK) == 0,
               "the Debian package is not installed (bash scripts/test.sh installs it)");
  REQUIRE_TOOL(!FindTool("swayidle").empty(), "swayidle is not installed (apt-get install swayidle)");
  START_SERVER(SwayServer, sway);
  EXPECT_EQ(FindTool("lumenfall"), "/usr/bin/lumenfall");
  {
    Process wallpaper(AsTestUser({"/bin/sh", "-c", "exec lumenfall --background"}), sway.ClientEnvironment());
    SleepMs(kSettleMs);
    ExpectPicture(sway, kOutputs[0], Hue::Red);
    ExpectPicture(sway, kOutputs[1], Hue::Red);
    ExpectEndsOnSignal(wallpaper, SIGTERM);
  }
  Process idle(AsTestUser({FindTool("swayidle"), "-w", "timeout", "1", "lumenfall --overlay"}),
               sway.ClientEnvironment());
  SleepMs(1000 + kSettleMs);
  ASSERT_TRUE(idle.Running()) << idle.Stderr();
  ExpectPicture(sway, kOutputs[0], Hue::Red);
  ExpectPicture(sway, kOutputs[1], Hue::Red);
  // A key ends the overlay; swayidle, told to stop meanwhile, ends after it.
  idle.Signal(SIGTERM);
  ASSERT_TRUE(sway.PressKey());
  EXPECT_TRUE(idle.ExitedWithin(2000)) << idle.Stderr();
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

// lumenfall.scr, run for real under Wine on private Xvfb displays of 8, 16 and 24
// bits per pixel: windows, closing rules, exit codes, the picture and the settings.
//
// The cross build of the edition that this machine runs (wine_harness.h) provides the
// saver and the Windows helpers. Outside CI a missing tool or file skips; with
// CI=true it fails.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "wine_harness.h"

namespace lumenfall::wine {
namespace {

std::string SaverPath() { return WinDir() + "/lumenfall.scr"; }
std::string Helper(const char* name) { return WinDir() + "/" + name + ".exe"; }

// One Wine session per depth: its Xvfb, its prefix and its wineserver.
class WineSession : public WineDesktop {
 public:
  // nested: Xephyr arguments for a desktop of several monitors inside the Xvfb; Wine
  // takes its second screen for the primary monitor.
  bool Open(int depth, const std::vector<std::string>& nested = {}, int width = kScreenWidth,
            int height = kScreenHeight) {
    depth_ = depth;
    if (const std::string missing =
            MissingWindowsFiles({SaverPath(), Helper("lf_probe"), Helper("lf_parent"),
                                 Helper("lf_registry_check"), Helper("lf_inproc_preview"),
                                 Helper("lf_blur_check")});
        !missing.empty())
      return Fail(missing);
    const std::string prefix = EditionWorkDir(LUMENFALL_WINE_WORK_DIR) + "/prefix-" +
                               (nested.empty() ? std::to_string(depth) : std::string("monitors"));
    auto secondScreenPrimary = [this](const std::string&) {
      Wine({"reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "PrimaryMonitor", "/d", "1", "/f"});
      RunToEnd({"wineserver", "-k"}, Env(), 20000);  // read when Wine starts again
    };
    if (!OpenDesktop(depth, width, height, prefix,
                     nested.empty() ? std::function<void(const std::string&)>() : secondScreenPrimary, nested))
      return false;
    // The first Wine program brings up the desktop process. It runs in that program's
    // process group, which ends normally, so killing a saver's group later never
    // takes the desktop with it.
    if (Wine({Helper("lf_probe"), "ddinfo"}, &ddinfo_, 90000) != 0) return Fail("Wine could not run the probe");
    DeleteSettings();
    return true;
  }

  const std::string& DirectDrawInfo() const { return ddinfo_; }
  int Depth() const { return depth_; }

  std::unique_ptr<Process> StartSaver(const std::vector<std::string>& args) {
    std::vector<std::string> argv{SaverPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return StartWine(argv);
  }

  int RunSaver(const std::vector<std::string>& args, int timeoutMs) {
    std::vector<std::string> argv{SaverPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Wine(argv, nullptr, timeoutMs);
  }

  void MoveMouse(int x, int y) { X({"mousemove", std::to_string(x), std::to_string(y)}); }

  // Screenshots from fromMs to toMs after start, everyMs apart.
  std::vector<Picture> Screenshots(Clock::time_point start, int fromMs, int toMs, int everyMs) {
    std::vector<Picture> shots;
    for (int t = fromMs; t <= toMs; t += everyMs) {
      std::this_thread::sleep_until(start + milliseconds(t));
      Picture p;
      if (Screenshot(p)) shots.push_back(std::move(p));
    }
    return shots;
  }

  // The probe's report line for the full-screen window, or empty after the deadline.
  std::string WaitForSaverWindow(int timeoutMs) { return WaitForProbe({"find"}, timeoutMs); }

  std::string WaitForProbe(const std::vector<std::string>& probeArgs, int timeoutMs) {
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    std::vector<std::string> args{Helper("lf_probe")};
    args.insert(args.end(), probeArgs.begin(), probeArgs.end());
    // The window can be found while it is still being created, before it is shown; wait
    // for the report of a visible window, and give the last one seen at the deadline.
    std::string last;
    while (Clock::now() < deadline) {
      std::string out;
      if (Wine(args, &out, 10000) == 0 && !out.empty()) {
        unsigned long handle = 0, style = 0;
        if (std::sscanf(out.c_str(), "%lu %lx", &handle, &style) == 2 && (style & 0x10000000ul) != 0)
          return out;
        last = out;
      }
      SleepMs(150);
    }
    return last;
  }

  void StoreSettings(const char* type, const char* data) {
    Wine({"reg", "add", "HKCU\\Software\\Tessel\\Lumenfall\\1.00.000", "/v", "Flags", "/t", type,
          "/d", data, "/f"});
  }
  void DeleteSettings() { Wine({"reg", "delete", "HKCU\\Software\\Tessel", "/f"}); }
  bool SettingsKeyExists() { return Wine({"reg", "query", "HKCU\\Software\\Tessel"}) == 0; }

 private:
  int depth_ = 0;
  std::string ddinfo_;
};

// The probe's report: "hwnd style exstyle left top right bottom screenW screenH".
struct WindowReport {
  unsigned long handle = 0;
  unsigned long style = 0;
  unsigned long exStyle = 0;
  long left = 0, top = 0, right = 0, bottom = 0;
  bool valid = false;
};

WindowReport ParseReport(const std::string& line) {
  WindowReport r;
  int screenW = 0, screenH = 0;
  r.valid = std::sscanf(line.c_str(), "%lu %lx %lx %ld %ld %ld %ld %d %d", &r.handle, &r.style,
                        &r.exStyle, &r.left, &r.top, &r.right, &r.bottom, &screenW,
                        &screenH) == 9;
  return r;
}

// ---- Reading the picture ----

int Luma(const Rgb& p) { return (p.r + p.g + p.b) / 3; }

// Both sets burn white text and their decay rule takes the other two channels down
// before it touches the set's own, and the blur only averages, so in every pixel the
// set's channel is the largest: a pixel where another channel is clearly above it is
// a fault, and once the trail has faded a while many pixels show the hue plainly.
// Counting pixels rather than summing channels keeps the check independent of how
// far the first line has got when the screenshots are taken.
struct HueCounts {
  long lit = 0;       // some channel above 24
  long notGrey = 0;   // channels not all equal
  long plain = 0;     // the hue's channel at least 32 above both others
  long contrary = 0;  // another channel more than 12 above the hue's (5- and 6-bit fields round by up to 8)
};

HueCounts CountHue(const std::vector<Picture>& shots, Hue hue) {
  const int channel = hue == Hue::Red ? 0 : 2;
  HueCounts c;
  for (const Picture& p : shots) {
    for (const Rgb& px : p.pixels) {
      if (px.r != px.g || px.g != px.b) ++c.notGrey;
      if (std::max({px.r, px.g, px.b}) <= 24) continue;
      ++c.lit;
      const int own = px[channel];
      const int other = std::max(px[(channel + 1) % 3], px[(channel + 2) % 3]);
      if (own >= other + 32) ++c.plain;
      if (other > own + 12) ++c.contrary;
    }
  }
  return c;
}

// The rough blur paints each sample as a 2 x 2 block whose right column is the mix of
// its own colour and the next block's, so in the 400 x 300 picture one column parity
// lies on the straight line between its neighbours far more often than the other.
// The full blur has no such parity. Returns the difference of the two fractions.
double ColumnParityAsymmetry(const Picture& p, int tolerance) {
  long onLine[2] = {0, 0}, lit[2] = {0, 0};
  auto work = [&](uint32_t x, uint32_t y) -> const Rgb& {
    return p.At((2 * x + 1) * p.width / 800, (2 * y + 1) * p.height / 600);
  };
  for (uint32_t y = 0; y < 300; ++y) {
    for (uint32_t x = 1; x < 399; ++x) {
      const Rgb& a = work(x - 1, y);
      const Rgb& b = work(x, y);
      const Rgb& c = work(x + 1, y);
      if (b[0] + b[1] + b[2] < 30) continue;
      const int k = x % 2;
      ++lit[k];
      bool line = true;
      for (int i = 0; i < 3; ++i) line = line && std::abs(2 * b[i] - a[i] - c[i]) <= tolerance;
      if (line) ++onLine[k];
    }
  }
  if (lit[0] < 500 || lit[1] < 500) return 0;
  return std::abs(double(onLine[0]) / double(lit[0]) - double(onLine[1]) / double(lit[1]));
}

// At 24 and 32 bits the mixes are exact to within rounding, and the measure separates
// the two blurs widely (above 0.2 against below 0.12). At 16 bits the 5- and 6-bit
// fields, and at 8 bits the grey levels, round the mixes by more than the structure
// the measure looks for, so there the rough blur is checked only for running with
// its set's picture.
bool BlockStructureMeasurable(int depth) { return depth >= 24; }
constexpr int kParityTolerance = 3;

// Writes the screenshots next to the prefixes for a look after a failure; the text
// names the folder.
std::string KeepShots(const std::vector<Picture>& shots) {
  const std::string dir = EditionWorkDir(LUMENFALL_WINE_WORK_DIR) + "/failed-shots";
  std::error_code ignored;
  std::filesystem::create_directories(dir, ignored);
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string stem = dir + "/" + (info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "shot");
  for (size_t i = 0; i < shots.size(); ++i)
    std::ofstream(stem + "-" + std::to_string(i) + ".ppm", std::ios::binary) << PpmBytes(shots[i]);
  return " (screenshots in " + dir + ")";
}

// Screenshots over the first line's fade-in and burn, counted from the moment the
// window was seen (the first cycle shows no line for 640 steps of 8 ms), then the
// checks of the picture: the text band, and the hue of the set (grey at 8 bits).
std::vector<Picture> WatchEffect(WineSession& wine, Clock::time_point windowSeen) {
  return wine.Screenshots(windowSeen, 5400, 9400, 800);
}

void ExpectEffect(const WineSession& wine, const std::vector<Picture>& shots, Hue hue) {
  ASSERT_GE(shots.size(), 3u) << "screenshots failed";
  bool band = false;
  for (const Picture& p : shots) band = band || TextBandFault(p).empty();
  EXPECT_TRUE(band) << "no text band in any screenshot; the last: " << TextBandFault(shots.back()) << KeepShots(shots);
  EXPECT_FALSE(shots.front() == shots.back()) << "the picture did not move";
  const HueCounts c = CountHue(shots, hue);
  ASSERT_GT(c.lit, 1000) << "almost nothing lit";
  if (wine.Depth() == 8) {
    EXPECT_EQ(c.notGrey, 0) << "at 8 bits every pixel is a grey";
    return;
  }
  const char* name = hue == Hue::Red ? "Malachi Red fades through red" : "Deep Blue fades through blue";
  EXPECT_GT(c.plain, 1000) << name << ": " << c.plain << " of " << c.lit << " lit pixels show it" << KeepShots(shots);
  EXPECT_LE(c.contrary * 100, c.lit) << name << ": " << c.contrary << " of " << c.lit << " lit pixels lean elsewhere"
                                     << KeepShots(shots);
}

// A space bar press ends the saver with exit code 0 within 8 seconds.
void EndWithSpace(WineSession& wine, Process& saver) {
  wine.X({"key", "space"});
  ASSERT_TRUE(saver.ExitedWithin(8000));
  EXPECT_EQ(saver.ExitCode(), 0);
}

// From the centre of the screen, a movement of 2 + 2 = 4 pixels keeps the saver
// running; one more pixel ends it with exit saver.ExitCode() 0.
void FifthPixelCloses(WineSession& wine, Process& saver) {
  wine.MoveMouse(kScreenWidth / 2 + 2, kScreenHeight / 2 + 2);
  SleepMs(1200);
  EXPECT_TRUE(saver.Running()) << "a movement of 4 pixels closed the saver";
  wine.MoveMouse(kScreenWidth / 2 + 3, kScreenHeight / 2 + 2);
  ASSERT_TRUE(saver.ExitedWithin(8000)) << "a movement of 5 pixels did not close the saver";
  EXPECT_EQ(saver.ExitCode(), 0);
}

// ---- The suites, one per depth ----

// One screen at a depth.
template <int Bits>
struct OneScreen : WineSession {
  bool Open() { return WineSession::Open(Bits); }
};

using WineDepth8 = WineSuite<OneScreen<8>>;
using WineDepth16 = WineSuite<OneScreen<16>>;
using WineDepth24 = WineSuite<OneScreen<24>>;

void FullScreenEffectAndMouseThreshold(WineSession& wine) {
  wine.DeleteSettings();
  auto saver = wine.StartSaver({"/s"});
  const WindowReport window = ParseReport(wine.WaitForSaverWindow(20000));
  const auto started = Clock::now();
  ASSERT_TRUE(window.valid) << "no \"Screen Saver\" window of class WindowsScreenSaverClass";
  EXPECT_EQ(window.style & 0x96000000ul, 0x96000000ul) << std::hex << window.style;
  EXPECT_EQ(window.style & 0x40000000ul, 0ul) << "not a child window";
  EXPECT_EQ(window.exStyle & 0x8ul, 0x8ul) << "WS_EX_TOPMOST";
  EXPECT_EQ(window.left, 0);
  EXPECT_EQ(window.top, 0);
  EXPECT_EQ(window.right, kScreenWidth);
  EXPECT_EQ(window.bottom, kScreenHeight);

  std::string title;
  wine.Wine({Helper("lf_probe"), "settext"}, &title);
  EXPECT_EQ(title, "Screen Saver\n") << "the title never changes";

  const std::vector<Picture> shots = WatchEffect(wine, started);
  ExpectEffect(wine, shots, Hue::Red);
  double asymmetry = 0;
  for (const Picture& p : shots) asymmetry = std::max(asymmetry, ColumnParityAsymmetry(p, kParityTolerance));
  if (BlockStructureMeasurable(wine.Depth())) {
    EXPECT_LT(asymmetry, 0.17) << "the full blur shows no 2 x 2 structure";  // rough: above 0.2
  }

  ASSERT_NO_FATAL_FAILURE(FifthPixelCloses(wine, *saver));
  EXPECT_FALSE(wine.SettingsKeyExists()) << "running the saver wrote settings";
}

void ClosesOn(WineSession& wine, const std::vector<std::string>& xdotool) {
  auto saver = wine.StartSaver({"/s"});
  ASSERT_TRUE(ParseReport(wine.WaitForSaverWindow(20000)).valid);
  SleepMs(500);
  ASSERT_TRUE(saver->Running());
  wine.X(xdotool);
  ASSERT_TRUE(saver->ExitedWithin(8000)) << "still running after xdotool " << xdotool[0];
  EXPECT_EQ(saver->ExitCode(), 0);
}

void ActivatingAnotherWindowCloses(WineSession& wine) {
  auto saver = wine.StartSaver({"/s"});
  ASSERT_TRUE(ParseReport(wine.WaitForSaverWindow(20000)).valid);
  SleepMs(500);
  auto other = wine.StartWine({Helper("lf_probe"), "activate"});
  ASSERT_TRUE(saver->ExitedWithin(8000)) << "another application's activation did not close it";
  EXPECT_EQ(saver->ExitCode(), 0);
  other->ExitedWithin(8000);
}

void SecondFullScreenStartEndsAtOnce(WineSession& wine) {
  auto first = wine.StartSaver({"/s"});
  const WindowReport before = ParseReport(wine.WaitForSaverWindow(20000));
  ASSERT_TRUE(before.valid);
  const auto start = Clock::now();
  EXPECT_EQ(wine.RunSaver({"/s"}, 15000), 0);
  EXPECT_LT(Clock::now() - start, milliseconds(6000)) << "the second start did not end at once";
  SleepMs(500);
  EXPECT_TRUE(first->Running()) << "the second start ended the first";
  const WindowReport after = ParseReport(wine.WaitForSaverWindow(5000));
  EXPECT_EQ(after.handle, before.handle);
  ASSERT_NO_FATAL_FAILURE(EndWithSpace(wine, *first));
}

void PreviewChildDoesNotCountAndClosesOnKey(WineSession& wine) {
  auto parent = wine.StartWine({Helper("lf_parent")}, {}, true);
  std::string handle;
  ASSERT_TRUE(parent->ReadLine(20000, handle)) << "the parent helper printed no handle";
  auto preview = wine.StartSaver({"/p", handle});
  const WindowReport child = ParseReport(wine.WaitForProbe({"child", handle}, 20000));
  ASSERT_TRUE(child.valid) << "no \"Preview\" child in window " << handle;
  EXPECT_EQ(child.style & 0x52000000ul, 0x52000000ul) << std::hex << child.style;
  EXPECT_EQ(child.exStyle & 0x8ul, 0ul);
  // The child covers the parent's client area, which lf_parent puts at (100, 80), 320 x 240.
  EXPECT_EQ(child.left, 100);
  EXPECT_EQ(child.top, 80);
  EXPECT_EQ(child.right, 420);
  EXPECT_EQ(child.bottom, 320);

  // A running preview is no running saver: a full-screen start proceeds beside it.
  auto full = wine.StartSaver({"/s"});
  ASSERT_TRUE(ParseReport(wine.WaitForSaverWindow(20000)).valid)
      << "the preview was taken for a running saver";
  SleepMs(500);
  ASSERT_NO_FATAL_FAILURE(EndWithSpace(wine, *full));
  EXPECT_TRUE(preview->Running()) << "closing the full-screen saver ended the preview";

  // A key press in the preview ends it.
  wine.Wine({Helper("lf_probe"), "key", std::to_string(child.handle)});
  ASSERT_TRUE(preview->ExitedWithin(8000)) << "a key press did not end the preview";
  EXPECT_EQ(preview->ExitCode(), 0);
}

void PreviewEndsWithItsParent(WineSession& wine) {
  auto parent = wine.StartWine({Helper("lf_parent"), "4000"}, {}, true);
  std::string handle;
  ASSERT_TRUE(parent->ReadLine(20000, handle));
  auto preview = wine.StartSaver({"/p", handle});
  ASSERT_TRUE(ParseReport(wine.WaitForProbe({"child", handle}, 20000)).valid);
  ASSERT_TRUE(preview->ExitedWithin(15000)) << "the preview outlived its parent";
  EXPECT_EQ(preview->ExitCode(), 0);
  EXPECT_TRUE(parent->Running()) << "the preview should end while the parent lingers";
}

// The parent at (x, y) of the screenshot, 320 x 240; origin: where the screenshot's
// (0, 0) lies in the system's screen coordinates.
void PreviewPictureFillsTheParent(WineSession& wine, uint32_t left = 100, uint32_t top = 80, int originX = 0) {
  // Wine draws a child window only from the process that owns its top-level window,
  // so the picture is checked with the preview run inside the parent's process.
  auto host = wine.StartWine({Helper("lf_inproc_preview"), std::to_string(int(left) + originX),
                              std::to_string(top), "320", "240"},
                             {}, true);
  std::string handle;
  ASSERT_TRUE(host->ReadLine(20000, handle));
  const WindowReport child = ParseReport(wine.WaitForProbe({"child", handle}, 20000));
  const auto started = Clock::now();
  ASSERT_TRUE(child.valid);
  const std::vector<Picture> shots = WatchEffect(wine, started);
  ASSERT_GE(shots.size(), 3u);
  bool band = false;
  long litOutside = 0;
  for (const Picture& p : shots) {
    band = band || TextBandFault(p.Crop(left, top, 320, 240)).empty();
    for (uint32_t y = 0; y < p.height; ++y)
      for (uint32_t x = 0; x < p.width; ++x)
        if ((x < left || x >= left + 320 || y < top || y >= top + 240) && Luma(p.At(x, y)) > 24) ++litOutside;
  }
  EXPECT_TRUE(band) << "no text band in the preview window; the last: "
                    << TextBandFault(shots.back().Crop(left, top, 320, 240)) << KeepShots(shots);
  EXPECT_EQ(litOutside, 0) << "the preview drew outside its window";
  wine.Wine({Helper("lf_probe"), "key", std::to_string(child.handle)});
  ASSERT_TRUE(host->ExitedWithin(8000));
  EXPECT_EQ(host->ExitCode(), 0);
}

void RefusedSwitchesExitMinusOne(WineSession& wine) {
  const std::vector<std::vector<std::string>> cases = {
      {"/p:660"}, {"/p", "0"}, {"/p"}, {"/p", "4294967296"}, {"/l", "12345"}, {"/x"}, {"/a", "660"}};
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(wine.RunSaver(args, 20000), kExitMinusOne) << "switch " << joined;
  }
  EXPECT_TRUE(wine.WaitForSaverWindow(1).empty());
}

void SeparatorsStillRunFullScreen(WineSession& wine) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/", "-", "/s"}, {"-S"}, {"s"}}) {
    auto saver = wine.StartSaver(args);
    ASSERT_TRUE(ParseReport(wine.WaitForSaverWindow(20000)).valid) << args.back();
    SleepMs(300);
    ASSERT_NO_FATAL_FAILURE(EndWithSpace(wine, *saver));
  }
}

void StoredSettingsChooseTheSet(WineSession& wine, const char* type, const char* data, Hue hue,
                                bool rough) {
  wine.StoreSettings(type, data);
  auto saver = wine.StartSaver({"/s"});
  ASSERT_TRUE(ParseReport(wine.WaitForSaverWindow(20000)).valid);
  const auto started = Clock::now();
  const std::vector<Picture> shots = WatchEffect(wine, started);
  ExpectEffect(wine, shots, hue);
  double asymmetry = 0;
  for (const Picture& p : shots) asymmetry = std::max(asymmetry, ColumnParityAsymmetry(p, kParityTolerance));
  if (!BlockStructureMeasurable(wine.Depth())) {
    // Nothing more to measure at this depth.
  } else if (rough) {
    EXPECT_GT(asymmetry, 0.2) << "the rough blur's 2 x 2 blocks are missing";
  } else {
    EXPECT_LT(asymmetry, 0.17);  // the rough blur measures well above 0.2
  }
  EndWithSpace(wine, *saver);
  wine.DeleteSettings();
}

void OtherSelectorsNeverMove(WineSession& wine) {
  wine.StoreSettings("REG_BINARY", "02000000");
  auto saver = wine.StartSaver({"/s"});
  ASSERT_TRUE(ParseReport(wine.WaitForSaverWindow(20000)).valid);
  SleepMs(1500);
  Picture first, second;
  ASSERT_TRUE(wine.Screenshot(first));
  SleepMs(2500);
  ASSERT_TRUE(wine.Screenshot(second));
  EXPECT_TRUE(first == second) << "a low byte of 2 must never move the picture";
  EXPECT_TRUE(saver->Running());
  EndWithSpace(wine, *saver);
  wine.DeleteSettings();
}

// Wine reports the Windows 95 family when its version is set to win98. Without
// "PASSWORD.CPL" there is no verifier even with a password in use, so a close
// request is approved at once; the 'A' switch ends with 0 there instead of -1.
void Windows95FamilyClosesWithoutVerifier(WineSession& wine) {
  wine.Wine({"reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win98", "/f"});
  wine.Wine({"reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "ScreenSaveUsePassword", "/t",
             "REG_DWORD", "/d", "1", "/f"});
  EXPECT_EQ(wine.RunSaver({"/a", "660"}, 20000), 0) << "password change on the 95 family";
  EXPECT_EQ(wine.RunSaver({"/x"}, 20000), kExitMinusOne);
  auto saver = wine.StartSaver({"/s"});
  const bool shown = ParseReport(wine.WaitForSaverWindow(20000)).valid;
  if (shown) {
    SleepMs(500);
    wine.X({"click", "1"});
  }
  const bool ended = saver->ExitedWithin(8000);
  wine.Wine({"reg", "delete", "HKCU\\Control Panel\\Desktop", "/v", "ScreenSaveUsePassword", "/f"});
  wine.Wine({"reg", "delete", "HKCU\\Software\\Wine", "/v", "Version", "/f"});
  ASSERT_TRUE(shown);
  ASSERT_TRUE(ended) << "a click did not close the saver on the 95 family";
  EXPECT_EQ(saver->ExitCode(), 0);
}

void RegistryStoreAgainstTheRealRegistry(WineSession& wine) {
  std::string output;
  EXPECT_EQ(wine.Wine({Helper("lf_registry_check")}, &output, 60000), 0) << output;
  wine.DeleteSettings();
}

// ---- Two monitors side by side: 800 x 600 and 640 x 480, tops aligned ----
//
// The one on the right is the primary monitor, so the virtual screen starts 800 pixels
// left of the system's origin: screenshot x = screen x + 800. The primary surface
// reaches only the 640 x 480 monitor; the other is drawn by GDI.

constexpr TwoHeadServer::Head kMonitors[] = {{0, 0, 800, 600}, {800, 0, 640, 480}};
constexpr int kScreenOrigin = -800;  // where a screenshot's x = 0 lies on the screen

// Two monitors side by side at a depth: a nested Xephyr with Xinerama, its second
// screen Wine's primary monitor.
template <int Bits>
struct TwoMonitors : WineSession {
  bool Open() {
    const std::string d = std::string("x").append(std::to_string(Bits));
    return WineSession::Open(
        Bits, {"+xinerama", "-extension", "RANDR", "-screen", "800x600" + d + "+0+0", "-screen", "640x480" + d + "+810+0"},
        1600, 700);
  }
};

using WineTwoMonitors = WineSuite<TwoMonitors<24>>;
using WineTwoMonitors8 = WineSuite<TwoMonitors<8>>;

void EveryMonitorShowsTheEffect(WineSession& wine) {
  std::string layout;
  wine.Wine({Helper("lf_probe"), "monitors"}, &layout);
  ASSERT_EQ(layout, "2 -800 0 1440 600\n0 0 640 480\n-800 0 0 600\n") << "Wine does not see the two monitors";
  // A plain white window on the primary monitor, as something left open there.
  auto white = wine.StartWine({Helper("lf_probe"), "white", std::to_string(900 + kScreenOrigin), "100", "300", "200"}, {}, true);
  std::string handle;
  ASSERT_TRUE(white->ReadLine(20000, handle)) << "the white window did not appear";
  auto whitePixels = [](const Picture& p) {
    long n = 0;
    for (uint32_t y = 100; y < 300; ++y)
      for (uint32_t x = 900; x < 1200; ++x) n += Luma(p.At(x, y)) == 255 ? 1 : 0;
    return n;
  };
  Picture before;
  SleepMs(500);
  ASSERT_TRUE(wine.Screenshot(before));
  ASSERT_EQ(whitePixels(before), 300L * 200L) << "the white window is not on the screen";

  auto saver = wine.StartSaver({"/s"});
  const WindowReport window = ParseReport(wine.WaitForSaverWindow(20000));
  const auto started = Clock::now();
  ASSERT_TRUE(window.valid);
  EXPECT_EQ(window.left, kScreenOrigin) << "the window spans the virtual screen";
  EXPECT_EQ(window.top, 0);
  EXPECT_EQ(window.right, 640);
  EXPECT_EQ(window.bottom, 600);
  SleepMs(1000);
  Picture covered;
  ASSERT_TRUE(wine.Screenshot(covered));
  EXPECT_EQ(whitePixels(covered), 0) << "the primary monitor still shows the desktop" << KeepShots({covered});

  const std::vector<Picture> shots = WatchEffect(wine, started);
  for (const TwoHeadServer::Head& monitor : kMonitors) {
    SCOPED_TRACE("monitor from x " + std::to_string(monitor.x));
    std::vector<Picture> part;
    for (const Picture& p : shots) part.push_back(p.Crop(uint32_t(monitor.x), uint32_t(monitor.y), monitor.width, monitor.height));
    ExpectEffect(wine, part, Hue::Red);
  }

  ASSERT_NO_FATAL_FAILURE(FifthPixelCloses(wine, *saver));
  white->Kill();
}

TEST_F(WineTwoMonitors, EveryMonitorShowsTheEffectAndNoneTheDesktop) { EveryMonitorShowsTheEffect(*session); }
// At 8 bits the monitor that GDI draws takes the grey palette too.
TEST_F(WineTwoMonitors8, EveryMonitorShowsTheEffectAndNoneTheDesktop) { EveryMonitorShowsTheEffect(*session); }

// A preview is still told from full screen on the wider virtual screen, and draws inside
// its window also where its parent stands on a monitor that the primary surface does
// not reach.
TEST_F(WineTwoMonitors, PreviewOnTheOtherMonitorStaysInsideItsWindow) {
  PreviewPictureFillsTheParent(*session, 100, 80, kScreenOrigin);
}

#define LUMENFALL_WINE_SCENARIOS(Suite)                                                        \
  TEST_F(Suite, FullScreenShowsTheEffectAndFifthPixelOfMovementCloses) {                       \
    FullScreenEffectAndMouseThreshold(*session);                                               \
  }                                                                                            \
  TEST_F(Suite, MouseButtonCloses) { ClosesOn(*session, {"click", "1"}); }                    \
  TEST_F(Suite, KeyCloses) { ClosesOn(*session, {"key", "space"}); }                           \
  TEST_F(Suite, ActivatingAnotherApplicationCloses) { ActivatingAnotherWindowCloses(*session); } \
  TEST_F(Suite, SecondFullScreenStartExitsZeroAndLeavesTheFirst) {                             \
    SecondFullScreenStartEndsAtOnce(*session);                                                 \
  }                                                                                            \
  TEST_F(Suite, PreviewIsAChildThatDoesNotCountAndEndsOnAKey) {                                \
    PreviewChildDoesNotCountAndClosesOnKey(*session);                                          \
  }                                                                                            \
  TEST_F(Suite, PreviewEndsWhenItsParentIsDestroyed) { PreviewEndsWithItsParent(*session); }   \
  TEST_F(Suite, PreviewPictureStaysInsideItsWindow) { PreviewPictureFillsTheParent(*session); } \
  TEST_F(Suite, RefusedSwitchesExitMinusOne) { RefusedSwitchesExitMinusOne(*session); }        \
  TEST_F(Suite, SeparatorsAndCaseStillRunFullScreen) { SeparatorsStillRunFullScreen(*session); } \
  TEST_F(Suite, FlagsFourRunsDeepBlue) {                                                       \
    StoredSettingsChooseTheSet(*session, "REG_BINARY", "04000000", Hue::Blue, false);          \
  }                                                                                            \
  TEST_F(Suite, FlagsAsDwordReadsLikeBinary) {                                                 \
    StoredSettingsChooseTheSet(*session, "REG_DWORD", "4", Hue::Blue, false);                  \
  }                                                                                            \
  TEST_F(Suite, LowQualityBitRunsTheRoughBlur) {                                               \
    StoredSettingsChooseTheSet(*session, "REG_BINARY", "01000010", Hue::Red, true);            \
  }                                                                                            \
  TEST_F(Suite, FiveByteFlagsFallBackToTheDefault) {                                           \
    StoredSettingsChooseTheSet(*session, "REG_BINARY", "0400000000", Hue::Red, false);         \
  }                                                                                            \
  TEST_F(Suite, OtherSelectorNeverMovesThePicture) { OtherSelectorsNeverMove(*session); }      \
  TEST_F(Suite, Windows95FamilyWithoutVerifierClosesAndChangesPassword) {                    \
    Windows95FamilyClosesWithoutVerifier(*session);                                            \
  }                                                                                            \
  TEST_F(Suite, RegistryStoreAgainstTheRealRegistry) {                                         \
    RegistryStoreAgainstTheRealRegistry(*session);                                             \
  }

LUMENFALL_WINE_SCENARIOS(WineDepth8)
LUMENFALL_WINE_SCENARIOS(WineDepth16)
LUMENFALL_WINE_SCENARIOS(WineDepth24)

// The blur's kernels as the 32-bit build compiles them, at every level the processor has
// and with both Swar words, byte for byte against the plain loops (once: they do not
// depend on the display).
TEST_F(WineDepth16, BlurKernelsOfTheWindowsBuildMatchThePlainLoops) {
  std::string output;
  EXPECT_EQ(session->Wine({Helper("lf_blur_check")}, &output, 300000), 0) << output;
  EXPECT_NE(output.find(" cases, 0 differ"), std::string::npos) << output;
}

}  // namespace
}  // namespace lumenfall::wine

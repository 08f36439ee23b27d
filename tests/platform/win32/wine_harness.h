// What is Wine's own in the saver's tests: the edition of the saver that this machine
// runs, and the Wine desktop (a private X server, a prefix and its wineserver) that the
// suites' sessions build on. Processes, X servers and pictures are tests/support's.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/checks.h"
#include "tests/support/process.h"
#include "tests/support/x_servers.h"
#include "tests/test_requirements.h"

namespace lumenfall::wine {

using namespace lumenfall::test;

// What every Wine suite counts in: its clock, the 800 x 600 desktop and the exit code
// of ExitProcess(-1).
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;
constexpr int kExitMinusOne = 255;  // ExitProcess(-1) as Wine hands it to the Unix parent

// The edition of the saver that the Wine suites run, as scripts/wine-edition.sh
// chooses it: the 32-bit one where this kernel runs 32-bit programs, else the 64-bit
// one in a 64-bit prefix (LUMENFALL_WINE_EDITION=x86|x64 chooses).
struct WineEdition {
  std::string name;      // "x86" or "x64"; empty when none can run (see error)
  std::string why;       // why this one, for the test output
  std::string buildDir;  // the cross build with win32/lumenfall.scr and the helpers
  std::string arch;      // WINEARCH of its prefixes: "win32" or "win64"
  std::string error;
};
const WineEdition& Edition();
// The folder of the edition's Windows programs.
inline std::string WinDir() { return Edition().buildDir + "/win32"; }
// A suite's folder for the edition's prefixes and files, below its work folder.
inline std::string EditionWorkDir(const std::string& workDir) { return workDir + "/" + Edition().name; }
// Empty when an edition was chosen and each of its files is there (paths below
// WinDir()); otherwise why a suite cannot run.
std::string MissingWindowsFiles(const std::vector<std::string>& files);
// Copies the files into the folder (made when missing); false when one cannot be.
bool CopyInto(const std::string& folder, const std::vector<std::string>& files);

// A private desktop for Windows programs: an Xvfb display (with a nested Xephyr for
// several heads), a Wine prefix (initialised once and kept) and that prefix's own
// wineserver, with WINEDEBUG=-all. A suite's session is one.
class WineDesktop {
 public:
  WineDesktop() = default;
  ~WineDesktop() { Close(); }
  WineDesktop(const WineDesktop&) = delete;
  WineDesktop& operator=(const WineDesktop&) = delete;

  // Checks the tools, starts the display and the wineserver, and initialises the prefix
  // when it is new (then calls prefixMade, if given). False with the reason in Error().
  // With nested arguments the programs run on a Xephyr started with them inside the
  // Xvfb display ("+xinerama -screen ... -screen ...").
  bool OpenDesktop(int depth, int width, int height, const std::string& prefix,
                   const std::function<void(const std::string&)>& prefixMade = {},
                   const std::vector<std::string>& nested = {});
  // Stops the wineserver and the display; harmless when nothing is running.
  void Close();
  const std::string& Error() const { return error_; }

  const Environment& Env() const { return env_; }
  // Runs "wine args..." to its end; -1 when it had to be killed at the deadline. Its
  // output's lines end in "\n" alone.
  int Wine(const std::vector<std::string>& args, std::string* output = nullptr, int timeoutMs = 30000,
           const Environment& extra = {});
  std::unique_ptr<Process> StartWine(const std::vector<std::string>& args, const Environment& extra = {},
                                     bool capture = false);
  // xdotool on the display.
  void X(const std::vector<std::string>& args);
  // The whole screen.
  bool Screenshot(Picture& picture);

 protected:
  bool Fail(const std::string& error) {
    error_ = error;
    return false;
  }

 private:
  Environment With(const Environment& extra) const;
  std::unique_ptr<XvfbServer> xvfb_;
  std::unique_ptr<XephyrServer> nested_;
  Environment env_;
  std::unique_ptr<Process> server_;
  std::string error_;
};

// In a test's SetUp: skips the test (fails it under CI, CI=true) when the desktop could
// not open, else puts the pointer in the centre of the screen.
#define LUMENFALL_START_WINE_TEST(desktop)                                                      \
  do {                                                                                          \
    if (const std::string& wineError = (desktop).Error(); !wineError.empty()) {                 \
      if (InCi()) FAIL() << "Wine tests cannot run: " << wineError;                             \
      GTEST_SKIP() << "Wine tests cannot run: " << wineError;                                   \
    }                                                                                           \
    (desktop).X({"mousemove", std::to_string(kScreenWidth / 2), std::to_string(kScreenHeight / 2)}); \
  } while (false)

// A suite's fixture: one Session (a WineDesktop with Open()) for all its tests.
template <typename Session>
class WineSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    session = new Session();
    session->Open();
  }
  static void TearDownTestSuite() {
    delete session;
    session = nullptr;
  }
  void SetUp() override { LUMENFALL_START_WINE_TEST(*session); }
  static inline Session* session = nullptr;
};

}  // namespace lumenfall::wine

// Running Windows programs under Wine on a private X server, for the saver's tests:
// child processes with deadlines, the Xvfb display, the Wine prefix and screenshots.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/test_requirements.h"

namespace lumenfall::wine {

using Environment = std::map<std::string, std::string>;

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

// A child process in its own process group. The destructor kills the group if the
// child still runs, so no test leaves anything behind.
class Process {
 public:
  static std::unique_ptr<Process> Start(const std::vector<std::string>& argv,
                                        const Environment& extra, bool captureStdout);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // True when the child ended within timeoutMs; *exitCode is its exit status, or
  // 128 + signal when a signal ended it.
  bool WaitExit(int timeoutMs, int* exitCode);
  bool Running();
  // The first line of the child's standard output, waiting up to timeoutMs.
  bool ReadLine(int timeoutMs, std::string* line);
  // Everything the child writes until it closes its output, waiting up to timeoutMs.
  bool ReadAll(int timeoutMs, std::string* bytes);
  void Kill();
  pid_t Pid() const { return pid_; }

 private:
  Process() = default;
  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  bool reaped_ = false;
  int exitCode_ = -1;
  std::string buffered_;
};

// Runs a command to its end; -1 when it had to be killed at the deadline.
int Run(const std::vector<std::string>& argv, const Environment& extra, int timeoutMs,
        std::string* output = nullptr);

// True when name is an executable on PATH.
bool HaveTool(const std::string& name);

bool FileExists(const std::string& path);
// Creates a folder and its parents; true when it exists afterwards.
bool MakeFolders(const std::string& path);
// Copies a file's bytes; false when either side cannot be opened or written.
bool CopyFile(const std::string& from, const std::string& to);
// A whole file's bytes, or empty when it cannot be read.
std::string ReadFile(const std::string& path);

using test::InCi;

// In a fixture's SetUp: when the session could not start Wine (error not empty), fails
// under CI (CI=true) or skips, naming the reason.
#define LUMENFALL_NEED_WINE(error)                                                    \
  do {                                                                                 \
    if (const std::string wineError = (error); !wineError.empty()) {                   \
      if (InCi()) FAIL() << "Wine tests cannot run: " << wineError;                    \
      GTEST_SKIP() << "Wine tests cannot run: " << wineError;                          \
    }                                                                                  \
  } while (false)
void SleepMs(int milliseconds);

// An RGB picture of the screen, 8 bits per channel.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* At(int x, int y) const { return rgb.data() + (size_t(y) * size_t(width) + size_t(x)) * 3; }
  bool operator==(const Picture& other) const {
    return width == other.width && height == other.height && rgb == other.rgb;
  }
};

// Parses a binary PPM (P6, maxval 255). False for anything else.
bool ParsePpm(const std::string& bytes, Picture* picture);

// A private Xvfb server: the first free display number from 90 up.
class XServer {
 public:
  XServer() = default;
  ~XServer() { Stop(); }
  bool Start(int depth, int width, int height, std::string* error);
  // A nested Xephyr inside the display host, with its own arguments (screens, Xinerama).
  bool StartNested(const std::string& host, const std::vector<std::string>& args, std::string* error);
  void Stop();
  std::string Display() const { return std::string(":").append(std::to_string(number_)); }

 private:
  // Starts the server on the first free display number from 90 up; argv's "{}" is the
  // display name.
  bool Launch(const std::vector<std::string>& argv, const Environment& env, std::string* error);
  std::unique_ptr<Process> process_;
  int number_ = -1;
};

// A private desktop for Windows programs: an Xvfb display, a Wine prefix (initialised
// once and kept) and that prefix's own wineserver, with WINEDEBUG=-all.
class WineDesktop {
 public:
  WineDesktop() = default;
  ~WineDesktop() { Close(); }
  WineDesktop(const WineDesktop&) = delete;
  WineDesktop& operator=(const WineDesktop&) = delete;

  // Checks the tools, starts the display and the wineserver, and initialises the prefix
  // when it is new (then calls prefixMade, if given). False with a reason in *error.
  // With nested arguments the programs run on a Xephyr started with them inside the
  // Xvfb display (several heads: "+xinerama -screen ... -screen ...").
  bool Open(int depth, int width, int height, const std::string& prefix, std::string* error,
            const std::function<void(const std::string&)>& prefixMade = {},
            const std::vector<std::string>& nested = {});
  // Stops the wineserver and the display; harmless when nothing is running.
  void Close();

  const Environment& Env() const { return env_; }
  Environment With(const Environment& extra) const;

  // Runs "wine args..." to its end; -1 when it had to be killed at the deadline.
  int Wine(const std::vector<std::string>& args, std::string* output = nullptr,
           int timeoutMs = 30000, const Environment& extra = {});
  std::unique_ptr<Process> StartWine(const std::vector<std::string>& args,
                                     const Environment& extra = {}, bool capture = false);
  // xdotool on the display.
  void X(const std::vector<std::string>& args);
  // The whole screen.
  bool Screenshot(Picture* picture);

 private:
  XServer xserver_;
  XServer nested_;
  Environment env_;
  std::unique_ptr<Process> server_;
};

}  // namespace lumenfall::wine

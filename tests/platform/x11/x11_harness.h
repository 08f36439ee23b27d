// Test harness for the Linux saver: a private Xvfb server, the saver as a child
// process, and an Xlib client that makes windows and reads their pixels back.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_requirements.h"

namespace lumenfall::x11test {

using test::InCi;

// A private X server on the first free display number from 70 up; stopped (and waited
// for) when the object goes. Every wait is bounded.
class XServer {
 public:
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool Missing() const { return missing_; }  // no Xvfb on this machine
  bool Running() const { return pid_ > 0; }
  const std::string& Error() const { return error_; }
  const std::string& Name() const { return name_; }  // ":70"

  // A new client connection (the caller closes it), or null.
  Display* Connect() const;

 protected:
  XServer() = default;
  // Starts program (an absolute path, "" or NOTFOUND when missing) with ":N" and the
  // arguments, on the given display (empty: none).
  void Start(const std::string& program, const std::string& missingText,
             const std::vector<std::string>& arguments, const std::string& hostDisplay);
  void Stop();

 private:
  pid_t pid_ = -1;
  bool missing_ = false;
  std::string name_;
  std::string error_;
};

class XvfbServer : public XServer {
 public:
  explicit XvfbServer(const std::string& screen = "640x480x24",
                      const std::vector<std::string>& extraArguments = {});
};

// Two heads side by side, as a user's two monitors: a nested Xephyr with Xinerama over
// two screens, inside a private Xvfb that holds its windows.
class TwoHeadServer : public XServer {
 public:
  TwoHeadServer();
  ~TwoHeadServer();  // the nested server before its host
  TwoHeadServer(const TwoHeadServer&) = delete;
  TwoHeadServer& operator=(const TwoHeadServer&) = delete;
  struct Head {
    int x, y;
    uint32_t width, height;
  };
  // As Xinerama lays them out on the one logical screen.
  static constexpr Head kHeads[2] = {{0, 0, 800, 600}, {800, 0, 640, 480}};

 private:
  XvfbServer host_{"1600x800x24"};
};

// The saver (or any program) as a child process with its standard error captured.
class Child {
 public:
  Child(const std::vector<std::string>& arguments,
        const std::vector<std::pair<std::string, std::string>>& environment);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // Waits at most the given time for the process to end; true when it has.
  bool ExitedWithin(int milliseconds);
  bool StillRunning() { return !ExitedWithin(0); }
  void Signal(int sig);
  // After the end: normal exit with this code (-1 when it died of a signal).
  int ExitCode() const;
  int TermSignal() const;
  // Everything written to standard error so far.
  std::string Stderr();

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
  int stderrPipe_ = -1;
  std::string stderr_;
};

// The saver binary with the given arguments, on the server's display.
std::vector<std::string> SaverCommand(const std::vector<std::string>& arguments);

// The saver as the Debian package installs it: the tests of the installed package (the
// label "package") need it there.
constexpr const char* kInstalledSaver = "/usr/libexec/xscreensaver/lumenfall";

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

struct Capture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<Rgb> pixels;
  const Rgb& At(uint32_t x, uint32_t y) const { return pixels[size_t{y} * width + x]; }
};

// Reads the window's pixels as 8-bit colours (fields narrower than 8 bits are widened
// with zero low bits). False when the window cannot be read.
bool CaptureWindow(Display* display, Window window, Capture& capture);
// The same for a rectangle of the window.
bool CaptureArea(Display* display, Window window, int x, int y, uint32_t width, uint32_t height,
                 Capture& capture);

// A top-level window of the given size with a black background; mapped (and waited
// for) when map is true. The client selects StructureNotify and Exposure on it.
Window MakeWindow(Display* display, uint32_t width, uint32_t height, bool map);

// Sleeps for the given milliseconds.
void SleepMs(int milliseconds);

// Ids of the System V shared memory segments that the process created.
std::vector<int> SharedMemoryOf(pid_t pid);
// Their size in bytes, all together.
size_t SharedMemoryBytesOf(pid_t pid);

}  // namespace lumenfall::x11test

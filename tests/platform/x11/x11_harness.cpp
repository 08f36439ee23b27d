#include "x11_harness.h"

#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace lumenfall::x11test {

namespace {

using Clock = std::chrono::steady_clock;

int IgnoreXError(Display*, XErrorEvent*) { return 0; }

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// The process id written in the display's lock file, or -1.
pid_t LockOwner(const std::string& number) {
  std::ifstream lock("/tmp/.X" + number + "-lock");
  long pid = -1;
  if (!(lock >> pid)) return -1;
  return pid_t(pid);
}

// Spawns argv with the environment; stderrFd (if not -1) becomes standard error and
// standard output goes to /dev/null.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            int stderrFd, bool quiet) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (stderrFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, stderrFd, 2);
    posix_spawn_file_actions_addclose(&actions, stderrFd);
  } else if (quiet) {
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

std::vector<std::string> BaseEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    // A Wayland session's WAYLAND_DISPLAY would send the saver to the compositor.
    if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("XSCREENSAVER_WINDOW=", 0) == 0 ||
        entry.rfind("WAYLAND_DISPLAY=", 0) == 0)
      continue;
    env.push_back(entry);
  }
  return env;
}

// Waits (bounded) for the process; true when it ended, with its status.
bool WaitFor(pid_t pid, int milliseconds, int& status) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return true;
    if (r < 0) return true;  // not ours any more: nothing left to wait for
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

void SleepMs(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// ---------------------------------------------------------------- Xvfb

XvfbServer::XvfbServer(const std::string& screen, const std::vector<std::string>& extraArguments) {
  std::vector<std::string> arguments = {"-screen", "0", screen};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  Start(LUMENFALL_XVFB, "Xvfb is not installed (Debian: apt-get install xvfb)", arguments, "");
}

TwoHeadServer::TwoHeadServer() {
  if (!host_.Running()) {
    Start("", host_.Error(), {}, "");
    return;
  }
  std::vector<std::string> arguments = {"+xinerama"};
  for (const Head& head : kHeads)  // the host windows 10 pixels apart, as two bezels
    arguments.insert(arguments.end(), {"-screen", std::to_string(head.width) + "x" +
                                                      std::to_string(head.height) + "+" +
                                                      std::to_string(head.x + (head.x > 0 ? 10 : 0)) + "+0"});
  Start(LUMENFALL_XEPHYR, "Xephyr is not installed (Debian: apt-get install xserver-xephyr)", arguments,
        host_.Name());
}

void XServer::Start(const std::string& program, const std::string& missingText,
                    const std::vector<std::string>& arguments, const std::string& hostDisplay) {
  if (program.empty() || program.find("NOTFOUND") != std::string::npos ||
      access(program.c_str(), X_OK) != 0) {
    missing_ = true;
    error_ = missingText;
    return;
  }
  std::vector<std::string> environment = BaseEnvironment();
  if (!hostDisplay.empty()) environment.push_back("DISPLAY=" + hostDisplay);
  XSetErrorHandler(IgnoreXError);
  int attempts = 0;
  for (int n = 70; n < 200 && attempts < 8; ++n) {
    const std::string number = std::to_string(n);
    if (Exists("/tmp/.X11-unix/X" + number) || Exists("/tmp/.X" + number + "-lock")) continue;
    ++attempts;
    std::vector<std::string> argv = {program, ":" + number, "-nolisten", "tcp", "-noreset"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const pid_t pid = Spawn(argv, environment, -1, true);
    if (pid <= 0) {
      error_ = "cannot start " + program;
      return;
    }
    // Ready when a client can connect; another server may win the number meanwhile.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    bool up = false, exited = false;
    while (!up && !exited && Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        exited = true;
        break;
      }
      // Up when the display's lock names our server (another one may have won the
      // number meanwhile) and a client can connect.
      if (LockOwner(number) == pid) {
        if (Display* d = XOpenDisplay((":" + number).c_str())) {
          XCloseDisplay(d);
          up = true;
          break;
        }
      }
      SleepMs(20);
    }
    if (up) {
      pid_ = pid;
      name_ = ":" + number;
      return;
    }
    if (!exited) {
      kill(pid, SIGKILL);
      int status = 0;
      waitpid(pid, &status, 0);
    }
  }
  error_ = program + " did not start on any display from :70 up";
}

TwoHeadServer::~TwoHeadServer() { Stop(); }

XServer::~XServer() { Stop(); }

void XServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  if (!WaitFor(pid_, 3000, status)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
}

Display* XServer::Connect() const {
  if (pid_ <= 0) return nullptr;
  XSetErrorHandler(IgnoreXError);
  return XOpenDisplay(name_.c_str());
}

// ---------------------------------------------------------------- child processes

Child::Child(const std::vector<std::string>& arguments,
             const std::vector<std::pair<std::string, std::string>>& environment) {
  std::vector<std::string> env = BaseEnvironment();
  for (const auto& [name, value] : environment) {
    // A given variable replaces the inherited one: with both, the first would win.
    const std::string prefix = name + "=";
    std::erase_if(env, [&prefix](const std::string& entry) { return entry.rfind(prefix, 0) == 0; });
    env.push_back(prefix + value);
  }
  int fds[2] = {-1, -1};
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  pid_ = Spawn(arguments, env, fds[1], false);
  close(fds[1]);
  stderrPipe_ = fds[0];
  fcntl(stderrPipe_, F_SETFL, O_NONBLOCK);
}

Child::~Child() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
  }
  if (stderrPipe_ >= 0) close(stderrPipe_);
}

bool Child::ExitedWithin(int milliseconds) {
  if (pid_ <= 0 || reaped_) return true;
  Stderr();  // keep the pipe drained
  if (WaitFor(pid_, milliseconds, status_)) reaped_ = true;
  return reaped_;
}

void Child::Signal(int sig) {
  if (pid_ > 0 && !reaped_) kill(pid_, sig);
}

int Child::ExitCode() const {
  return reaped_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

int Child::TermSignal() const { return reaped_ && WIFSIGNALED(status_) ? WTERMSIG(status_) : 0; }

std::string Child::Stderr() {
  if (stderrPipe_ >= 0) {
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(stderrPipe_, buffer, sizeof buffer)) > 0) stderr_.append(buffer, size_t(n));
  }
  return stderr_;
}

std::vector<std::string> SaverCommand(const std::vector<std::string>& arguments) {
  std::vector<std::string> command = {LUMENFALL_BINARY};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

// ---------------------------------------------------------------- windows and pixels

namespace {

uint8_t Channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  int width = 0;
  while (((mask >> (shift + width)) & 1u) != 0) ++width;
  const unsigned long field = (pixel & mask) >> shift;
  return static_cast<uint8_t>(width >= 8 ? field >> (width - 8) : field << (8 - width));
}

}  // namespace

bool CaptureWindow(Display* display, Window window, Capture& capture) {
  XWindowAttributes a{};
  if (XGetWindowAttributes(display, window, &a) == 0) return false;
  return CaptureArea(display, window, 0, 0, uint32_t(a.width), uint32_t(a.height), capture);
}

bool CaptureArea(Display* display, Window window, int left, int top, uint32_t width, uint32_t height,
                 Capture& capture) {
  XWindowAttributes a{};
  if (XGetWindowAttributes(display, window, &a) == 0) return false;
  XImage* image = XGetImage(display, window, left, top, width, height, AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  capture.width = width;
  capture.height = height;
  capture.pixels.assign(size_t{capture.width} * capture.height, Rgb{});
  for (uint32_t y = 0; y < capture.height; ++y) {
    for (uint32_t x = 0; x < capture.width; ++x) {
      const unsigned long p = XGetPixel(image, int(x), int(y));
      Rgb& out = capture.pixels[size_t{y} * capture.width + x];
      out.r = Channel(p, a.visual->red_mask);
      out.g = Channel(p, a.visual->green_mask);
      out.b = Channel(p, a.visual->blue_mask);
    }
  }
  XDestroyImage(image);
  return true;
}

Window MakeWindow(Display* display, uint32_t width, uint32_t height, bool map) {
  const int screen = DefaultScreen(display);
  const Window window =
      XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, width, height, 0,
                          BlackPixel(display, screen), BlackPixel(display, screen));
  XSelectInput(display, window, StructureNotifyMask | ExposureMask);
  if (map) {
    XMapWindow(display, window);
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    XEvent event;
    while (Clock::now() < deadline) {
      if (XCheckTypedWindowEvent(display, window, MapNotify, &event)) break;
      SleepMs(5);
    }
  }
  XSync(display, False);
  return window;
}

namespace {

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

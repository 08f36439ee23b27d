// Programs that a test runs: the saver, display servers, compositors, Wine and tools.
// Every wait is bounded; whatever a test started ends with the object that started it.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace lumenfall::test {

// Variables set for a program on top of the inherited environment, which never passes
// on a display (DISPLAY, WAYLAND_DISPLAY, XSCREENSAVER_WINDOW): each test names its own.
using Environment = std::map<std::string, std::string>;

// What becomes of a program's standard output or error.
enum class Stream { Discard, Capture, Inherit };

// A program in a process group of its own, with standard input from /dev/null. argv[0]
// is a path, or a name looked up on PATH. The destructor kills the group if the program
// still runs.
class Process {
 public:
  explicit Process(const std::vector<std::string>& argv, const Environment& environment = {},
                   Stream out = Stream::Discard, Stream err = Stream::Capture);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // Waits at most the given time for the program to end; true when it has.
  bool ExitedWithin(int milliseconds);
  bool Running() { return !ExitedWithin(0); }
  // After the end: the exit status, 128 + the signal that ended it, or -1.
  int ExitCode() const { return exitCode_; }
  // The signal to the program alone.
  void Signal(int sig);
  // SIGTERM, then after graceMs SIGKILL to the whole group.
  void Stop(int graceMs = 3000);
  // SIGKILL to the whole group, and the end waited for.
  void Kill();

  // Everything captured from standard error so far.
  std::string Stderr();
  // The next line of captured standard output, waiting up to the time.
  bool ReadLine(int milliseconds, std::string& line);
  // Captured standard output until the program closes it, waiting up to the time.
  bool ReadAll(int milliseconds, std::string& bytes);

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int exitCode_ = -1;
  int stdout_ = -1;
  int stderr_ = -1;
  std::string stdoutText_, stderrText_;
};

// Runs a program to its end: its exit code, or -1 when it was killed at the deadline.
// With output, its standard output.
int RunToEnd(const std::vector<std::string>& argv, const Environment& environment, int timeoutMs,
             std::string* output = nullptr, Stream err = Stream::Discard);

// The path of a program: a name on PATH (or in /usr/sbin, /sbin), or a path as given;
// empty when it is not there or not executable.
std::string FindTool(const std::string& name);

void SleepMs(int milliseconds);
// A whole file's bytes, or empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace lumenfall::test

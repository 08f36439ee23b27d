// Test harness for the saver on Wayland: a private headless sway (pixman renderer, two
// outputs of different sizes side by side) run as an unprivileged user, the saver and
// the tools (swaymsg, grim, wtype) run as that user against it. Every wait is bounded;
// everything started is stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "x11_harness.h"

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

namespace lumenfall::waylandtest {

using x11test::Capture;
using x11test::Child;
using x11test::InCi;
using x11test::SleepMs;

// The outputs: HEADLESS-1 is 640 x 480 at (0, 0), HEADLESS-2 800 x 600 at (640, 0).
struct OutputSize {
  const char* name;
  uint32_t width, height;
};
constexpr OutputSize kOutputs[] = {{"HEADLESS-1", 640, 480}, {"HEADLESS-2", 800, 600}};

// The path of a program on $PATH, or an empty text.
std::string FindTool(const std::string& name);

// A private directory readable by the test user, with a runtime directory of its own
// and a copy of the saver; removed when the object goes.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  bool Ok() const { return error_.empty(); }
  bool Missing() const { return missing_; }  // a tool is not installed
  const std::string& Error() const { return error_; }
  const std::string& Dir() const { return dir_; }
  const std::string& RuntimeDir() const { return runtime_; }
  // The command as the test user (unchanged when the tests do not run as root).
  std::vector<std::string> AsUser(std::vector<std::string> command) const;
  // A file of the sandbox with these contents that the test user can read; its path.
  std::string AddFile(const std::string& name, const std::string& contents) const;
  // The saver with these arguments, as the test user, on the compositor named by the
  // environment.
  std::unique_ptr<Child> Saver(const std::vector<std::string>& arguments,
                               const std::vector<std::pair<std::string, std::string>>& environment) const;

 protected:
  void Need(const std::vector<std::string>& tools);
  std::string Tool(const std::string& name) const;

  std::string dir_, runtime_, error_;
  bool missing_ = false;
  bool asRoot_ = false;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
};

class SwayServer : public Sandbox {
 public:
  SwayServer();
  ~SwayServer();

  bool Running() const { return Ok() && sway_ != nullptr; }
  std::vector<std::pair<std::string, std::string>> Environment() const;
  std::unique_ptr<Child> Saver(const std::vector<std::string>& arguments) const {
    return Sandbox::Saver(arguments, Environment());
  }
  // Runs a tool as the test user against the compositor; true when it ends with 0
  // within the time.
  bool Run(const std::vector<std::string>& command, int timeoutMs = 5000) const;
  bool Swaymsg(const std::vector<std::string>& arguments) const;
  bool MovePointer(int dx, int dy) const;
  bool PressButton() const;
  bool PressKey() const;
  bool Screenshot(const std::string& output, Capture& capture) const;
  // Ends the compositor at once, as a crash would.
  void Kill();

 private:
  std::unique_ptr<Child> sway_;
  std::string socket_, ipc_;
  // A client of our own that holds a virtual pointer, so that the seat has one.
  wl_display* pointerClient_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_seat* seat_ = nullptr;
  zwlr_virtual_pointer_manager_v1* manager_ = nullptr;
  zwlr_virtual_pointer_v1* pointer_ = nullptr;
};

// Weston on its headless backend: a compositor without the layer shell.
class WestonServer : public Sandbox {
 public:
  WestonServer();
  ~WestonServer();
  bool Running() const { return Ok() && weston_ != nullptr; }
  std::vector<std::pair<std::string, std::string>> Environment() const;

 private:
  std::unique_ptr<Child> weston_;
};

}  // namespace lumenfall::waylandtest

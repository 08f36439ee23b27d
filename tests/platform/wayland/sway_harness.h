// Test harness for the saver on Wayland: a private headless compositor run as the test
// user, with a runtime directory of its own and a copy of the saver that the user can
// run. sway (pixman renderer, two outputs of different sizes side by side) with the
// tools swaymsg, grim and wtype; weston, which has no layer shell. Every wait is
// bounded; everything started is stopped when the object goes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/checks.h"
#include "tests/support/test_user.h"
#include "tests/test_requirements.h"

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

namespace lumenfall::waylandtest {

using namespace lumenfall::test;

// The outputs: HEADLESS-1 is 640 x 480 at (0, 0), HEADLESS-2 800 x 600 at (640, 0).
constexpr const char* kOutputs[] = {"HEADLESS-1", "HEADLESS-2"};

class Compositor {
 public:
  ~Compositor();
  Compositor(const Compositor&) = delete;
  Compositor& operator=(const Compositor&) = delete;

  bool Running() const { return error_.empty() && process_ != nullptr; }
  bool Missing() const { return missing_; }  // a tool is not installed
  const std::string& Error() const { return error_; }
  const std::string& RuntimeDir() const { return runtime_; }
  Environment ClientEnvironment() const { return {{"XDG_RUNTIME_DIR", runtime_}, {"WAYLAND_DISPLAY", socket_}}; }
  // A file with these contents that the test user can read; its path.
  std::string AddFile(const std::string& name, const std::string& contents) const;
  // The saver with these arguments, as the test user, on the compositor (or as the
  // environment says).
  std::unique_ptr<Process> Saver(const std::vector<std::string>& arguments) const {
    return Saver(arguments, ClientEnvironment());
  }
  std::unique_ptr<Process> Saver(const std::vector<std::string>& arguments, const Environment& environment) const;
  // Ends the compositor at once, as a crash would.
  void Kill();

 protected:
  // Checks the tools and makes the directories.
  explicit Compositor(const std::vector<std::string>& tools);
  // Starts the compositor, up when its socket (socketPrefix...) shows in the runtime directory.
  void Start(const std::vector<std::string>& command, const Environment& environment, const std::string& socketPrefix);
  // The first entry of the runtime directory whose name starts with prefix, waited for.
  std::string WaitForEntry(const std::string& prefix);

  std::string dir_, runtime_, socket_, error_;
  bool missing_ = false;

 private:
  std::unique_ptr<Process> process_;
};

class SwayServer : public Compositor {
 public:
  SwayServer();
  ~SwayServer();

  // Runs a tool as the test user against the compositor; true when it ends with 0
  // within the time.
  bool Run(const std::vector<std::string>& command, int timeoutMs = 5000) const;
  bool Swaymsg(const std::vector<std::string>& arguments) const;
  bool SetPointer(int x, int y) const;
  bool MovePointer(int dx, int dy) const;
  bool PressButton() const;
  bool PressKey() const;
  bool Screenshot(const std::string& output, Picture& picture) const;

 private:
  std::string ipc_;
  // A client of our own that holds a virtual pointer, so that the seat has one.
  wl_display* pointerClient_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_seat* seat_ = nullptr;
  zwlr_virtual_pointer_manager_v1* manager_ = nullptr;
  zwlr_virtual_pointer_v1* pointer_ = nullptr;
};

// Weston on its headless backend: a compositor without the layer shell.
class WestonServer : public Compositor {
 public:
  WestonServer();
};

}  // namespace lumenfall::waylandtest

#include "sway_harness.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace lumenfall::waylandtest {

namespace {

constexpr int kStartMs = 10000;  // a compositor's start-up, bounded

struct PointerGlobals {
  wl_seat* seat = nullptr;
  zwlr_virtual_pointer_manager_v1* manager = nullptr;
};

const wl_registry_listener kRegistryListener = {
    [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
      auto* g = static_cast<PointerGlobals*>(data);
      if (std::strcmp(interface, wl_seat_interface.name) == 0 && g->seat == nullptr)
        g->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
      if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        g->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    },
    [](void*, wl_registry*, uint32_t) {}};

}  // namespace

// ---------------------------------------------------------------- any compositor

Compositor::Compositor(const std::vector<std::string>& tools) {
  for (const std::string& tool : tools) {
    if (FindTool(tool).empty()) {
      missing_ = true;
      error_ = tool + " is not installed (Debian: apt-get install sway grim wtype weston)";
      return;
    }
  }
  const TestUser& user = TheTestUser();  // compositors refuse to run as root
  if (!user.error.empty()) {
    error_ = user.error;
    return;
  }
  char pattern[] = "/tmp/lumenfall-wayland.XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    error_ = "cannot make a temporary directory";
    return;
  }
  dir_ = pattern;
  runtime_ = dir_ + "/run";
  chmod(dir_.c_str(), 0755);
  mkdir(runtime_.c_str(), 0700);
  if (chown(runtime_.c_str(), user.uid, user.gid) != 0) error_ = "cannot hand the runtime directory over";
  // A copy of the saver that the test user can surely run.
  std::error_code ignored;
  std::filesystem::copy_file(LUMENFALL_BINARY, dir_ + "/lumenfall", ignored);
  chmod((dir_ + "/lumenfall").c_str(), 0755);
}

Compositor::~Compositor() {
  if (process_) process_->Stop();
  if (dir_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void Compositor::Start(const std::vector<std::string>& command, const Environment& environment,
                       const std::string& socketPrefix) {
  if (!error_.empty()) return;
  process_ = std::make_unique<Process>(AsTestUser(command), environment);
  socket_ = WaitForEntry(socketPrefix);
  if (socket_.empty()) {
    error_ = command[0] + " did not start: " + process_->Stderr();
    process_.reset();
  }
}

std::string Compositor::WaitForEntry(const std::string& prefix) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMs);
  while (std::chrono::steady_clock::now() < deadline && process_->Running()) {
    if (DIR* d = opendir(runtime_.c_str())) {
      std::string found;
      while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.rfind(prefix, 0) == 0 && name.find(".lock") == std::string::npos) found = name;
      }
      closedir(d);
      if (!found.empty()) return found;
    }
    SleepMs(50);
  }
  return "";
}

std::string Compositor::AddFile(const std::string& name, const std::string& contents) const {
  const std::string path = dir_ + "/" + name;
  std::ofstream(path, std::ios::binary) << contents;
  chmod(path.c_str(), 0644);
  return path;
}

std::unique_ptr<Process> Compositor::Saver(const std::vector<std::string>& arguments,
                                           const Environment& environment) const {
  std::vector<std::string> command = {dir_ + "/lumenfall"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return std::make_unique<Process>(AsTestUser(command), environment);
}

void Compositor::Kill() {
  if (process_) process_->Kill();
}

// ---------------------------------------------------------------- sway

SwayServer::SwayServer() : Compositor({"sway", "swaymsg", "grim", "wtype"}) {
  const std::string config = dir_ + "/config";
  std::ofstream(config) << "output HEADLESS-1 mode 640x480 position 0 0\n"
                           "output HEADLESS-2 mode 800x600 position 640 0\n"
                           "default_border none\n"
                           "focus_follows_mouse no\n"
                           "seat seat0 hide_cursor 200\n"
                           "xwayland disable\n";
  chmod(config.c_str(), 0644);
  Start({FindTool("sway"), "-c", config},
        {{"WLR_BACKENDS", "headless"},
         {"WLR_RENDERER", "pixman"},
         {"WLR_HEADLESS_OUTPUTS", "2"},
         {"WLR_LIBINPUT_NO_DEVICES", "1"},
         {"XDG_RUNTIME_DIR", runtime_}},
        "wayland-");
  if (!Running()) return;
  ipc_ = WaitForEntry("sway-ipc.");
  if (ipc_.empty()) {
    error_ = "sway opened no IPC socket";
    return;
  }
  ipc_ = runtime_ + "/" + ipc_;
  // Both outputs configured before any test looks at them.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMs);
  bool outputs = false;
  while (!outputs && std::chrono::steady_clock::now() < deadline) {
    outputs = Swaymsg({"output", "HEADLESS-2", "mode", "800x600"});
    if (!outputs) SleepMs(100);
  }
  // The headless seat has no pointer; a virtual one gives it one, so that the cursor
  // commands reach clients as pointer events.
  pointerClient_ = wl_display_connect((runtime_ + "/" + socket_).c_str());
  PointerGlobals globals;
  if (pointerClient_ != nullptr) {
    registry_ = wl_display_get_registry(pointerClient_);
    wl_registry_add_listener(registry_, &kRegistryListener, &globals);
    wl_display_roundtrip(pointerClient_);
    seat_ = globals.seat;
    manager_ = globals.manager;
    if (manager_ != nullptr) {
      pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager_, seat_);
      wl_display_roundtrip(pointerClient_);
    }
  }
  if (!outputs || globals.manager == nullptr) {
    error_ = !outputs ? "sway's outputs did not come up" : "sway offers no virtual pointer";
    return;
  }
  SleepMs(200);
}

SwayServer::~SwayServer() {
  if (pointer_ != nullptr) zwlr_virtual_pointer_v1_destroy(pointer_);
  if (manager_ != nullptr) zwlr_virtual_pointer_manager_v1_destroy(manager_);
  if (seat_ != nullptr) wl_seat_destroy(seat_);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  if (pointerClient_ != nullptr) wl_display_disconnect(pointerClient_);
}

bool SwayServer::Run(const std::vector<std::string>& command, int timeoutMs) const {
  std::vector<std::string> full = command;
  full[0] = FindTool(full[0]);
  return RunToEnd(AsTestUser(full), ClientEnvironment(), timeoutMs) == 0;
}

bool SwayServer::Swaymsg(const std::vector<std::string>& arguments) const {
  std::vector<std::string> command = {"swaymsg", "-s", ipc_};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return Run(command);
}

bool SwayServer::SetPointer(int x, int y) const {
  return Swaymsg({"seat", "seat0", "cursor", "set", std::to_string(x), std::to_string(y)});
}

bool SwayServer::MovePointer(int dx, int dy) const {
  return Swaymsg({"seat", "seat0", "cursor", "move", std::to_string(dx), std::to_string(dy)});
}

bool SwayServer::PressButton() const {
  return Swaymsg({"seat", "seat0", "cursor", "press", "button1"}) &&
         Swaymsg({"seat", "seat0", "cursor", "release", "button1"});
}

// wtype's keyboard is new to the seat: the pause lets clients take it up before the key.
bool SwayServer::PressKey() const { return Run({"wtype", "-s", "400", "-k", "space"}); }

bool SwayServer::Screenshot(const std::string& output, Picture& picture) const {
  const std::string path = runtime_ + "/screen.ppm";
  unlink(path.c_str());
  return Run({"grim", "-t", "ppm", "-o", output, path}) && ParsePpm(ReadFile(path), picture);
}

// ---------------------------------------------------------------- weston

WestonServer::WestonServer() : Compositor({"weston"}) {
  Start({FindTool("weston"), "--backend=headless-backend.so", "--socket=wayland-weston", "--idle-time=0",
         "--no-config"},
        {{"XDG_RUNTIME_DIR", runtime_}}, "wayland-weston");
  SleepMs(300);
}

}  // namespace lumenfall::waylandtest

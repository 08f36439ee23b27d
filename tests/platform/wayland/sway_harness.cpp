#include "sway_harness.h"

#include <dirent.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace lumenfall::waylandtest {

namespace {

constexpr const char* kTestUser = "lumenfall-test";
constexpr int kStartMs = 10000;  // a compositor's start-up, bounded

// The first entry of the directory whose name starts with prefix and does not end
// with ".lock", or an empty text.
std::string EntryStartingWith(const std::string& dir, const std::string& prefix) {
  std::string found;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.rfind(prefix, 0) == 0 && name.find(".lock") == std::string::npos) found = name;
    }
    closedir(d);
  }
  return found;
}

// Waits (bounded) for an entry of the runtime directory, as long as the process runs.
std::string WaitForEntry(Child& process, const std::string& dir, const std::string& prefix) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (const std::string name = EntryStartingWith(dir, prefix); !name.empty()) return name;
    if (!process.StillRunning()) return "";
    SleepMs(50);
  }
  return "";
}

bool ReadPpm(const std::string& path, Capture& capture) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  uint32_t width = 0, height = 0, maxValue = 0;
  if (!(in >> magic >> width >> height >> maxValue) || magic != "P6" || maxValue != 255) return false;
  in.get();
  std::vector<char> bytes(size_t{width} * height * 3);
  if (!in.read(bytes.data(), std::streamsize(bytes.size()))) return false;
  capture.width = width;
  capture.height = height;
  capture.pixels.resize(size_t{width} * height);
  for (size_t i = 0; i < capture.pixels.size(); ++i)
    capture.pixels[i] = {uint8_t(bytes[3 * i]), uint8_t(bytes[3 * i + 1]), uint8_t(bytes[3 * i + 2])};
  return true;
}

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

std::string FindTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = dir + "/" + name;
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  for (const char* fallback : {"/usr/sbin/", "/sbin/"}) {
    const std::string candidate = fallback + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// ---------------------------------------------------------------- the sandbox

Sandbox::Sandbox() {
  asRoot_ = geteuid() == 0;
  if (asRoot_) {
    // Compositors refuse to run as root: a user of their own for the tests.
    if (getpwnam(kTestUser) == nullptr) {
      const std::string useradd = FindTool("useradd");
      if (useradd.empty()) {
        error_ = "useradd is missing: cannot make the test user";
        return;
      }
      Child add({useradd, "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", kTestUser}, {});
      if (!add.ExitedWithin(10000) || (add.ExitCode() != 0 && getpwnam(kTestUser) == nullptr)) {
        error_ = "cannot make the test user " + std::string(kTestUser) + ": " + add.Stderr();
        return;
      }
    }
    const passwd* user = getpwnam(kTestUser);
    if (user == nullptr) {
      error_ = "no test user";
      return;
    }
    uid_ = user->pw_uid;
    gid_ = user->pw_gid;
  } else {
    uid_ = getuid();
    gid_ = getgid();
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
  if (asRoot_ && chown(runtime_.c_str(), uid_, gid_) != 0) error_ = "cannot hand the runtime directory over";
  // A copy of the saver that the test user can surely run.
  std::error_code ignored;
  std::filesystem::copy_file(LUMENFALL_BINARY, dir_ + "/lumenfall", ignored);
  chmod((dir_ + "/lumenfall").c_str(), 0755);
}

Sandbox::~Sandbox() {
  if (dir_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void Sandbox::Need(const std::vector<std::string>& tools) {
  if (!error_.empty()) return;
  std::vector<std::string> need = tools;
  if (asRoot_) need.push_back("setpriv");
  for (const std::string& tool : need) {
    if (FindTool(tool).empty()) {
      missing_ = true;
      error_ = tool + " is not installed (Debian: apt-get install sway grim wtype weston util-linux)";
      return;
    }
  }
}

std::string Sandbox::Tool(const std::string& name) const { return FindTool(name); }

std::vector<std::string> Sandbox::AsUser(std::vector<std::string> command) const {
  if (!asRoot_) return command;
  std::vector<std::string> full = {Tool("setpriv"), "--reuid=" + std::to_string(uid_),
                                   "--regid=" + std::to_string(gid_), "--clear-groups"};
  full.insert(full.end(), command.begin(), command.end());
  return full;
}

std::string Sandbox::AddFile(const std::string& name, const std::string& contents) const {
  const std::string path = dir_ + "/" + name;
  std::ofstream(path, std::ios::binary) << contents;
  chmod(path.c_str(), 0644);
  return path;
}

std::unique_ptr<Child> Sandbox::Saver(
    const std::vector<std::string>& arguments,
    const std::vector<std::pair<std::string, std::string>>& environment) const {
  std::vector<std::string> command = {dir_ + "/lumenfall"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return std::make_unique<Child>(AsUser(command), environment);
}

// ---------------------------------------------------------------- sway

SwayServer::SwayServer() {
  Need({"sway", "swaymsg", "grim", "wtype"});
  if (!error_.empty()) return;
  const std::string config = dir_ + "/config";
  {
    std::ofstream out(config);
    out << "output HEADLESS-1 mode 640x480 position 0 0\n"
           "output HEADLESS-2 mode 800x600 position 640 0\n"
           "default_border none\n"
           "focus_follows_mouse no\n"
           "seat seat0 hide_cursor 200\n"
           "xwayland disable\n";
  }
  chmod(config.c_str(), 0644);
  sway_ = std::make_unique<Child>(AsUser({Tool("sway"), "-c", config}),
                                  std::vector<std::pair<std::string, std::string>>{
                                      {"WLR_BACKENDS", "headless"},
                                      {"WLR_RENDERER", "pixman"},
                                      {"WLR_HEADLESS_OUTPUTS", "2"},
                                      {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                      {"XDG_RUNTIME_DIR", runtime_}});
  socket_ = WaitForEntry(*sway_, runtime_, "wayland-");
  ipc_ = WaitForEntry(*sway_, runtime_, "sway-ipc.");
  if (socket_.empty() || ipc_.empty()) {
    error_ = "sway did not start: " + sway_->Stderr();
    sway_.reset();
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
  if (sway_) {
    sway_->Signal(SIGTERM);
    if (!sway_->ExitedWithin(3000)) sway_->Signal(SIGKILL);
    sway_->ExitedWithin(3000);
  }
}

std::vector<std::pair<std::string, std::string>> SwayServer::Environment() const {
  return {{"XDG_RUNTIME_DIR", runtime_}, {"WAYLAND_DISPLAY", socket_}};
}

bool SwayServer::Run(const std::vector<std::string>& command, int timeoutMs) const {
  std::vector<std::string> full = command;
  full[0] = Tool(full[0]);
  Child tool(AsUser(full), Environment());
  if (!tool.ExitedWithin(timeoutMs)) {
    tool.Signal(SIGKILL);
    tool.ExitedWithin(1000);
    return false;
  }
  return tool.ExitCode() == 0;
}

bool SwayServer::Swaymsg(const std::vector<std::string>& arguments) const {
  std::vector<std::string> command = {"swaymsg", "-s", ipc_};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return Run(command);
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

bool SwayServer::Screenshot(const std::string& output, Capture& capture) const {
  const std::string path = runtime_ + "/screen.ppm";
  unlink(path.c_str());
  return Run({"grim", "-t", "ppm", "-o", output, path}) && ReadPpm(path, capture);
}

void SwayServer::Kill() {
  if (sway_) {
    sway_->Signal(SIGKILL);
    sway_->ExitedWithin(3000);
  }
}

// ---------------------------------------------------------------- weston

WestonServer::WestonServer() {
  Need({"weston"});
  if (!error_.empty()) return;
  weston_ = std::make_unique<Child>(
      AsUser({Tool("weston"), "--backend=headless-backend.so", "--socket=wayland-weston",
              "--idle-time=0", "--no-config"}),
      std::vector<std::pair<std::string, std::string>>{{"XDG_RUNTIME_DIR", runtime_}});
  if (WaitForEntry(*weston_, runtime_, "wayland-weston").empty()) {
    error_ = "weston did not start: " + weston_->Stderr();
    weston_.reset();
    return;
  }
  SleepMs(300);
}

WestonServer::~WestonServer() {
  if (weston_) {
    weston_->Signal(SIGTERM);
    if (!weston_->ExitedWithin(3000)) weston_->Signal(SIGKILL);
    weston_->ExitedWithin(3000);
  }
}

std::vector<std::pair<std::string, std::string>> WestonServer::Environment() const {
  return {{"XDG_RUNTIME_DIR", runtime_}, {"WAYLAND_DISPLAY", "wayland-weston"}};
}

}  // namespace lumenfall::waylandtest

#include "tests/support/x_servers.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>

namespace lumenfall::test {

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// Up when the display's lock names the server (another one may have won the number
// meanwhile) and its socket takes a connection.
bool Answers(const std::string& number, pid_t pid) {
  std::ifstream lock("/tmp/.X" + number + "-lock");
  long owner = -1;
  if (!(lock >> owner) || owner != pid) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, ("/tmp/.X11-unix/X" + number).c_str(), sizeof address.sun_path - 1);
  const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool connected = s >= 0 && connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (s >= 0) close(s);
  return connected;
}

}  // namespace

XServer::~XServer() {
  if (process_) process_->Stop();
}

void XServer::Fail(const XServer& host) {
  missing_ = host.missing_;
  error_ = host.error_;
}

void XServer::Start(const std::string& program, const std::string& package, const std::vector<std::string>& arguments,
                    const std::string& hostDisplay) {
  const std::string path = FindTool(program);
  if (path.empty()) {
    missing_ = true;
    error_ = program + " is not installed (Debian: apt-get install " + package + ")";
    return;
  }
  Environment environment;
  if (!hostDisplay.empty()) environment["DISPLAY"] = hostDisplay;
  int attempts = 0;
  for (int n = 70; n < 200 && attempts < 8; ++n) {
    const std::string number = std::to_string(n);
    if (Exists("/tmp/.X11-unix/X" + number) || Exists("/tmp/.X" + number + "-lock")) continue;
    ++attempts;
    std::vector<std::string> argv = {path, std::string(":").append(number), "-nolisten", "tcp", "-noreset"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto process = std::make_unique<Process>(argv, environment, Stream::Discard, Stream::Discard);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool up = false;
    while (!up && process->Running() && std::chrono::steady_clock::now() < deadline) {
      up = Answers(number, process->Pid());
      if (!up) SleepMs(20);
    }
    if (up) {
      process_ = std::move(process);
      name_ = std::string(":").append(number);
      return;
    }
  }
  error_ = program + " did not start on any display from :70 up";
}

XvfbServer::XvfbServer(const std::string& screen, const std::vector<std::string>& more) {
  std::vector<std::string> arguments = {"-screen", "0", screen};
  arguments.insert(arguments.end(), more.begin(), more.end());
  Start("Xvfb", "xvfb", arguments, "");
}

XephyrServer::XephyrServer(const XServer& host, const std::vector<std::string>& arguments) {
  if (!host.Running()) {
    Fail(host);
    return;
  }
  Start("Xephyr", "xserver-xephyr", arguments, host.Name());
}

namespace {

// The host windows of the heads 10 pixels apart, as two bezels.
std::vector<std::string> TwoHeads() {
  std::vector<std::string> arguments = {"+xinerama"};
  for (const TwoHeadServer::Head& head : TwoHeadServer::kHeads)
    arguments.insert(arguments.end(), {"-screen", std::to_string(head.width) + "x" + std::to_string(head.height) +
                                                      "+" + std::to_string(head.x + (head.x > 0 ? 10 : 0)) + "+0"});
  return arguments;
}

}  // namespace

TwoHeadServer::TwoHeadServer() : XephyrServer(host, TwoHeads()) {}

}  // namespace lumenfall::test

#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace lumenfall::test {

namespace {

using Clock = std::chrono::steady_clock;

int64_t LeftMs(Clock::time_point deadline) {
  return std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
}

std::vector<std::string> EnvironmentFor(const Environment& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "XSCREENSAVER_WINDOW" && extra.count(name) == 0)
      env.push_back(entry);
  }
  for (const auto& [name, value] : extra) env.push_back(name + "=" + value);
  return env;
}

// Reads what the pipe holds now into text; false at its end.
bool Drain(int fd, std::string& text) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, size_t(n));
      continue;
    }
    return n < 0;  // 0: the end; -1: nothing more for now (EAGAIN)
  }
}

// Waits for the pipe to have data, at most the time; false when it has none.
bool Await(int fd, int64_t milliseconds) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, int(milliseconds)) > 0;
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const Environment& environment, Stream out, Stream err) {
  if (argv.empty()) return;
  std::vector<std::string> env = EnvironmentFor(environment);
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  int writeEnds[2] = {-1, -1};
  auto direct = [&](int fd, Stream stream, int& ours, int& writeEnd) {
    if (stream == Stream::Discard) return posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_WRONLY, 0) == 0;
    if (stream == Stream::Inherit) return true;
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    ours = fds[0];
    writeEnd = fds[1];
    fcntl(ours, F_SETFL, O_NONBLOCK);
    return posix_spawn_file_actions_adddup2(&actions, fds[1], fd) == 0;
  };
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  const bool directed = direct(1, out, stdout_, writeEnds[0]) && direct(2, err, stderr_, writeEnds[1]);
  if (!directed || posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), envp.data()) != 0) pid_ = -1;
  for (int fd : writeEnds)
    if (fd >= 0) close(fd);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
}

Process::~Process() {
  Kill();
  for (int fd : {stdout_, stderr_})
    if (fd >= 0) close(fd);
}

bool Process::ExitedWithin(int milliseconds) {
  if (pid_ <= 0 || reaped_) return true;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    Stderr();  // keeps the pipe from filling up
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || r < 0) {
      reaped_ = true;
      if (r == pid_ && WIFEXITED(status)) exitCode_ = WEXITSTATUS(status);
      if (r == pid_ && WIFSIGNALED(status)) exitCode_ = 128 + WTERMSIG(status);
      return true;
    }
    if (Clock::now() >= deadline) return false;
    SleepMs(5);
  }
}

void Process::Signal(int sig) {
  if (pid_ > 0 && !reaped_) kill(pid_, sig);
}

void Process::Stop(int graceMs) {
  Signal(SIGTERM);
  if (!ExitedWithin(graceMs)) Kill();
}

void Process::Kill() {
  if (pid_ <= 0 || reaped_) return;
  kill(-pid_, SIGKILL);
  kill(pid_, SIGKILL);
  ExitedWithin(5000);
}

std::string Process::Stderr() {
  if (stderr_ >= 0) Drain(stderr_, stderrText_);
  return stderrText_;
}

bool Process::ReadLine(int milliseconds, std::string& line) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const size_t end = stdoutText_.find('\n');
    if (end != std::string::npos) {
      line = stdoutText_.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      stdoutText_.erase(0, end + 1);
      return true;
    }
    if (stdout_ < 0 || !Await(stdout_, LeftMs(deadline)) || !Drain(stdout_, stdoutText_)) return false;
  }
}

bool Process::ReadAll(int milliseconds, std::string& bytes) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (stdout_ >= 0 && Await(stdout_, LeftMs(deadline))) {
    if (!Drain(stdout_, stdoutText_)) {
      bytes = std::move(stdoutText_);
      stdoutText_.clear();
      return true;
    }
  }
  bytes = stdoutText_;
  return false;
}

int RunToEnd(const std::vector<std::string>& argv, const Environment& environment, int timeoutMs, std::string* output,
             Stream err) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  Process process(argv, environment, output != nullptr ? Stream::Capture : Stream::Discard, err);
  if (output != nullptr) process.ReadAll(int(LeftMs(deadline)), *output);
  if (!process.ExitedWithin(int(LeftMs(deadline)))) {
    process.Kill();
    return -1;
  }
  return process.ExitCode();
}

std::string FindTool(const std::string& name) {
  auto usable = [](const std::string& path) { return access(path.c_str(), X_OK) == 0 ? path : std::string(); };
  if (name.empty() || name.find("NOTFOUND") != std::string::npos) return "";
  if (name.find('/') != std::string::npos) return usable(name);
  const char* path = std::getenv("PATH");
  std::stringstream dirs(std::string(path != nullptr ? path : "/usr/bin:/bin") + ":/usr/sbin:/sbin");
  for (std::string dir; std::getline(dirs, dir, ':');)
    if (!dir.empty())
      if (std::string found = usable(dir + "/" + name); !found.empty()) return found;
  return "";
}

void SleepMs(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace lumenfall::test

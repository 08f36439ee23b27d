#include "wine_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace lumenfall::wine {

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

std::unique_ptr<Process> Process::Start(const std::vector<std::string>& argv,
                                        const Environment& extra, bool captureStdout) {
  if (argv.empty()) return nullptr;
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (extra.count(name) == 0) envStrings.push_back(entry);
  }
  for (const auto& [name, value] : extra) envStrings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (std::string& s : args) argp.push_back(s.data());
  argp.push_back(nullptr);

  int pipeFds[2] = {-1, -1};
  if (captureStdout && pipe(pipeFds) != 0) return nullptr;
  const pid_t pid = fork();
  if (pid < 0) return nullptr;
  if (pid == 0) {
    setpgid(0, 0);
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, 0);
    if (captureStdout) {
      dup2(pipeFds[1], 1);
      close(pipeFds[0]);
      close(pipeFds[1]);
    } else {
      dup2(devNull, 1);
    }
    if (std::getenv("LUMENFALL_WINE_VERBOSE") == nullptr) dup2(devNull, 2);
    execvpe(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  setpgid(pid, pid);
  auto process = std::unique_ptr<Process>(new Process());
  process->pid_ = pid;
  if (captureStdout) {
    close(pipeFds[1]);
    process->stdoutFd_ = pipeFds[0];
  }
  return process;
}

Process::~Process() {
  Kill();
  if (stdoutFd_ >= 0) close(stdoutFd_);
}

bool Process::WaitExit(int timeoutMs, int* exitCode) {
  const int64_t deadline = NowMs() + timeoutMs;
  while (!reaped_) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      exitCode_ = DecodeStatus(status);
      break;
    }
    if (r < 0) {
      reaped_ = true;
      break;
    }
    if (NowMs() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (exitCode != nullptr) *exitCode = exitCode_;
  return true;
}

bool Process::Running() { return !WaitExit(0, nullptr); }

bool Process::ReadLine(int timeoutMs, std::string* line) {
  const int64_t deadline = NowMs() + timeoutMs;
  while (true) {
    const size_t end = buffered_.find('\n');
    if (end != std::string::npos) {
      *line = buffered_.substr(0, end);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      buffered_.erase(0, end + 1);
      return true;
    }
    const int64_t left = deadline - NowMs();
    if (stdoutFd_ < 0 || left <= 0) return false;
    pollfd p{stdoutFd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char chunk[256];
    const ssize_t n = read(stdoutFd_, chunk, sizeof chunk);
    if (n <= 0) return false;
    buffered_.append(chunk, size_t(n));
  }
}

bool Process::ReadAll(int timeoutMs, std::string* bytes) {
  const int64_t deadline = NowMs() + timeoutMs;
  *bytes = buffered_;
  buffered_.clear();
  while (stdoutFd_ >= 0) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) return false;
    pollfd p{stdoutFd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char chunk[65536];
    const ssize_t n = read(stdoutFd_, chunk, sizeof chunk);
    if (n < 0) return false;
    if (n == 0) return true;
    bytes->append(chunk, size_t(n));
  }
  return false;
}

void Process::Kill() {
  if (pid_ > 0 && !reaped_) {
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    WaitExit(5000, nullptr);
  }
}

int Run(const std::vector<std::string>& argv, const Environment& extra, int timeoutMs,
        std::string* output) {
  auto process = Process::Start(argv, extra, output != nullptr);
  if (!process) return -1;
  const int64_t deadline = NowMs() + timeoutMs;
  if (output != nullptr) {
    output->clear();
    std::string line;
    while (process->ReadLine(static_cast<int>(std::max<int64_t>(1, deadline - NowMs())), &line))
      *output += line + "\n";
  }
  int code = -1;
  if (!process->WaitExit(static_cast<int>(std::max<int64_t>(0, deadline - NowMs())), &code)) {
    process->Kill();
    return -1;
  }
  return code;
}

bool HaveTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string paths = path;
  size_t start = 0;
  while (start <= paths.size()) {
    const size_t end = paths.find(':', start);
    const std::string dir = paths.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

bool FileExists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0;
}

bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    mkdir(path.substr(0, slash).c_str(), 0755);
  mkdir(path.c_str(), 0755);
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ParsePpm(const std::string& bytes, Picture* picture) {
  // "P6" whitespace width whitespace height whitespace maxval, one whitespace, data.
  size_t pos = 0;
  auto token = [&](std::string* out) {
    while (pos < bytes.size()) {
      if (bytes[pos] == '#') {
        while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
      } else if (std::isspace(static_cast<unsigned char>(bytes[pos]))) {
        ++pos;
      } else {
        break;
      }
    }
    const size_t begin = pos;
    while (pos < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[pos]))) ++pos;
    *out = bytes.substr(begin, pos - begin);
    return !out->empty();
  };
  std::string magic, w, h, maxval;
  if (!token(&magic) || magic != "P6" || !token(&w) || !token(&h) || !token(&maxval)) return false;
  if (maxval != "255") return false;
  ++pos;
  const int width = std::atoi(w.c_str());
  const int height = std::atoi(h.c_str());
  if (width <= 0 || height <= 0 || width > 10000 || height > 10000) return false;
  const size_t size = size_t(width) * size_t(height) * 3;
  if (bytes.size() < pos + size) return false;
  picture->width = width;
  picture->height = height;
  picture->rgb.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                      bytes.begin() + static_cast<std::ptrdiff_t>(pos + size));
  return true;
}

bool XServer::Start(int depth, int width, int height, std::string* error) {
  const std::string screen =
      std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
  return Launch({"Xvfb", "{}", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, {}, error);
}

bool XServer::StartNested(const std::string& host, const std::vector<std::string>& args,
                          std::string* error) {
  std::vector<std::string> argv{"Xephyr", "{}", "-nolisten", "tcp", "-noreset"};
  argv.insert(argv.end(), args.begin(), args.end());
  return Launch(argv, {{"DISPLAY", host}}, error);
}

bool XServer::Launch(const std::vector<std::string>& argv, const Environment& env, std::string* error) {
  for (int n = 90; n < 160; ++n) {
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
    const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
    if (FileExists(socket) || FileExists(lock)) continue;
    std::vector<std::string> args = argv;
    for (std::string& a : args)
      if (a == "{}") a = std::string(":").append(std::to_string(n));
    process_ = Process::Start(args, env, false);
    if (!process_) break;
    const int64_t deadline = NowMs() + 10000;
    while (NowMs() < deadline && process_->Running() && !FileExists(socket))
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (process_->Running() && FileExists(socket)) {
      number_ = n;
      return true;
    }
    process_.reset();  // lost a race for this number, or it failed: try the next one
  }
  *error = "no " + argv[0] + " display could be started";
  return false;
}

void XServer::Stop() {
  if (process_) {
    kill(process_->Pid(), SIGTERM);
    if (!process_->WaitExit(5000, nullptr)) process_->Kill();
    process_.reset();
  }
  number_ = -1;
}

bool CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  if (!in || !out) return false;
  out << in.rdbuf();
  return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

const WineEdition& Edition() {
  static const WineEdition edition = [] {
    WineEdition e;
    std::string line;
    // Its reason for choosing none comes on standard error: read both.
    const int status =
        Run({"bash", "-c", "bash \"$0\" 2>&1", LUMENFALL_WINE_EDITION_SCRIPT}, {}, 20000, &line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    if (status != 0 || (line.rfind("x86 ", 0) != 0 && line.rfind("x64 ", 0) != 0)) {
      e.error = "no edition of the saver can run here: " + line;
      return e;
    }
    e.name = line.substr(0, 3);
    e.why = line.size() > 4 ? line.substr(4) : "";
    if (e.name == "x86") {
      e.buildDir = LUMENFALL_MINGW_BUILD_DIR;
      e.arch = "win32";
    } else {
      e.buildDir = LUMENFALL_MINGW64_BUILD_DIR;
      e.arch = "win64";
    }
    std::printf("[ wine     ] lumenfall.scr, %s edition %s, from %s\n", e.name.c_str(), e.why.c_str(),
                e.buildDir.c_str());
    std::fflush(stdout);
    return e;
  }();
  return edition;
}

std::string MissingWindowsFiles(const std::vector<std::string>& files) {
  if (!Edition().error.empty()) return Edition().error;
  const std::string preset = Edition().name == "x86" ? "mingw" : "mingw64";
  for (const std::string& file : files) {
    if (!FileExists(file))
      return file + " is missing (run the " + preset + " cross build first: cmake --preset " + preset +
             " && cmake --build --preset " + preset + ")";
  }
  return "";
}

void SleepMs(int ms) { std::this_thread::sleep_for(milliseconds(ms)); }

// ---- WineDesktop ----

bool WineDesktop::Open(int depth, int width, int height, const std::string& prefix,
                       std::string* error,
                       const std::function<void(const std::string&)>& prefixMade,
                       const std::vector<std::string>& nested) {
  if (!Edition().error.empty()) {
    *error = Edition().error;
    return false;
  }
  for (const char* tool : {"wine", "wineserver", "wineboot", "Xvfb", "xdotool", "import", "Xephyr"}) {
    if (!HaveTool(tool) && (nested.size() > 0 || std::strcmp(tool, "Xephyr") != 0)) {
      *error = std::string("the tool ") + tool + " is not installed";
      return false;
    }
  }
  if (!xserver_.Start(depth, width, height, error)) return false;
  if (!nested.empty() && !nested_.StartNested(xserver_.Display(), nested, error)) return false;
  env_ = {{"WINEPREFIX", prefix},
          {"WINEDEBUG", "-all"},
          {"WINEDLLOVERRIDES", "mscoree,mshtml="},
          {"WINEARCH", Edition().arch},
          {"DISPLAY", nested.empty() ? xserver_.Display() : nested_.Display()}};
  if (!FileExists(prefix + "/system.reg")) {
    const auto start = std::chrono::steady_clock::now();
    const int boot = Run({"wineboot", "-i"}, env_, 240000);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - start).count();
    std::printf("[ wine     ] prefix %s initialised in %lld s\n", prefix.c_str(),
                static_cast<long long>(seconds));
    if (boot != 0) {
      *error = "wineboot -i failed";
      return false;
    }
    Run({"wineserver", "-k"}, env_, 20000);
    if (prefixMade) prefixMade(prefix);
  }
  server_ = Process::Start({"wineserver", "-p", "-f"}, env_, false);
  if (!server_) {
    *error = "wineserver could not be started";
    return false;
  }
  SleepMs(300);
  // Wine's DirectDraw draws through OpenGL where it finds it (here the 64-bit side) and
  // through GDI where not (the 32-bit side, without i386 OpenGL); its OpenGL windows hide
  // whatever is drawn into a child window, such as a preview. One renderer for both
  // editions: the GDI one.
  if (Wine({"reg", "add", "HKCU\\Software\\Wine\\Direct3D", "/v", "renderer", "/d", "no3d", "/f"}) != 0) {
    *error = "the prefix's Direct3D renderer could not be set";
    return false;
  }
  return true;
}

void WineDesktop::Close() {
  if (!env_.empty()) Run({"wineserver", "-k"}, env_, 20000);
  if (server_) {
    if (!server_->WaitExit(10000, nullptr)) server_->Kill();
    server_.reset();
  }
  nested_.Stop();
  xserver_.Stop();
}

Environment WineDesktop::With(const Environment& extra) const {
  Environment env = env_;
  for (const auto& [key, value] : extra) env[key] = value;
  return env;
}

int WineDesktop::Wine(const std::vector<std::string>& args, std::string* output, int timeoutMs,
                      const Environment& extra) {
  std::vector<std::string> argv{"wine"};
  argv.insert(argv.end(), args.begin(), args.end());
  return Run(argv, With(extra), timeoutMs, output);
}

std::unique_ptr<Process> WineDesktop::StartWine(const std::vector<std::string>& args,
                                                const Environment& extra, bool capture) {
  std::vector<std::string> argv{"wine"};
  argv.insert(argv.end(), args.begin(), args.end());
  return Process::Start(argv, With(extra), capture);
}

void WineDesktop::X(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  Run(argv, env_, 10000);
}

bool WineDesktop::Screenshot(Picture* picture) {
  auto process = Process::Start({"import", "-window", "root", "-depth", "8", "ppm:-"}, env_, true);
  if (!process) return false;
  std::string bytes;
  if (!process->ReadAll(15000, &bytes)) return false;
  int code = -1;
  if (!process->WaitExit(10000, &code) || code != 0) return false;
  return ParsePpm(bytes, picture);
}

}  // namespace lumenfall::wine

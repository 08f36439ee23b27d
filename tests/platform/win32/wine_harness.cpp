#include "wine_harness.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace lumenfall::wine {

namespace {

// Wine's own messages on standard error only when LUMENFALL_WINE_VERBOSE is set.
Stream WineErrors() { return std::getenv("LUMENFALL_WINE_VERBOSE") != nullptr ? Stream::Inherit : Stream::Discard; }

}  // namespace

const WineEdition& Edition() {
  static const WineEdition edition = [] {
    WineEdition e;
    std::string line;
    // Its reason for choosing none comes on standard error: read both.
    const int status = RunToEnd({"bash", "-c", "bash \"$0\" 2>&1", LUMENFALL_WINE_EDITION_SCRIPT}, {}, 20000, &line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    if (status != 0 || (line.rfind("x86 ", 0) != 0 && line.rfind("x64 ", 0) != 0)) {
      e.error = "no edition of the saver can run here: " + line;
      return e;
    }
    e.name = line.substr(0, 3);
    e.why = line.size() > 4 ? line.substr(4) : "";
    e.buildDir = e.name == "x86" ? LUMENFALL_MINGW_BUILD_DIR : LUMENFALL_MINGW64_BUILD_DIR;
    e.arch = e.name == "x86" ? "win32" : "win64";
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
    if (!std::filesystem::exists(file))
      return file + " is missing (run the " + preset + " cross build first: cmake --preset " + preset +
             " && cmake --build --preset " + preset + ")";
  }
  return "";
}

bool CopyInto(const std::string& folder, const std::vector<std::string>& files) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  for (const std::string& file : files) {
    const std::filesystem::path from(file);
    if (!std::filesystem::copy_file(from, folder / from.filename(), std::filesystem::copy_options::overwrite_existing,
                                    error))
      return false;
  }
  return true;
}

// ---- WineDesktop ----

bool WineDesktop::OpenDesktop(int depth, int width, int height, const std::string& prefix,
                              const std::function<void(const std::string&)>& prefixMade,
                              const std::vector<std::string>& nested) {
  if (!Edition().error.empty()) return Fail(Edition().error);
  for (const char* tool : {"wine", "wineserver", "wineboot", "xdotool", "import"})
    if (FindTool(tool).empty()) return Fail(std::string("the tool ") + tool + " is not installed");
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(prefix).parent_path(), ignored);
  xvfb_ = std::make_unique<XvfbServer>(std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth));
  if (!xvfb_->Running()) return Fail(xvfb_->Error());
  if (!nested.empty()) {
    nested_ = std::make_unique<XephyrServer>(*xvfb_, nested);
    if (!nested_->Running()) return Fail(nested_->Error());
  }
  env_ = {{"WINEPREFIX", prefix},
          {"WINEDEBUG", "-all"},
          {"WINEDLLOVERRIDES", "mscoree,mshtml="},
          {"WINEARCH", Edition().arch},
          {"DISPLAY", nested_ ? nested_->Name() : xvfb_->Name()}};
  if (!std::filesystem::exists(prefix + "/system.reg")) {
    const auto start = Clock::now();
    const int boot = RunToEnd({"wineboot", "-i"}, env_, 240000, nullptr, WineErrors());
    std::printf("[ wine     ] prefix %s initialised in %lld s\n", prefix.c_str(),
                static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count()));
    if (boot != 0) return Fail("wineboot -i failed");
    RunToEnd({"wineserver", "-k"}, env_, 20000);
    if (prefixMade) prefixMade(prefix);
  }
  server_ = std::make_unique<Process>(std::vector<std::string>{"wineserver", "-p", "-f"}, env_, Stream::Discard,
                                      WineErrors());
  if (!server_->Started()) return Fail("wineserver could not be started");
  SleepMs(300);
  // Wine's DirectDraw draws through OpenGL where it finds it (here the 64-bit side) and
  // through GDI where not (the 32-bit side, without i386 OpenGL); its OpenGL windows hide
  // whatever is drawn into a child window, such as a preview. One renderer for both
  // editions: the GDI one.
  if (Wine({"reg", "add", "HKCU\\Software\\Wine\\Direct3D", "/v", "renderer", "/d", "no3d", "/f"}) != 0)
    return Fail("the prefix's Direct3D renderer could not be set");
  return true;
}

void WineDesktop::Close() {
  if (!env_.empty()) RunToEnd({"wineserver", "-k"}, env_, 20000);
  env_.clear();
  if (server_ && !server_->ExitedWithin(10000)) server_->Kill();
  server_.reset();
  nested_.reset();
  xvfb_.reset();
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
  const int code = RunToEnd(argv, With(extra), timeoutMs, output, WineErrors());
  // Windows programs end their lines with "\r\n".
  for (size_t at = 0; output != nullptr && (at = output->find("\r\n", at)) != std::string::npos;)
    output->erase(at, 1);
  return code;
}

std::unique_ptr<Process> WineDesktop::StartWine(const std::vector<std::string>& args, const Environment& extra,
                                                bool capture) {
  std::vector<std::string> argv{"wine"};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<Process>(argv, With(extra), capture ? Stream::Capture : Stream::Discard, WineErrors());
}

void WineDesktop::X(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  RunToEnd(argv, env_, 10000);
}

bool WineDesktop::Screenshot(Picture& picture) {
  std::string bytes;
  return RunToEnd({"import", "-window", "root", "-depth", "8", "ppm:-"}, env_, 25000, &bytes) == 0 &&
         ParsePpm(bytes, picture);
}

}  // namespace lumenfall::wine

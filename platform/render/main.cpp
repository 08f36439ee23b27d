// lumenfall-render: runs the effect headless on a simulated clock and writes its frames.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "effect/text_file.h"
#include "platform/render/options.h"
#include "platform/render/renderer.h"
#include "shell/options.h"
#include "shell/simd_choice.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

void Complain(const std::string& message) {
  std::fprintf(stderr, "lumenfall-render: %s\n", message.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace lumenfall;
  RenderOptions options;
  std::string error;
  if (!ParseRenderOptions(argc, argv, options, error)) {
    Complain(error);
    return kExitUsage;
  }
  error = SimdEnvironmentProblem(std::getenv(kSimdEnvironmentVariable));
  if (!error.empty()) {
    Complain(error);
    return kExitUsage;
  }
  if (options.simd) SetSimdLimit(*options.simd);
  if (options.version) {
    std::fputs(RenderVersion().c_str(), stdout);
    return std::fflush(stdout) == 0 ? kExitDone : kExitIoFailure;
  }
  if (options.help) {
    std::fputs(RenderUsage().c_str(), stdout);
    return std::fflush(stdout) == 0 ? kExitDone : kExitIoFailure;
  }
  std::string text;
  if (!options.textFile.empty() &&
      (!ReadOptionFile(options.textFile, kMaxTextBytes, text, error) ||
       !ReadTextSet(text, options.textFile, options.lines, error))) {
    Complain(error);
    return kExitUsage;
  }
  if (options.listLines) {
    const int status = ListLines(options, stdout, error);
    if (status != kExitDone) Complain(error);
    return status;
  }

  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  RenderProgress progress;
  bool progressShown = false;
  if (isatty(STDERR_FILENO)) {
    progress = [&progressShown](uint32_t done, uint32_t total) {
      if (done % 10 != 0 && done != total) return;
      std::fprintf(stderr, "\rlumenfall-render: frame %u of %u", static_cast<unsigned>(done),
                   static_cast<unsigned>(total));
      std::fflush(stderr);
      progressShown = true;
    };
  }
  const int status = RunRender(options, error, progress, &stopRequested);
  if (progressShown) std::fputc('\n', stderr);
  if (status != kExitDone) Complain(error);
  return status;
}

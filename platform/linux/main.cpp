// lumenfall: the screen saver on Wayland or X11, standalone, as a wallpaper or idle
// overlay on Wayland, or as an xscreensaver hack.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "effect/text_file.h"
#include "platform/linux/backend.h"
#include "platform/linux/options.h"
#include "platform/wayland/wayland_saver.h"
#include "platform/x11/x11_saver.h"
#include "shell/options.h"
#include "shell/simd_choice.h"

int main(int argc, char** argv) {
  const lumenfall::OptionsResult parsed =
      lumenfall::ParseOptions(argc, argv, std::getenv("XSCREENSAVER_WINDOW"));
  if (!parsed.ok) {
    std::fprintf(stderr, "lumenfall: %s\n", parsed.error.c_str());
    return lumenfall::kExitUsage;
  }
  const std::string simd =
      lumenfall::SimdEnvironmentProblem(std::getenv(lumenfall::kSimdEnvironmentVariable));
  if (!simd.empty()) {
    std::fprintf(stderr, "lumenfall: %s\n", simd.c_str());
    return lumenfall::kExitUsage;
  }
  if (parsed.options.version) {
    std::fputs(lumenfall::VersionText().c_str(), stdout);
    return 0;
  }
  if (parsed.options.help) {
    std::fputs(lumenfall::UsageText().c_str(), stdout);
    return 0;
  }
  lumenfall::SaverOptions options = parsed.options;
  std::string text, error;
  if (!options.textFile.empty() &&
      (!lumenfall::ReadOptionFile(options.textFile, lumenfall::kMaxTextBytes, text, error) ||
       !lumenfall::ReadTextSet(text, options.textFile, options.lines, error))) {
    std::fprintf(stderr, "lumenfall: %s\n", error.c_str());
    return lumenfall::kExitUsage;
  }
  if (lumenfall::ChooseBackend(options, std::getenv("WAYLAND_DISPLAY")) == lumenfall::Backend::Wayland)
    return lumenfall::RunWaylandSaver(options);
  return lumenfall::RunX11Saver(options);
}

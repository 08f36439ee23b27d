// lumenfall: the screen saver on Wayland or X11, standalone, as a wallpaper or idle
// overlay on Wayland, or as an xscreensaver hack.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/linux/backend.h"
#include "platform/wayland/wayland_saver.h"
#include "platform/linux/options.h"
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
  if (lumenfall::ChooseBackend(parsed.options, std::getenv("WAYLAND_DISPLAY")) ==
      lumenfall::Backend::Wayland)
    return lumenfall::RunWaylandSaver(parsed.options);
  return lumenfall::RunX11Saver(parsed.options);
}

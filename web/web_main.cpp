// The browser's side of the effect: the page calls these few functions of the module.
// The effect runs on the simulated clock that lumenfall-render uses (frame k at
// 1000 + 40 k ms), ticked by the page, so that a page that has run N ticks shows the
// renderer's frame N. The picture is converted to RGBA at 400 x 300 through the
// display's own conversion, then stretched to the canvas's device pixels by the work
// surfaces' stretch.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/pixel_format.h"
#include "display/stretch.h"
#include "effect/clock.h"
#include "effect/blur/simd_level.h"
#include "effect/memory_effect.h"
#include "web/web_options.h"

namespace lumenfall {
namespace {

struct WebState {
  WebOptions options;
  std::string message;
  std::string query;
  SimulatedClock clock{kWebStartMs};
  std::unique_ptr<MemoryEffect> effect;
  uint32_t framesRun = 0;
  std::vector<uint8_t> rgba;     // the ShowBuffer as RGBA, 400 x 300
  std::vector<uint8_t> picture;  // the stretched picture handed to the canvas
};

WebState& State() {
  static WebState state;
  return state;
}

void Restart(WebState& s) {
  s.effect.reset();
  s.clock.Set(kWebStartMs);
  s.framesRun = 0;
  s.effect = std::make_unique<MemoryEffect>(EmulatedFormat{s.options.depth, s.options.layout},
                                            s.clock, s.options.seed);
  s.effect->ShowOwnLines(s.options.lines);
  s.query = WebQuery(s.options);
}

}  // namespace
}  // namespace lumenfall

using lumenfall::State;

extern "C" {

// Reads the page's query string and starts the effect afresh. 1 when every parameter
// was used, 0 when some were ignored (see lf_message).
EMSCRIPTEN_KEEPALIVE int lf_configure(const char* query) {
  auto& s = State();
  const bool clean = lumenfall::ParseWebQuery(query != nullptr ? query : "", s.options, s.message);
  lumenfall::Restart(s);
  return clean ? 1 : 0;
}

// The one-line reason for ignored parameters, or "".
EMSCRIPTEN_KEEPALIVE const char* lf_message() { return State().message.c_str(); }

// The options in use, as a query string (the link to share).
EMSCRIPTEN_KEEPALIVE const char* lf_query() { return State().query.c_str(); }

EMSCRIPTEN_KEEPALIVE uint32_t lf_frames() { return State().options.frames; }
EMSCRIPTEN_KEEPALIVE int lf_bare() { return State().options.bare ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE uint32_t lf_frames_run() { return State().framesRun; }

// Runs the next count frames on the simulated clock. Returns the frames run so far.
EMSCRIPTEN_KEEPALIVE uint32_t lf_step(uint32_t count) {
  auto& s = State();
  if (!s.effect) return 0;
  for (uint32_t i = 0; i < count; ++i, ++s.framesRun) {
    s.clock.Set(lumenfall::kWebStartMs + s.framesRun * lumenfall::kWebTickMs);
    s.effect->Step(s.options.flags);
  }
  return s.framesRun;
}

// The vector level the blur runs at (see SimdLevel): 2 when the SSE2 kernels were
// compiled to WebAssembly SIMD, 0 in a build without them.
EMSCRIPTEN_KEEPALIVE int lf_simd_level() { return static_cast<int>(lumenfall::ActiveSimdLevel()); }

// The current picture, width x height RGBA bytes with opaque alpha, stretched from the
// 400 x 300 ShowBuffer. Valid until the next call; null for an empty size.
EMSCRIPTEN_KEEPALIVE uint8_t* lf_picture(uint32_t width, uint32_t height) {
  using namespace lumenfall;
  auto& s = State();
  if (!s.effect || width == 0 || height == 0 || width > 16384 || height > 16384) return nullptr;
  const MemorySurface& show = s.effect->Show();
  const SurfaceDesc& d = show.Desc();
  const uint32_t bpp = d.bitCount / 8;
  s.rgba.assign(size_t{d.width} * d.height * 4, 0);
  for (uint32_t y = 0; y < d.height; ++y) {
    const uint8_t* row = show.Pixels() + size_t{y} * size_t(d.pitch);
    uint8_t* out = &s.rgba[size_t{y} * d.width * 4];
    for (uint32_t x = 0; x < d.width; ++x, out += 4) {
      PixelToRgb(s.effect->Display(), row + size_t{x} * bpp, out);
      out[3] = 0xFF;
    }
  }
  s.picture.resize(size_t{width} * height * 4);
  const PixelBuffer src{s.rgba.data(), d.width, d.height, static_cast<int32_t>(d.width * 4), 4};
  const PixelBuffer dst{s.picture.data(), width, height, static_cast<int32_t>(width * 4), 4};
  StretchCopy(dst, Rect{0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)}, src,
              Rect{0, 0, static_cast<int32_t>(d.width), static_cast<int32_t>(d.height)});
  return s.picture.data();
}

}  // extern "C"

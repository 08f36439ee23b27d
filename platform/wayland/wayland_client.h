// Inside the saver's Wayland client: the surfaces, outputs and the client that owns
// them (wayland_saver.cpp), and the listener tables through which the compositor
// calls it (wayland_listeners.cpp). Only those two files include this.
#pragma once

#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include "effect/memory_effect.h"
#include "platform/wayland/shm_buffers.h"
#include "platform/linux/stop_signal.h"
#include "platform/wayland/whole_picture.h"
#include "platform/linux/monotonic_clock.h"
#include "platform/linux/visual_converter.h"
#include "platform/linux/saver_rules.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"
#include "platform/wayland/wayland_saver.h"

namespace lumenfall::wayland {


// XRGB8888 as it lies in memory: the format every compositor accepts.
inline VisualFormat ShmFormat() {
  VisualFormat format;
  format.bitsPerPixel = 32;
  format.redMask = 0x00FF0000u;
  format.greenMask = 0x0000FF00u;
  format.blueMask = 0x000000FFu;
  format.msbFirst = false;
  return format;
}

class Client;
struct Output;

// One surface showing the effect, with its role objects and its buffers.
struct SaverSurface {
  Client* client = nullptr;
  Output* output = nullptr;  // the output it covers; null for the window
  wl_surface* surface = nullptr;
  xdg_surface* xdgSurface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  zwlr_layer_surface_v1* layer = nullptr;
  wp_viewport* viewport = nullptr;
  wl_callback* frame = nullptr;

  uint32_t width = 0, height = 0;  // surface coordinates
  uint32_t pendingWidth = 0, pendingHeight = 0;
  int32_t scale = 1;
  bool configured = false;
  bool closed = false;  // the compositor will not show it again: to be destroyed

  ShmBuffers buffers;
  VisualConverter picture;

  ~SaverSurface() {
    if (frame != nullptr) wl_callback_destroy(frame);
    if (viewport != nullptr) wp_viewport_destroy(viewport);
    if (layer != nullptr) zwlr_layer_surface_v1_destroy(layer);
    if (toplevel != nullptr) xdg_toplevel_destroy(toplevel);
    if (xdgSurface != nullptr) xdg_surface_destroy(xdgSurface);
    buffers.Release();
    if (surface != nullptr) wl_surface_destroy(surface);
  }
};

struct Output {
  Client* client = nullptr;
  wl_output* output = nullptr;
  zxdg_output_v1* xdgOutput = nullptr;  // tells where the output lies
  uint32_t name = 0;    // the registry's name of the global
  uint32_t version = 0;
  int32_t x = 0, y = 0;  // where it lies in the compositor's space (from xdg-output)
  int32_t scale = 1;
  bool done = false;
  std::unique_ptr<SaverSurface> surface;

  ~Output() {
    surface.reset();
    if (xdgOutput != nullptr) zxdg_output_v1_destroy(xdgOutput);
    if (output == nullptr) return;
    if (version >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
      wl_output_release(output);
    } else {
      wl_output_destroy(output);
    }
  }
};

class Client {
 public:
  explicit Client(const SaverOptions& options) : options_(options) {}
  ~Client();
  int Run();

  // ---- called from the listeners
  void OnGlobal(wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
  void OnGlobalRemove(uint32_t name);
  void OnOutputDone(Output& output);
  void OnSeatCapabilities(uint32_t capabilities);
  void OnKey(uint32_t state);
  void OnPointerEnter(uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y);
  void OnPointerLeave() { pointerSurface_ = nullptr; }
  void OnPointerMotion(wl_fixed_t x, wl_fixed_t y);
  void OnButton(uint32_t state);
  void Stop() { stop_ = true; }
  void OnSurfaceEnter(SaverSurface& s, wl_output* output);
  void WatchPosition(Output& output);
  xdg_wm_base* WmBase() { return wmBase_; }

 private:
  bool PerOutput() const { return options_.mode != OutputMode::OwnWindow; }
  bool ClosesOnInput() const {
    return options_.mode == OutputMode::FullScreen || options_.mode == OutputMode::Overlay;
  }
  std::unique_ptr<SaverSurface> MakeSurface(Output* output);
  void ReapClosed();
  bool Ready(const SaverSurface& s) const {
    return s.configured && !s.closed && s.frame == nullptr && s.width > 0 && s.height > 0;
  }
  template <typename F>
  void ForEachSurface(F f) {
    if (window_) f(*window_);
    for (auto& o : outputs_)
      if (o->surface) f(*o->surface);
  }
  bool Draw(SaverSurface& s);
  void CheckMovement(double x, double y);
  int ConnectionEnded();

  const SaverOptions& options_;
  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  uint32_t compositorVersion_ = 0;
  wl_shm* shm_ = nullptr;
  xdg_wm_base* wmBase_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  wp_viewporter* viewporter_ = nullptr;
  zxdg_output_manager_v1* outputManager_ = nullptr;
  wl_seat* seat_ = nullptr;
  uint32_t seatVersion_ = 0;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;
  std::unique_ptr<SaverSurface> window_;
  bool started_ = false;  // the first round trips are over: new outputs get surfaces

  wl_surface* pointerSurface_ = nullptr;
  bool haveReference_ = false;
  double referenceX_ = 0, referenceY_ = 0;

  bool stop_ = false;
  StopSignal stopSignal_;
  MonotonicClock clock_;
  std::unique_ptr<MemoryEffect> effect_;
};

// The listeners, one table per kind of object.
extern const wl_callback_listener kFrameListener;
extern const xdg_wm_base_listener kWmBaseListener;
extern const xdg_surface_listener kXdgSurfaceListener;
extern const xdg_toplevel_listener kToplevelListener;
extern const zwlr_layer_surface_v1_listener kLayerListener;
extern const wl_surface_listener kSurfaceListener;
extern const wl_output_listener kOutputListener;
extern const zxdg_output_v1_listener kXdgOutputListener;
extern const wl_keyboard_listener kKeyboardListener;
extern const wl_pointer_listener kPointerListener;
extern const wl_seat_listener kSeatListener;
extern const wl_registry_listener kRegistryListener;

}  // namespace lumenfall::wayland

// The saver as a Wayland client. One effect, stepped on the tick, is shown on every
// surface: a resizable xdg-shell window, a full-screen window on every output, or a
// layer-shell surface (wallpaper or overlay) on every output. A surface is drawn only
// when the compositor has asked for its next frame (a frame callback), so a hidden
// surface costs nothing; where the compositor offers the viewporter it gets the
// 400 x 300 picture to scale, otherwise our own stretch at the output's scale.
#include "platform/wayland/wayland_client.h"

namespace lumenfall {

namespace wayland {

// Binds a global at the lower of the offered and the wanted version.
template <typename T>
T* Bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered,
        uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

Client::~Client() {
  window_.reset();
  outputs_.clear();
  effect_.reset();
  if (keyboard_ != nullptr) wl_keyboard_destroy(keyboard_);
  if (pointer_ != nullptr) wl_pointer_destroy(pointer_);
  if (seat_ != nullptr) wl_seat_destroy(seat_);
  if (viewporter_ != nullptr) wp_viewporter_destroy(viewporter_);
  if (outputManager_ != nullptr) zxdg_output_manager_v1_destroy(outputManager_);
  if (layerShell_ != nullptr) zwlr_layer_shell_v1_destroy(layerShell_);
  if (wmBase_ != nullptr) xdg_wm_base_destroy(wmBase_);
  if (shm_ != nullptr) wl_shm_destroy(shm_);
  if (compositor_ != nullptr) wl_compositor_destroy(compositor_);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  if (display_ != nullptr) {
    wl_display_flush(display_);
    wl_display_disconnect(display_);
  }
}

void Client::OnGlobal(wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  const std::string_view what = interface;
  if (what == wl_compositor_interface.name && compositor_ == nullptr) {
    compositorVersion_ = std::min(version, 4u);
    compositor_ = Bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
  } else if (what == wl_shm_interface.name && shm_ == nullptr) {
    shm_ = Bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
  } else if (what == xdg_wm_base_interface.name && wmBase_ == nullptr) {
    wmBase_ = Bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, 2);
    xdg_wm_base_add_listener(wmBase_, &kWmBaseListener, this);
  } else if (what == zwlr_layer_shell_v1_interface.name && layerShell_ == nullptr) {
    layerShell_ = Bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 3);
  } else if (what == wp_viewporter_interface.name && viewporter_ == nullptr) {
    viewporter_ = Bind<wp_viewporter>(registry, name, &wp_viewporter_interface, version, 1);
  } else if (what == zxdg_output_manager_v1_interface.name && outputManager_ == nullptr) {
    outputManager_ = Bind<zxdg_output_manager_v1>(registry, name, &zxdg_output_manager_v1_interface, version, 2);
    for (auto& o : outputs_) WatchPosition(*o);
  } else if (what == wl_seat_interface.name && seat_ == nullptr) {
    seatVersion_ = std::min(version, 5u);
    seat_ = Bind<wl_seat>(registry, name, &wl_seat_interface, version, 5);
    wl_seat_add_listener(seat_, &kSeatListener, this);
  } else if (what == wl_output_interface.name) {
    auto output = std::make_unique<Output>();
    output->client = this;
    output->name = name;
    output->version = std::min(version, 3u);
    output->output = Bind<wl_output>(registry, name, &wl_output_interface, version, 3);
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    WatchPosition(*output);
    // Before version 2 no "done" follows the description.
    if (output->version < WL_OUTPUT_DONE_SINCE_VERSION) output->done = true;
    outputs_.push_back(std::move(output));
    if (started_ && outputs_.back()->done && PerOutput())
      outputs_.back()->surface = MakeSurface(outputs_.back().get());
  }
}

void Client::WatchPosition(Output& output) {
  if (outputManager_ == nullptr || output.xdgOutput != nullptr) return;
  output.xdgOutput = zxdg_output_manager_v1_get_xdg_output(outputManager_, output.output);
  zxdg_output_v1_add_listener(output.xdgOutput, &kXdgOutputListener, &output);
}

void Client::OnGlobalRemove(uint32_t name) {
  for (auto it = outputs_.begin(); it != outputs_.end(); ++it) {
    if ((*it)->name != name) continue;
    if ((*it)->surface && (*it)->surface->surface == pointerSurface_) pointerSurface_ = nullptr;
    if (window_ && window_->output == it->get()) window_->output = nullptr;
    outputs_.erase(it);
    return;
  }
}

void Client::OnOutputDone(Output& output) {
  output.done = true;
  if (started_ && PerOutput() && !output.surface) output.surface = MakeSurface(&output);
}

void Client::OnSurfaceEnter(SaverSurface& s, wl_output* output) {
  for (auto& o : outputs_)
    if (o->output == output) {
      if (s.output == nullptr || !PerOutput()) s.scale = o->scale;
      if (!PerOutput()) s.output = o.get();
    }
}

void Client::OnSeatCapabilities(uint32_t capabilities) {
  const bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  const bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
  if (keyboard && keyboard_ == nullptr) {
    keyboard_ = wl_seat_get_keyboard(seat_);
    wl_keyboard_add_listener(keyboard_, &kKeyboardListener, this);
  } else if (!keyboard && keyboard_ != nullptr) {
    wl_keyboard_destroy(keyboard_);
    keyboard_ = nullptr;
  }
  if (pointer && pointer_ == nullptr) {
    pointer_ = wl_seat_get_pointer(seat_);
    wl_pointer_add_listener(pointer_, &kPointerListener, this);
  } else if (!pointer && pointer_ != nullptr) {
    wl_pointer_destroy(pointer_);
    pointer_ = nullptr;
    pointerSurface_ = nullptr;
  }
}

void Client::OnKey(uint32_t state) {
  // A key ends the saver in its own window and on its full-screen or overlay surfaces;
  // the wallpaper never has the keyboard.
  if (state == WL_KEYBOARD_KEY_STATE_PRESSED && options_.mode != OutputMode::Background) stop_ = true;
}

void Client::OnButton(uint32_t state) {
  if (state == WL_POINTER_BUTTON_STATE_PRESSED && ClosesOnInput()) stop_ = true;
}

void Client::OnPointerEnter(uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
  pointerSurface_ = surface;
  if (ClosesOnInput() && pointer_ != nullptr) wl_pointer_set_cursor(pointer_, serial, nullptr, 0, 0);
  CheckMovement(wl_fixed_to_double(x), wl_fixed_to_double(y));
}

void Client::OnPointerMotion(wl_fixed_t x, wl_fixed_t y) {
  CheckMovement(wl_fixed_to_double(x), wl_fixed_to_double(y));
}

// The movement rule, in the compositor's space: the surface's position on its output
// plus the position on the surface, against where the pointer was first seen.
void Client::CheckMovement(double x, double y) {
  if (!ClosesOnInput() || pointerSurface_ == nullptr) return;
  for (auto& o : outputs_) {
    if (!o->surface || o->surface->surface != pointerSurface_) continue;
    x += o->x;
    y += o->y;
  }
  if (!haveReference_) {
    haveReference_ = true;
    referenceX_ = x;
    referenceY_ = y;
    return;
  }
  const double distance = std::abs(x - referenceX_) + std::abs(y - referenceY_);
  if (distance > kMoveThreshold) stop_ = true;
}

std::unique_ptr<SaverSurface> Client::MakeSurface(Output* output) {
  auto s = std::make_unique<SaverSurface>();
  s->client = this;
  s->output = output;
  s->scale = output != nullptr ? output->scale : 1;
  s->surface = wl_compositor_create_surface(compositor_);
  wl_surface_add_listener(s->surface, &kSurfaceListener, s.get());
  if (viewporter_ != nullptr) s->viewport = wp_viewporter_get_viewport(viewporter_, s->surface);
  if (!s->picture.Configure(effect_->Display(), ShmFormat())) s->closed = true;

  switch (options_.mode) {
    case OutputMode::Background:
    case OutputMode::Overlay: {
      const bool overlay = options_.mode == OutputMode::Overlay;
      s->layer = zwlr_layer_shell_v1_get_layer_surface(
          layerShell_, s->surface, output->output,
          overlay ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND,
          overlay ? "lumenfall-overlay" : "lumenfall-wallpaper");
      zwlr_layer_surface_v1_add_listener(s->layer, &kLayerListener, s.get());
      zwlr_layer_surface_v1_set_anchor(s->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
      zwlr_layer_surface_v1_set_size(s->layer, 0, 0);
      zwlr_layer_surface_v1_set_exclusive_zone(s->layer, -1);
      zwlr_layer_surface_v1_set_keyboard_interactivity(
          s->layer, overlay ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                            : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
      if (!overlay) {
        // The wallpaper takes no input at all: an empty input region.
        wl_region* none = wl_compositor_create_region(compositor_);
        wl_surface_set_input_region(s->surface, none);
        wl_region_destroy(none);
      }
      break;
    }
    case OutputMode::OwnWindow:
    case OutputMode::FullScreen:
    case OutputMode::Root:
    case OutputMode::ForeignWindow:
      s->xdgSurface = xdg_wm_base_get_xdg_surface(wmBase_, s->surface);
      xdg_surface_add_listener(s->xdgSurface, &kXdgSurfaceListener, s.get());
      s->toplevel = xdg_surface_get_toplevel(s->xdgSurface);
      xdg_toplevel_add_listener(s->toplevel, &kToplevelListener, s.get());
      xdg_toplevel_set_title(s->toplevel, "Lumenfall");
      xdg_toplevel_set_app_id(s->toplevel, "lumenfall");
      if (output != nullptr) xdg_toplevel_set_fullscreen(s->toplevel, output->output);
      break;
  }
  wl_surface_commit(s->surface);
  return s;
}

void Client::ReapClosed() {
  for (auto& o : outputs_) {
    if (!o->surface || !o->surface->closed) continue;
    if (o->surface->surface == pointerSurface_) pointerSurface_ = nullptr;
    o->surface.reset();
  }
}

// Puts the current picture on the surface: the 400 x 300 picture for the viewporter to
// scale, or our own stretch to the surface's size at its scale.
bool Client::Draw(SaverSurface& s) {
  const MemorySurface& show = effect_->Show();
  uint32_t width = show.Desc().width, height = show.Desc().height;
  int32_t bufferScale = 1;
  if (s.viewport == nullptr) {
    // The scale of the output it is on, as that output says now.
    bufferScale = std::max(s.output != nullptr ? s.output->scale : s.scale, 1);
    width = s.width * uint32_t(bufferScale);
    height = s.height * uint32_t(bufferScale);
  }
  if (!s.buffers.Ensure(shm_, width, height)) return false;
  const int index = s.buffers.FreeBuffer();
  if (index < 0) return true;  // both still with the compositor: next tick
  uint8_t* pixels = s.buffers.Pixels(index);
  const int32_t pitch = s.buffers.Stride();
  if (!s.picture.Convert(show.Pixels(), show.Desc().width, show.Desc().height, show.Desc().pitch) ||
      !StretchWholePicture(s.picture, pixels, width, height, pitch))
    return false;

  if (s.viewport != nullptr) {
    wp_viewport_set_destination(s.viewport, int32_t(s.width), int32_t(s.height));
  } else {
    wl_surface_set_buffer_scale(s.surface, bufferScale);
  }
  wl_surface_attach(s.surface, s.buffers.Attachable(index), 0, 0);
  if (compositorVersion_ >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
    wl_surface_damage_buffer(s.surface, 0, 0, INT32_MAX, INT32_MAX);
  } else {
    wl_surface_damage(s.surface, 0, 0, INT32_MAX, INT32_MAX);
  }
  s.frame = wl_surface_frame(s.surface);
  wl_callback_add_listener(s.frame, &kFrameListener, &s);
  wl_surface_commit(s.surface);
  return true;
}

// The connection failed: the compositor's going away ends the saver quietly, a
// protocol error (our fault or the compositor's) is reported.
int Client::ConnectionEnded() {
  const int error = wl_display_get_error(display_);
  if (error == EPROTO) {
    const wl_interface* interface = nullptr;
    uint32_t id = 0;
    const uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
    return Fail("the compositor reported protocol error " + std::to_string(code) + " on " +
                (interface != nullptr ? interface->name : "an object"));
  }
  return 0;
}

int Client::Run() {
  if (!stopSignal_.Open()) return Fail("cannot set up signal handling");
  display_ = wl_display_connect(nullptr);
  if (display_ == nullptr) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    return Fail(std::string("cannot connect to the Wayland compositor '") +
                (name != nullptr && *name != '\0' ? name : "wayland-0") + "' (try --x11)");
  }
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  // The globals, then the outputs' and the seat's descriptions.
  for (int i = 0; i < 2; ++i)
    if (wl_display_roundtrip(display_) < 0) return ConnectionEnded();

  const bool layers = options_.mode == OutputMode::Background || options_.mode == OutputMode::Overlay;
  if (compositor_ == nullptr || shm_ == nullptr)
    return Fail("the Wayland compositor offers no wl_compositor or wl_shm");
  if (layers && layerShell_ == nullptr)
    return Fail(std::string("the Wayland compositor offers no layer shell (zwlr_layer_shell_v1), "
                            "which --") +
                (options_.mode == OutputMode::Background ? "background" : "overlay") + " needs");
  if (!layers && wmBase_ == nullptr)
    return Fail("the Wayland compositor offers no xdg-shell (xdg_wm_base) for windows");
  if (layers && wmBase_ != nullptr) {
    xdg_wm_base_destroy(wmBase_);  // not needed: layer surfaces only
    wmBase_ = nullptr;
  }

  // The generator is seeded from the clock, as in the other front ends.
  effect_ = std::make_unique<MemoryEffect>(EmulatedFormat{options_.depth, options_.layout}, clock_,
                                           clock_.TickCount());
  effect_->ShowOwnLines(options_.lines);
  started_ = true;
  if (PerOutput()) {
    for (auto& o : outputs_)
      if (o->done && !o->surface) o->surface = MakeSurface(o.get());
  } else {
    window_ = MakeSurface(nullptr);
  }

  const int fd = wl_display_get_fd(display_);
  const uint64_t tick =
      std::max<uint64_t>(uint64_t{options_.delayMicroseconds} * 1000u, kMinimumTickNs);
  uint64_t next = MonotonicClock::Nanoseconds();
  while (!stop_) {
    if (wl_display_dispatch_pending(display_) < 0) return ConnectionEnded();
    if (stop_) break;
    ReapClosed();
    if (window_ && window_->closed) break;

    bool anyReady = false;
    ForEachSurface([&](SaverSurface& s) { anyReady = anyReady || Ready(s); });
    const uint64_t now = MonotonicClock::Nanoseconds();
    if (anyReady && now >= next) {
      effect_->Step(options_.flags);
      bool drawn = true;
      ForEachSurface([&](SaverSurface& s) {
        if (Ready(s) && !Draw(s)) drawn = false;
      });
      if (!drawn) return Fail("cannot make the shared-memory buffers for a surface");
      next += tick;
      if (next <= now) next = now + tick;  // fell behind: no burst of catch-up frames
    }

    // Wait for the compositor (a configure, a frame callback, input), a signal or the
    // next tick; with every surface waiting for its frame callback, for no tick at all.
    while (wl_display_prepare_read(display_) != 0)
      if (wl_display_dispatch_pending(display_) < 0) return ConnectionEnded();
    bool flushed = wl_display_flush(display_) >= 0 || errno == EAGAIN;
    if (!flushed) {
      wl_display_cancel_read(display_);
      return ConnectionEnded();
    }
    int timeoutMs = -1;
    if (anyReady) {
      const uint64_t later = MonotonicClock::Nanoseconds();
      timeoutMs = next > later ? int((next - later + 999999u) / 1000000u) : 0;
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopSignal_.Fd(), POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs);
    if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      if (wl_display_read_events(display_) < 0) return ConnectionEnded();
    } else {
      wl_display_cancel_read(display_);
    }
    if (ready > 0 && (fds[1].revents & POLLIN) != 0 && stopSignal_.Take()) break;
  }
  return 0;
}

}  // namespace wayland

int RunWaylandSaver(const SaverOptions& options) {
  wayland::Client client(options);
  return client.Run();
}

}  // namespace lumenfall

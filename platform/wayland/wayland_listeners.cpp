#include "platform/wayland/wayland_client.h"

namespace lumenfall::wayland {

const wl_callback_listener kFrameListener = {
    [](void* data, wl_callback* callback, uint32_t) {
      auto* s = static_cast<SaverSurface*>(data);
      wl_callback_destroy(callback);
      s->frame = nullptr;
    }};

const xdg_wm_base_listener kWmBaseListener = {
    [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }};

const xdg_surface_listener kXdgSurfaceListener = {
    [](void* data, xdg_surface* xdgSurface, uint32_t serial) {
      auto* s = static_cast<SaverSurface*>(data);
      xdg_surface_ack_configure(xdgSurface, serial);
      if (s->pendingWidth > 0 && s->pendingHeight > 0) {
        s->width = s->pendingWidth;
        s->height = s->pendingHeight;
      } else if (s->width == 0 || s->height == 0) {
        s->width = kOwnWindowWidth;
        s->height = kOwnWindowHeight;
      }
      s->configured = true;
    }};

const xdg_toplevel_listener kToplevelListener = {
    [](void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
      auto* s = static_cast<SaverSurface*>(data);
      s->pendingWidth = uint32_t(std::max(width, 0));
      s->pendingHeight = uint32_t(std::max(height, 0));
    },
    [](void* data, xdg_toplevel*) { static_cast<SaverSurface*>(data)->client->Stop(); },
#ifdef XDG_TOPLEVEL_CONFIGURE_BOUNDS_SINCE_VERSION
    [](void*, xdg_toplevel*, int32_t, int32_t) {},
#endif
#ifdef XDG_TOPLEVEL_WM_CAPABILITIES_SINCE_VERSION
    [](void*, xdg_toplevel*, wl_array*) {},
#endif
};

const zwlr_layer_surface_v1_listener kLayerListener = {
    [](void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width, uint32_t height) {
      auto* s = static_cast<SaverSurface*>(data);
      zwlr_layer_surface_v1_ack_configure(layer, serial);
      if (width > 0 && height > 0) {
        s->width = width;
        s->height = height;
      }
      s->configured = s->width > 0 && s->height > 0;
    },
    [](void* data, zwlr_layer_surface_v1*) { static_cast<SaverSurface*>(data)->closed = true; }};

const wl_surface_listener kSurfaceListener = {
    [](void* data, wl_surface*, wl_output* output) {
      auto* s = static_cast<SaverSurface*>(data);
      s->client->OnSurfaceEnter(*s, output);
    },
    [](void*, wl_surface*, wl_output*) {}};

const wl_output_listener kOutputListener = {
    [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
       int32_t) {},
    [](void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {},
    [](void* data, wl_output*) {
      auto* o = static_cast<Output*>(data);
      o->client->OnOutputDone(*o);
    },
    [](void* data, wl_output*, int32_t factor) {
      static_cast<Output*>(data)->scale = std::max(factor, 1);
    },
#ifdef WL_OUTPUT_NAME_SINCE_VERSION
    [](void*, wl_output*, const char*) {},
    [](void*, wl_output*, const char*) {},
#endif
};

const zxdg_output_v1_listener kXdgOutputListener = {
    [](void* data, zxdg_output_v1*, int32_t x, int32_t y) {
      auto* o = static_cast<Output*>(data);
      o->x = x;
      o->y = y;
    },
    [](void*, zxdg_output_v1*, int32_t, int32_t) {},
    [](void*, zxdg_output_v1*) {},
    [](void*, zxdg_output_v1*, const char*) {},
    [](void*, zxdg_output_v1*, const char*) {},
};

const wl_keyboard_listener kKeyboardListener = {
    [](void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); },
    [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {},
    [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
    [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t state) {
      static_cast<Client*>(data)->OnKey(state);
    },
    [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void*, wl_keyboard*, int32_t, int32_t) {},
};

const wl_pointer_listener kPointerListener = {
    [](void* data, wl_pointer*, uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
      static_cast<Client*>(data)->OnPointerEnter(serial, surface, x, y);
    },
    [](void* data, wl_pointer*, uint32_t, wl_surface*) { static_cast<Client*>(data)->OnPointerLeave(); },
    [](void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
      static_cast<Client*>(data)->OnPointerMotion(x, y);
    },
    [](void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
      static_cast<Client*>(data)->OnButton(state);
    },
    [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {},
    [](void*, wl_pointer*) {},
    [](void*, wl_pointer*, uint32_t) {},
    [](void*, wl_pointer*, uint32_t, uint32_t) {},
    [](void*, wl_pointer*, uint32_t, int32_t) {},
#ifdef WL_POINTER_AXIS_VALUE120_SINCE_VERSION
    [](void*, wl_pointer*, uint32_t, int32_t) {},
#endif
};

const wl_seat_listener kSeatListener = {
    [](void* data, wl_seat*, uint32_t capabilities) {
      static_cast<Client*>(data)->OnSeatCapabilities(capabilities);
    },
    [](void*, wl_seat*, const char*) {}};

const wl_registry_listener kRegistryListener = {
    [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
      static_cast<Client*>(data)->OnGlobal(registry, name, interface, version);
    },
    [](void* data, wl_registry*, uint32_t name) { static_cast<Client*>(data)->OnGlobalRemove(name); }};

}  // namespace lumenfall::wayland

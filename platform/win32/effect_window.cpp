// The effect's window procedure: start-up on creation, one frame per tick of its
// 40 ms timer, teardown on destruction or a key press.
#include "platform/win32/dd_display.h"
#include "platform/win32/passwords.h"
#include "platform/win32/registry_store.h"
#include "platform/win32/saver_shell.h"
#include "platform/win32/screen_layout.h"

namespace lumenfall {

namespace {

bool effectPreview = false;  // the window is narrower or wider than the virtual screen; never cleared
SettingsState settings;      // currentFlags, loaded once at window creation
bool effectRunning = false;  // from start-up to teardown; nothing is rebuilt outside it

void StartEffect(HWND window, const CREATESTRUCTA* create) {
  // The file "dd.out" is left alone: nothing here ever writes it, so deleting it
  // could only destroy a user's own file of that name.
  // The full-screen window spans the virtual screen, every monitor.
  if (create != nullptr) {
    const RECT screen = VirtualScreenRect();
    if (screen.right - screen.left != create->cx) effectPreview = true;
  }
  RegistrySettingsStore store;
  LoadSettings(settings, store);
  ddCreate();
  ddSetNormalMode(window);
  CreateWorkSurfaces();
  SetTimer(window, kEffectTimerId, kEffectTimerPeriodMs, nullptr);
  effectRunning = true;
}

// A new display mode (or a monitor added or taken away): the full-screen window is
// fitted to the new virtual screen and the display built again; the text goes on.
void RebuildEffect(HWND window) {
  if (!effectRunning) return;  // after teardown nothing may be created again
  if (!effectPreview) {
    const RECT screen = VirtualScreenRect();
    SetWindowPos(window, HWND_TOPMOST, screen.left, screen.top, screen.right - screen.left,
                 screen.bottom - screen.top, SWP_NOACTIVATE);
  }
  ddRebuild(window);
}

void StopEffect(HWND window) {
  // Every release nulls its handle, so a second teardown releases nothing.
  effectRunning = false;
  KillTimer(window, kEffectTimerId);
  ReleaseWorkSurfaces();
  ddShutdown(window);
  PostQuitMessage(0);
}

}  // namespace

LRESULT EffectWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      StartEffect(window, reinterpret_cast<const CREATESTRUCTA*>(lParam));
      return 0;
    case WM_DESTROY:
      StopEffect(window);
      return 0;
    case WM_KEYDOWN:
      // A key press ends the saver at once, except when a password protects the run:
      // then it goes on to the closing rules, which ask to close as a click does, so
      // that the password dialog decides. Otherwise any key would defeat the lock.
      if (KeyPressAsksForPassword()) break;
      SendMessageA(window, WM_DESTROY, 0, 0);
      return 0;
    case WM_TIMER:
      if (wParam != kEffectTimerId) break;
      if (effectPreview) {
        PresentPreview(window, settings.currentFlags);
      } else {
        PresentFullScreen(window, settings.currentFlags);
      }
      if (ddRebuildDue()) RebuildEffect(window);
      return 0;
    case WM_DISPLAYCHANGE:
      RebuildEffect(window);
      break;
    default:
      break;
  }
  return DefaultSaverProc(window, message, wParam, lParam);
}

}  // namespace lumenfall

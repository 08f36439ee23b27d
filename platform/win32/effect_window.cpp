// The effect's window procedure: start-up on creation, one frame per tick of its
// 40 ms timer, teardown on destruction or a key press.
#include "platform/win32/dd_display.h"
#include "platform/win32/passwords.h"
#include "platform/win32/registry_store.h"
#include "platform/win32/saver_shell.h"

namespace lumenfall {

namespace {

bool effectPreview = false;  // the window is narrower or wider than the screen; never cleared
SettingsState settings;      // currentFlags, loaded once at window creation

void StartEffect(HWND window, const CREATESTRUCTA* create) {
  // The file "dd.out" is left alone: nothing here ever writes it, so deleting it
  // could only destroy a user's own file of that name.
  if (create != nullptr && GetSystemMetrics(SM_CXSCREEN) != create->cx) effectPreview = true;
  RegistrySettingsStore store;
  LoadSettings(settings, store);
  ddCreate();
  ddSetNormalMode(window);
  CreateWorkSurfaces();
  SetTimer(window, kEffectTimerId, kEffectTimerPeriodMs, nullptr);
}

void StopEffect(HWND window) {
  // Every release nulls its handle, so a second teardown releases nothing.
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
      return 0;
    default:
      break;
  }
  return DefaultSaverProc(window, message, wParam, lParam);
}

}  // namespace lumenfall

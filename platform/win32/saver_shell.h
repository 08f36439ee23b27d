// The Windows screen-saver shell: its module state and the procedures that the
// entry, the saver window, the effect and the passwords share.
#pragma once

#include <windows.h>
#include <imm.h>

#include <cstdint>

namespace lumenfall {

using VerifyScreenSavePwdProc = BOOL(WINAPI*)(HWND);
using ImmAssociateContextProc = HIMC(WINAPI*)(HWND, HIMC);

struct SaverShellState {
  HINSTANCE moduleInstance = nullptr;
  bool is95Family = false;
  HWND saverWindow = nullptr;
  bool inPreview = false;
  bool closingApproved = false;
  bool verifying = false;
  HMODULE verifierLibrary = nullptr;
  VerifyScreenSavePwdProc verifyPassword = nullptr;
  DWORD lastVerifyTick = 0xFFFFFFFF;  // never
  HMODULE imeLibrary = nullptr;
  ImmAssociateContextProc associateContext = nullptr;
  HIMC previousInputContext = nullptr;
  POINT cursorReference{0, 0};
  DWORD moveThreshold = 4;
};

extern SaverShellState saverShell;

constexpr char kSaverClassName[] = "WindowsScreenSaverClass";
constexpr char kFullScreenTitle[] = "Screen Saver";
constexpr char kPreviewTitle[] = "Preview";
constexpr UINT_PTR kEffectTimerId = 0xFF000000;
constexpr UINT kEffectTimerPeriodMs = 40;
constexpr UINT kVerifyMessage = WM_APP;

// A window handle given in decimal on the command line. Window handles are 32-bit
// values on every Windows; a 64-bit program widens them with their sign, as the
// system's own LongToHandle does.
inline HWND WindowFromCommandLine(uint32_t handle) {
  return reinterpret_cast<HWND>(static_cast<INT_PTR>(static_cast<int32_t>(handle)));
}

// Entry and modes.
[[noreturn]] void LumenfallEntry();
int SaverMain(HINSTANCE instance, const char* tail);

// Saver window.
int RunSaver(HWND parent);
LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The effect's own procedure.
LRESULT EffectWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Configuration dialog.
INT_PTR ShowConfigDialog(HWND owner);

}  // namespace lumenfall

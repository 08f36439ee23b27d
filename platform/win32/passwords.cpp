#include "platform/win32/passwords.h"

#include "platform/win32/saver_shell.h"
#include "shell/command_tail.h"
#include "shell/quiet_period.h"

namespace lumenfall {

namespace {

using PwdChangePasswordProc = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, LPVOID);

}  // namespace

void SetScreenSaverRunning(bool running) {
  if (!saverShell.is95Family) return;
  UINT previous = 0;
  SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, running ? 1 : 0, &previous, 0);
}

void LoadPasswordVerifier() {
  if (!saverShell.is95Family) return;
  if (saverShell.verifierLibrary != nullptr) UnloadPasswordVerifier();
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &key) != ERROR_SUCCESS) return;
  // A shorter value fills only the low bytes of a word that starts at zero.
  DWORD usePassword = 0;
  DWORD size = sizeof usePassword;
  const LONG read = RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(&usePassword), &size);
  if (read == ERROR_SUCCESS && usePassword != 0) {
    saverShell.verifierLibrary = LoadLibraryA("PASSWORD.CPL");
    if (saverShell.verifierLibrary != nullptr) {
      saverShell.verifyPassword = reinterpret_cast<VerifyScreenSavePwdProc>(
          reinterpret_cast<void*>(GetProcAddress(saverShell.verifierLibrary, "VerifyScreenSavePwd")));
      if (saverShell.verifyPassword != nullptr) {
        SetScreenSaverRunning(true);
      } else {
        UnloadPasswordVerifier();
      }
    }
  }
  RegCloseKey(key);
}

void UnloadPasswordVerifier() {
  if (!saverShell.is95Family || saverShell.verifierLibrary == nullptr) return;
  FreeLibrary(saverShell.verifierLibrary);
  saverShell.verifierLibrary = nullptr;
  if (saverShell.verifyPassword != nullptr) {
    saverShell.verifyPassword = nullptr;
    SetScreenSaverRunning(false);
  }
}

bool VerifyPasswordOnClose(HWND window) {
  SaverShellState& s = saverShell;
  if (s.verifying || s.closingApproved) return false;
  if (s.verifyPassword == nullptr) {
    s.closingApproved = true;
    return true;
  }
  // Close requests in the first moments after a dialog are refused without a dialog;
  // the unsigned difference holds across the wrap of the tick counter.
  if (InQuietPeriod(GetTickCount(), s.lastVerifyTick)) return false;
  s.verifying = true;
  MSG pending;
  PeekMessageA(&pending, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
  PeekMessageA(&pending, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
  const LRESULT approved = SendMessageA(window, kVerifyMessage, 0, 0);
  s.closingApproved = approved != 0;
  s.verifying = false;
  if (!s.closingApproved) SetCursor(nullptr);
  s.lastVerifyTick = GetTickCount();
  return s.closingApproved;
}

bool KeyPressAsksForPassword() {
  return saverShell.verifyPassword != nullptr && !saverShell.inPreview;
}

void ChangePassword(const char* rest) {
  HWND owner = WindowFromCommandLine(ParseWindowHandle(rest));
  if (owner == nullptr || !IsWindow(owner)) owner = GetForegroundWindow();
  HMODULE library = LoadLibraryA("MPR.DLL");
  if (library == nullptr) return;
  auto change = reinterpret_cast<PwdChangePasswordProc>(
      reinterpret_cast<void*>(GetProcAddress(library, "PwdChangePasswordA")));
  if (change != nullptr) change("SCRSAVE", owner, 0, nullptr);
  FreeLibrary(library);
}

}  // namespace lumenfall

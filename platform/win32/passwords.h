// Password verification and change. Only the Windows 95 family has them; on the NT
// family every operation here does nothing.
#pragma once

#include <windows.h>

namespace lumenfall {

void LoadPasswordVerifier();
void UnloadPasswordVerifier();
void SetScreenSaverRunning(bool running);
// True when the close may proceed.
bool VerifyPasswordOnClose(HWND window);
// Takes the command tail after the 'A' switch and its blanks.
void ChangePassword(const char* rest);

}  // namespace lumenfall

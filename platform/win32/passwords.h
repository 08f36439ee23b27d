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
// True when a plain key press must ask to close, like a click, rather than end the
// saver at once: a password verifier is loaded for this full-screen run.
bool KeyPressAsksForPassword();
// Takes the command tail after the 'A' switch and its blanks.
void ChangePassword(const char* rest);

}  // namespace lumenfall

// The configuration dialog (2003) and the About dialog (104). ShowConfigDialog, the
// entry of the configuration mode, is declared with the shell in saver_shell.h.
#pragma once

#include <windows.h>

#include "settings/settings_store.h"

namespace lumenfall {

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Sets currentFlags from the two radio buttons and the check box. Always true.
bool FlagsFromControls(HWND dialog);
// Sets the two radio buttons and the check box from currentFlags. Always true.
bool ControlsFromFlags(HWND dialog);

// The dialog's settings word, currentFlags: loaded when the dialog opens, saved on OK.
SettingsState& ConfigDialogSettings();

}  // namespace lumenfall

// The configuration mode: a modal dialog to pick the text set and the blur quality,
// saved to the registry on OK, and the About dialog it opens.
#include "platform/win32/config_dialog.h"

#include "platform/win32/registry_store.h"
#include "platform/win32/resources/resource_ids.h"
#include "platform/win32/saver_shell.h"
#include "settings/dialog_choices.h"

namespace lumenfall {

namespace {

HINSTANCE dialogInstance = nullptr;  // the module both dialogs are loaded from
SettingsState dialogSettings;        // currentFlags

bool Checked(HWND dialog, int control) {
  return IsDlgButtonChecked(dialog, control) == BST_CHECKED;
}

void Check(HWND dialog, int control, bool checked) {
  CheckDlgButton(dialog, control, checked ? BST_CHECKED : BST_UNCHECKED);
}

}  // namespace

SettingsState& ConfigDialogSettings() { return dialogSettings; }

bool FlagsFromControls(HWND dialog) {
  DialogChoices choices;
  choices.malachiRed = Checked(dialog, LF_CONTROL_MALACHI_RED);
  choices.deepBlue = Checked(dialog, LF_CONTROL_DEEP_BLUE);
  choices.lowQuality = Checked(dialog, LF_CONTROL_LOW_QUALITY);
  dialogSettings.currentFlags = FlagsFromChoices(choices);
  return true;
}

bool ControlsFromFlags(HWND dialog) {
  // Everything is cleared first, so that a word with no text set shows no choice.
  Check(dialog, LF_CONTROL_DEEP_BLUE, false);
  Check(dialog, LF_CONTROL_MALACHI_RED, false);
  Check(dialog, LF_CONTROL_LOW_QUALITY, false);
  const DialogChoices choices = ChoicesFromFlags(dialogSettings.currentFlags);
  if (choices.malachiRed) Check(dialog, LF_CONTROL_MALACHI_RED, true);
  if (choices.deepBlue) Check(dialog, LF_CONTROL_DEEP_BLUE, true);
  if (choices.lowQuality) Check(dialog, LF_CONTROL_LOW_QUALITY, true);
  return true;
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG: {
      RegistrySettingsStore store;
      LoadSettings(dialogSettings, store);
      ControlsFromFlags(dialog);
      return 1;  // the system places the focus
    }
    case WM_COMMAND:
      // Only the identifier counts; the notification code is not looked at. Escape
      // arrives as IDCANCEL and, like every other command, leaves the dialog open.
      switch (LOWORD(wParam)) {
        case LF_CONTROL_OK: {
          FlagsFromControls(dialog);
          RegistrySettingsStore store;
          SaveSettings(dialogSettings, store);  // written even when nothing changed
          EndDialog(dialog, 1);
          break;
        }
        case LF_CONTROL_CANCEL:
          EndDialog(dialog, 1);
          break;
        case LF_CONTROL_ABOUT:
          DialogBoxParamA(dialogInstance, MAKEINTRESOURCEA(LF_DIALOG_ABOUT), dialog,
                          AboutDialogProc, 0);
          break;
        default:
          break;
      }
      return 1;
    case WM_CLOSE:
      EndDialog(dialog, 0);  // the close box: nothing saved
      return 0;
    default:
      return 0;
  }
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      return 1;
    case WM_COMMAND:
      if (LOWORD(wParam) == LF_CONTROL_OK) EndDialog(dialog, 1);
      return 1;
    case WM_CLOSE:
      EndDialog(dialog, 0);
      return 0;
    default:
      return 0;
  }
}

INT_PTR ShowConfigDialog(HWND owner) {
  dialogInstance = saverShell.moduleInstance;
  return DialogBoxParamA(dialogInstance, MAKEINTRESOURCEA(LF_DIALOG_CONFIG), owner,
                         ConfigDialogProc, 0);
}

}  // namespace lumenfall

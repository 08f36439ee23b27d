// The configuration mode. The dialog templates and their procedures arrive with the
// resources; until then the dialog cannot be created and the mode answers -1, as it
// does whenever dialog 2003 is missing.
#include "platform/win32/saver_shell.h"

namespace lumenfall {

namespace {

INT_PTR CALLBACK PendingConfigDialogProc(HWND dialog, UINT message, WPARAM /*wParam*/,
                                         LPARAM /*lParam*/) {
  if (message == WM_INITDIALOG) return 1;
  if (message == WM_CLOSE) {
    EndDialog(dialog, 0);
    return 0;
  }
  return 0;
}

}  // namespace

INT_PTR ShowConfigDialog(HWND owner) {
  return DialogBoxParamA(saverShell.moduleInstance, MAKEINTRESOURCEA(2003), owner,
                         PendingConfigDialogProc, 0);
}

}  // namespace lumenfall

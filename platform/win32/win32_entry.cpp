// The process entry of lumenfall.scr. The arguments are not used: the entry reads
// the process command line itself.
#include <windows.h>

#include "platform/win32/saver_shell.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*line*/, int /*show*/) {
  lumenfall::LumenfallEntry();
}

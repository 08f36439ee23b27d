// A test MPR.DLL: exports PwdChangePasswordA like the Windows 95 family's library and
// logs each call with its arguments and the foreground window at that moment
// (double_log.h). Built with LUMENFALL_DOUBLE_NO_ENTRY it exports nothing by that name.
#include <windows.h>

#include "double_log.h"

namespace {

using lumenfall::doubles::Handle;
using lumenfall::doubles::Log;

int calls = 0;

}  // namespace

#ifndef LUMENFALL_DOUBLE_NO_ENTRY
extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner,
                                                                 DWORD flags, void* reserved) {
#else
extern "C" __declspec(dllexport) DWORD WINAPI SomethingElse(LPCSTR provider, HWND owner,
                                                            DWORD flags, void* reserved) {
#endif
  ++calls;
  Log("change provider=%s owner=%lu flags=%lu reserved=%d foreground=%lu",
      provider != nullptr ? provider : "(none)", Handle(owner), static_cast<unsigned long>(flags),
      reserved != nullptr ? 1 : 0, Handle(GetForegroundWindow()));
  return 0;
}

BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, void* /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) Log("attach library=mpr");
  if (reason == DLL_PROCESS_DETACH) Log("detach library=mpr calls=%d", calls);
  return TRUE;
}

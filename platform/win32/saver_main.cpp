// Program entry and mode dispatch.
#include "platform/win32/passwords.h"
#include "platform/win32/saver_shell.h"
#include "platform/win32/vector_permission.h"
#include "shell/command_tail.h"

namespace lumenfall {

SaverShellState saverShell;

namespace {

LPTOP_LEVEL_EXCEPTION_FILTER previousFaultFilter = nullptr;

// The guard around the modes. GCC has no structured exception blocks, so the guard
// is the process's top-level filter: it clears the screen-saver-running state and
// lets the system report the fault as usual, after which the process ends.
LONG WINAPI SaverFaultFilter(EXCEPTION_POINTERS* info) {
  SetScreenSaverRunning(false);
  if (previousFaultFilter != nullptr) return previousFaultFilter(info);
  return EXCEPTION_CONTINUE_SEARCH;
}

bool Is95Family() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  static_assert(sizeof(OSVERSIONINFOA) == 148, "the 148-byte version record");
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

// The blur's vector kernels only where the system saves their registers; without
// IsProcessorFeaturePresent (Windows 95, early NT) a 32-bit program runs the kernels
// below SSE2. LUMENFALL_SIMD may lower the level further, never raise it.
void LimitVectorKernels() {
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  ProcessorFeatureQuery query = nullptr;
  if (kernel != nullptr)
    query = reinterpret_cast<ProcessorFeatureQuery>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsProcessorFeaturePresent")));
  LimitToSystem(query);
}

int RunMode(const SaverCommand& command) {
  switch (command.mode) {
    case SaverMode::Configure:
      return static_cast<int>(ShowConfigDialog(nullptr));
    case SaverMode::ConfigureOwned:
      return static_cast<int>(ShowConfigDialog(GetForegroundWindow()));
    case SaverMode::FullScreen:
      return RunSaver(nullptr);
    case SaverMode::Preview: {
      HWND parent = WindowFromCommandLine(command.handle);
      if (parent == nullptr || !IsWindow(parent)) return -1;
      return RunSaver(parent);
    }
    case SaverMode::ChangePassword:
      if (!saverShell.is95Family) return -1;
      ChangePassword(command.rest);
      return 0;
    case SaverMode::Invalid:
      break;
  }
  return -1;
}

}  // namespace

int SaverMain(HINSTANCE instance, const char* tail) {
  saverShell.moduleInstance = instance;
  saverShell.is95Family = Is95Family();
  previousFaultFilter = SetUnhandledExceptionFilter(SaverFaultFilter);
  LimitVectorKernels();
  const int result = RunMode(ScanSaverCommand(tail));
  SetUnhandledExceptionFilter(previousFaultFilter);
  return result;
}

void LumenfallEntry() {
  const char* tail = SkipProgramName(GetCommandLineA());
  ExitProcess(static_cast<UINT>(SaverMain(GetModuleHandleA(nullptr), tail)));
}

}  // namespace lumenfall

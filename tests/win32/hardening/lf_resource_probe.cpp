// Samples the running full-screen saver's system resources, for the soak run.
//   lf_resource_probe INTERVAL_MS SAMPLES
// waits up to 30 s for the "Screen Saver" window of class WindowsScreenSaverClass,
// opens its process, and prints one line per sample, INTERVAL_MS apart:
//   sample n=<i> tick=<ms> handles=<n> gdi=<n> user=<n> workingset=<bytes> private=<bytes>
// A count that the system cannot give is printed as -1. Ends with exit 0 after the last
// sample, 2 when the window never appeared, 3 when the process could not be opened, and
// 0 with a line "ended" when the saver went away first.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>

namespace {

long ParseCount(const char* text, long fallback, long largest) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > largest) return fallback;
  return value;
}

HWND WaitForSaver(DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    HWND window = FindWindowA("WindowsScreenSaverClass", "Screen Saver");
    if (window != nullptr) return window;
    Sleep(100);
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: lf_resource_probe INTERVAL_MS SAMPLES\n");
    return 64;
  }
  const long interval = ParseCount(argv[1], -1, 3600000);
  const long samples = ParseCount(argv[2], -1, 1000000);
  if (interval < 0 || samples < 0) {
    std::fprintf(stderr, "lf_resource_probe: INTERVAL_MS and SAMPLES are positive whole numbers\n");
    return 64;
  }
  HWND window = WaitForSaver(30000);
  if (window == nullptr) {
    std::printf("no-window\n");
    return 2;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) {
    std::printf("no-process pid=%lu error=%lu\n", static_cast<unsigned long>(pid),
                static_cast<unsigned long>(GetLastError()));
    return 3;
  }
  std::printf("process pid=%lu\n", static_cast<unsigned long>(pid));
  std::fflush(stdout);
  for (long i = 0; i < samples; ++i) {
    if (i > 0 && WaitForSingleObject(process, static_cast<DWORD>(interval)) == WAIT_OBJECT_0) {
      std::printf("ended\n");
      break;
    }
    DWORD handles = 0;
    const long handleCount = GetProcessHandleCount(process, &handles) ? static_cast<long>(handles) : -1;
    SetLastError(0);
    const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    const bool gdiKnown = gdi != 0 || GetLastError() == 0;
    SetLastError(0);
    const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    const bool userKnown = user != 0 || GetLastError() == 0;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    const bool memoryKnown = GetProcessMemoryInfo(process, &memory, sizeof memory) != 0;
    std::printf("sample n=%ld tick=%lu handles=%ld gdi=%ld user=%ld workingset=%lld private=%lld\n", i,
                static_cast<unsigned long>(GetTickCount()), handleCount,
                gdiKnown ? static_cast<long>(gdi) : -1L, userKnown ? static_cast<long>(user) : -1L,
                memoryKnown ? static_cast<long long>(memory.WorkingSetSize) : -1LL,
                memoryKnown ? static_cast<long long>(memory.PagefileUsage) : -1LL);
    std::fflush(stdout);
  }
  CloseHandle(process);
  return 0;
}

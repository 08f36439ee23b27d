// Samples the running full-screen saver's system resources, for the soak run.
//   lf_resource_probe INTERVAL_MS SAMPLES
// waits up to 30 s for the "Screen Saver" window of class WindowsScreenSaverClass,
// opens its process, and prints one line per sample, INTERVAL_MS apart:
//   sample n=<i> tick=<ms> handles=<n> tablehandles=<n> gdi=<n> user=<n> workingset=<bytes>
//          private=<bytes>
// handles is GetProcessHandleCount; tablehandles counts the process's entries in the
// system's handle table (NtQuerySystemInformation, SystemHandleInformation), which Wine
// keeps even where it answers 0 to the first. A count that the system cannot give is
// printed as -1; a handle count of 0 counts as not given, since a running process
// always holds handles. Ends with exit 0 after the last
// sample, 2 when the window never appeared, 3 when the process could not be opened, and
// 0 with a line "ended" when the saver went away first.
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

long ParseCount(const char* text, long fallback, long largest) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > largest) return fallback;
  return value;
}

// The process's entries in the system's handle table, or -1.
long TableHandles(DWORD pid) {
  using Query = NTSTATUS(NTAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
  static Query query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return -1;
  std::vector<unsigned char> buffer(1 << 16);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const NTSTATUS status = query(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status < 0) return -1;
    const auto* table = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
    const size_t room = (buffer.size() - offsetof(SYSTEM_HANDLE_INFORMATION, Handle)) / sizeof(SYSTEM_HANDLE_ENTRY);
    const size_t count = table->Count < room ? table->Count : room;
    long mine = 0;
    for (size_t i = 0; i < count; ++i)
      if (table->Handle[i].OwnerPid == pid) ++mine;
    return mine;
  }
  return -1;
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
    const long handleCount = GetProcessHandleCount(process, &handles) && handles > 0 ? static_cast<long>(handles) : -1;
    const long tableCount = TableHandles(pid);
    SetLastError(0);
    const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    const bool gdiKnown = gdi != 0 || GetLastError() == 0;
    SetLastError(0);
    const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    const bool userKnown = user != 0 || GetLastError() == 0;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    const bool memoryKnown = GetProcessMemoryInfo(process, &memory, sizeof memory) != 0;
    std::printf("sample n=%ld tick=%lu handles=%ld tablehandles=%ld gdi=%ld user=%ld workingset=%lld private=%lld\n", i,
                static_cast<unsigned long>(GetTickCount()), handleCount, tableCount,
                gdiKnown ? static_cast<long>(gdi) : -1L, userKnown ? static_cast<long>(user) : -1L,
                memoryKnown ? static_cast<long long>(memory.WorkingSetSize) : -1LL,
                memoryKnown ? static_cast<long long>(memory.PagefileUsage) : -1LL);
    std::fflush(stdout);
  }
  CloseHandle(process);
  return 0;
}

// Looks at and sets what the saver's password handling depends on, for the Wine tests.
//   lf_password_probe version          "platform ID MAJOR.MINOR" from GetVersionExA
//   lf_password_probe running          "running 0|1": SPI_GETSCREENSAVERRUNNING
//   lf_password_probe setrunning 0|1   sets the screen-saver-running state
//   lf_password_probe password absent  deletes "Control Panel\Desktop" ScreenSaveUsePassword
//   lf_password_probe password dword N stores it as a REG_DWORD
//   lf_password_probe password binary HEX   stores the bytes, e.g. "01" or "0100000000"
//   lf_password_probe password sz TEXT stores it as a REG_SZ
//   lf_password_probe foreground       the foreground window's handle in decimal
//   lf_password_probe iswindow N       "1" when N is a window, "0" otherwise
//   lf_password_probe window MS        a visible top-level window brought to the
//                                      foreground; prints its handle, lives MS ms
//   lf_password_probe saver            the full-screen saver window's handle, 0 if none
//   lf_password_probe key HWND         posts a plain key press (space) to window HWND
// Exit code 0 on success, 1 when a system call failed, 64 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../helpers/white_window_class.h"

namespace {

constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kUsePassword[] = "ScreenSaveUsePassword";

unsigned long Number(HWND window) {
  return static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window));
}

HWND WindowFrom(const char* text) {
  return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoul(text, nullptr, 10)));
}

int Version() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return 1;
  std::printf("platform %lu %lu.%lu\n", version.dwPlatformId, version.dwMajorVersion,
              version.dwMinorVersion);
  return 0;
}

int Running() {
  BOOL running = FALSE;
  if (!SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0)) return 1;
  std::printf("running %d\n", running ? 1 : 0);
  return 0;
}

int SetRunning(const char* value) {
  UINT previous = 0;
  return SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, std::strcmp(value, "1") == 0 ? 1 : 0,
                               &previous, 0)
             ? 0
             : 1;
}

bool ParseHex(const char* text, BYTE* bytes, DWORD* size) {
  const size_t length = std::strlen(text);
  if (length % 2 != 0 || length / 2 > 16) return false;
  for (size_t i = 0; i < length; i += 2) {
    char pair[3] = {text[i], text[i + 1], '\0'};
    char* end = nullptr;
    bytes[i / 2] = static_cast<BYTE>(std::strtoul(pair, &end, 16));
    if (end != pair + 2) return false;
  }
  *size = static_cast<DWORD>(length / 2);
  return true;
}

int Password(int argc, char** argv) {
  if (argc < 3) return 64;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return 1;
  LONG result = ERROR_SUCCESS;
  if (std::strcmp(argv[2], "absent") == 0) {
    result = RegDeleteValueA(key, kUsePassword);
    if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
  } else if (std::strcmp(argv[2], "dword") == 0 && argc > 3) {
    const DWORD value = std::strtoul(argv[3], nullptr, 10);
    result = RegSetValueExA(key, kUsePassword, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value);
  } else if (std::strcmp(argv[2], "binary") == 0 && argc > 3) {
    BYTE bytes[16];
    DWORD size = 0;
    if (!ParseHex(argv[3], bytes, &size)) {
      RegCloseKey(key);
      return 64;
    }
    result = RegSetValueExA(key, kUsePassword, 0, REG_BINARY, bytes, size);
  } else if (std::strcmp(argv[2], "sz") == 0 && argc > 3) {
    result = RegSetValueExA(key, kUsePassword, 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[3]),
                            static_cast<DWORD>(std::strlen(argv[3]) + 1));
  } else {
    RegCloseKey(key);
    return 64;
  }
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? 0 : 1;
}

int Window(long lifetime) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!RegisterWhiteClass("LumenfallPasswordOwner")) return 1;
  HWND window = CreateWindowExA(0, "LumenfallPasswordOwner", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                40, 40, 240, 160, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  SetForegroundWindow(window);
  std::printf("%lu\n", Number(window));
  std::fflush(stdout);
  const DWORD end = GetTickCount() + static_cast<DWORD>(lifetime);
  MSG message;
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(10);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 64;
  const char* command = argv[1];
  if (std::strcmp(command, "version") == 0) return Version();
  if (std::strcmp(command, "running") == 0) return Running();
  if (std::strcmp(command, "setrunning") == 0 && argc > 2) return SetRunning(argv[2]);
  if (std::strcmp(command, "password") == 0) return Password(argc, argv);
  if (std::strcmp(command, "foreground") == 0) {
    std::printf("%lu\n", Number(GetForegroundWindow()));
    return 0;
  }
  if (std::strcmp(command, "iswindow") == 0 && argc > 2) {
    std::printf("%d\n", IsWindow(WindowFrom(argv[2])) ? 1 : 0);
    return 0;
  }
  if (std::strcmp(command, "saver") == 0) {
    std::printf("%lu\n", Number(FindWindowA("WindowsScreenSaverClass", "Screen Saver")));
    return 0;
  }
  if (std::strcmp(command, "key") == 0 && argc > 2) {
    HWND window = WindowFrom(argv[2]);
    if (!PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0x00390001)) return 1;
    PostMessageA(window, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001u));
    return 0;
  }
  if (std::strcmp(command, "window") == 0 && argc > 2) return Window(std::strtol(argv[2], nullptr, 10));
  return 64;
}

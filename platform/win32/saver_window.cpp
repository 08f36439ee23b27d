// The saver window: registration, creation, the message loop, the class procedure
// and the closing rules.
#include <cstdlib>

#include "platform/win32/passwords.h"
#include "platform/win32/saver_shell.h"
#include "platform/win32/screen_layout.h"

namespace lumenfall {

namespace {

constexpr UINT kSaverClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;  // 0x2B
constexpr DWORD kFullScreenStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD kPreviewStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;

void HideCursor() { SetCursor(nullptr); }

// The input method is switched off only when the process already has it loaded.
void DetachInputMethod(HWND window) {
  SaverShellState& s = saverShell;
  s.imeLibrary = GetModuleHandleA("IMM32.DLL");
  if (s.imeLibrary == nullptr) return;
  s.associateContext = reinterpret_cast<ImmAssociateContextProc>(
      reinterpret_cast<void*>(GetProcAddress(s.imeLibrary, "ImmAssociateContext")));
  if (s.associateContext != nullptr) s.previousInputContext = s.associateContext(window, nullptr);
}

void RestoreInputMethod(HWND window) {
  SaverShellState& s = saverShell;
  if (s.imeLibrary != nullptr && s.associateContext != nullptr && s.previousInputContext != nullptr)
    s.associateContext(window, s.previousInputContext);
}

void RecordCursor() {
  POINT p{0, 0};
  if (GetCursorPos(&p)) saverShell.cursorReference = p;
}

}  // namespace

int RunSaver(HWND parent) {
  SaverShellState& s = saverShell;
  WNDCLASSA windowClass{};
  windowClass.style = kSaverClassStyle;
  windowClass.lpfnWndProc = SaverWindowProc;
  windowClass.hInstance = s.moduleInstance;
  windowClass.hIcon = LoadIconA(s.moduleInstance, MAKEINTRESOURCEA(100));
  windowClass.hCursor = nullptr;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kSaverClassName;

  DWORD exStyle = 0;
  DWORD style = 0;
  const char* title = nullptr;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  if (parent != nullptr) {
    RECT client{};
    GetClientRect(parent, &client);
    width = client.right;
    height = client.bottom;
    s.inPreview = true;
    title = kPreviewTitle;
    style = kPreviewStyle;
  } else {
    // Every monitor is covered: the window spans the virtual screen.
    const RECT screen = VirtualScreenRect();
    left = screen.left;
    top = screen.top;
    width = screen.right - screen.left;
    height = screen.bottom - screen.top;
    HWND running = FindWindowA(kSaverClassName, kFullScreenTitle);
    if (running != nullptr && IsWindow(running)) {
      SetForegroundWindow(running);
      return 0;
    }
    LoadPasswordVerifier();
    title = kFullScreenTitle;
    style = kFullScreenStyle;
    exStyle = WS_EX_TOPMOST;
  }

  if (RegisterClassA(&windowClass) != 0) {
    s.saverWindow = CreateWindowExA(exStyle, kSaverClassName, title, style, left, top, width, height,
                                    parent, nullptr, s.moduleInstance, nullptr);
  }
  int exitCode = 0;
  if (s.saverWindow != nullptr) {
    if (!s.inPreview) SetForegroundWindow(s.saverWindow);
    MSG message{};
    // GetMessageA gives -1 on failure; that ends the loop as well.
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (message.message == WM_QUIT) exitCode = static_cast<int>(message.wParam);
  }
  UnloadPasswordVerifier();
  return exitCode;
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SaverShellState& s = saverShell;
  switch (message) {
    case WM_CREATE:
      DetachInputMethod(window);
      RecordCursor();
      if (!s.inPreview) HideCursor();
      break;
    case WM_DESTROY:
      RestoreInputMethod(window);
      PostQuitMessage(0);
      break;
    case WM_SETTEXT:
      return 0;  // the title never changes
    case WM_PAINT:
      if (s.closingApproved) return DefWindowProcA(window, message, wParam, lParam);
      if (!s.inPreview) HideCursor();
      break;
    case WM_HELP:
    case WM_CONTEXTMENU:
      if (s.inPreview) {
        HWND parent = GetParent(window);
        if (parent != nullptr && IsWindow(parent))
          PostMessageA(parent, message, reinterpret_cast<WPARAM>(parent), lParam);
        return 1;
      }
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (s.closingApproved) return DefWindowProcA(window, message, wParam, lParam);
      break;
    case WM_SYSCOMMAND:
      if (!s.inPreview && (wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW ||
                           wParam == SC_SCREENSAVE))
        return 0;
      break;
    case WM_TIMER:
      if (s.closingApproved) return 0;  // no more frames
      Sleep(0);
      break;
    default:
      break;
  }
  return EffectWindowProc(window, message, wParam, lParam);
}

LRESULT DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SaverShellState& s = saverShell;
  if (s.inPreview || s.closingApproved) return DefWindowProcA(window, message, wParam, lParam);

  if (message == WM_CLOSE) {
    if (s.is95Family && !VerifyPasswordOnClose(window)) {
      RecordCursor();
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
  if (message == kVerifyMessage && s.is95Family) {
    if (s.verifyPassword != nullptr) return s.verifyPassword(window);
    return 1;
  }
  if (s.verifying) return DefWindowProcA(window, message, wParam, lParam);

  switch (message) {
    case WM_SHOWWINDOW:
      if (wParam != 0) HideCursor();
      break;
    case WM_ACTIVATEAPP:
      if (wParam == 0) PostMessageA(window, WM_CLOSE, 0, 0);
      break;
    case WM_SETCURSOR:
      HideCursor();
      return 1;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      PostMessageA(window, WM_CLOSE, 0, 0);
      break;
    case WM_MOUSEMOVE: {
      // Measured from the cursor itself; the message's own coordinates are not used.
      POINT p{0, 0};
      if (GetCursorPos(&p)) {
        const long long distance = std::llabs(static_cast<long long>(p.x) - s.cursorReference.x) +
                                   std::llabs(static_cast<long long>(p.y) - s.cursorReference.y);
        if (distance > static_cast<long long>(s.moveThreshold)) {
          PostMessageA(window, WM_CLOSE, 0, 0);
          s.cursorReference = p;
        }
      }
      break;
    }
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace lumenfall

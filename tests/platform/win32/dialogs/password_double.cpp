// A test PASSWORD.CPL: exports VerifyScreenSavePwd like the Windows 95 family's
// library, logs every call (double_log.h) and answers as the test tells it:
//   LUMENFALL_VERIFY_ANSWERS  answers of the calls in order, e.g. "0,1"; 1 after the list
//   LUMENFALL_VERIFY_HOLD_MS  how long its modal dialog stays up (default 300)
//   LUMENFALL_VERIFY_POKE     "1": while the first dialog is up, post a close request,
//                             a key press and a mouse click to the saver window
//   LUMENFALL_VERIFY_MOVES    after the first refused call, move the mouse this many ms
//                             after it returned, e.g. "40,450"
// Its dialog is a real modal dialog owned by the saver window, with its own nested
// message loop, so the saver's procedures are re-entered as with the real one.
// Built with LUMENFALL_DOUBLE_NO_ENTRY it exports nothing by that name.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "double_log.h"

namespace {

using lumenfall::doubles::Handle;
using lumenfall::doubles::Log;
using lumenfall::doubles::ScreenSaverRunning;

HMODULE thisModule = nullptr;
int calls = 0;
int depth = 0;
bool movesStarted = false;

constexpr UINT_PTR kEndTimer = 1;
constexpr UINT_PTR kPokeTimer = 2;

struct DialogState {
  HWND saver;
  BOOL answer;
  UINT hold;
  bool poke;
};

BOOL AnswerOf(int call) {
  char list[256];
  lumenfall::doubles::Env("LUMENFALL_VERIFY_ANSWERS", list, sizeof list);
  const char* p = list;
  for (int i = 1; *p != '\0'; ++i) {
    const long value = std::strtol(p, nullptr, 10);
    if (i == call) return value != 0 ? TRUE : FALSE;
    const char* comma = std::strchr(p, ',');
    if (comma == nullptr) break;
    p = comma + 1;
  }
  return TRUE;
}

// Moves the cursor to screen pixel (x, y) as hardware input would.
void MoveCursor(int x, int y) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
}

struct Moves {
  DWORD returned;
  long offsets[8];
  int count;
};

DWORD WINAPI MoveThread(void* parameter) {
  Moves* moves = static_cast<Moves*>(parameter);
  for (int i = 0; i < moves->count; ++i) {
    const DWORD due = moves->returned + static_cast<DWORD>(moves->offsets[i]);
    const DWORD now = GetTickCount();
    if (static_cast<LONG>(due - now) > 0) Sleep(due - now);
    // Far from the last position each time, so every move crosses the 4-pixel limit.
    const int x = 100 + 60 * (i + 1);
    const int y = 80 + 50 * (i + 1);
    Log("move index=%d x=%d y=%d", i + 1, x, y);
    MoveCursor(x, y);
  }
  delete moves;
  return 0;
}

void StartMoves(DWORD returned) {
  char list[128];
  lumenfall::doubles::Env("LUMENFALL_VERIFY_MOVES", list, sizeof list);
  if (list[0] == '\0') return;
  Moves* moves = new Moves{returned, {}, 0};
  for (const char* p = list; *p != '\0' && moves->count < 8;) {
    moves->offsets[moves->count++] = std::strtol(p, nullptr, 10);
    const char* comma = std::strchr(p, ',');
    if (comma == nullptr) break;
    p = comma + 1;
  }
  HANDLE thread = CreateThread(nullptr, 0, MoveThread, moves, 0, nullptr);
  if (thread == nullptr) {
    delete moves;
    return;
  }
  CloseHandle(thread);
}

INT_PTR CALLBACK VerifierProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<DialogState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetTimer(dialog, kEndTimer, state->hold, nullptr);
      if (state->poke) SetTimer(dialog, kPokeTimer, state->hold / 3, nullptr);
      return TRUE;
    }
    case WM_TIMER: {
      auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
      KillTimer(dialog, wParam);
      if (wParam == kPokeTimer) {
        // A close request, a key press and a click while the dialog is up: none of
        // them may close the saver or open a second dialog.
        PostMessageA(state->saver, WM_CLOSE, 0, 0);
        PostMessageA(state->saver, WM_KEYDOWN, VK_SPACE, 0x00390001);
        PostMessageA(state->saver, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        SendMessageA(state->saver, WM_CLOSE, 0, 0);
        Log("poke saver=%lu alive=%d", Handle(state->saver), IsWindow(state->saver) ? 1 : 0);
      } else if (wParam == kEndTimer) {
        EndDialog(dialog, state->answer);
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

// A captionless modal dialog with no controls, built in memory.
INT_PTR RunVerifierDialog(DialogState* state) {
  alignas(4) WORD words[32] = {};
  auto* header = reinterpret_cast<DLGTEMPLATE*>(words);
  header->style = WS_POPUP | WS_BORDER | WS_VISIBLE | DS_MODALFRAME;
  header->cdit = 0;
  header->x = 10;
  header->y = 10;
  header->cx = 120;
  header->cy = 40;
  // Menu, class and title follow the header: all empty.
  return DialogBoxIndirectParamA(thisModule, header, state->saver, VerifierProc,
                                 reinterpret_cast<LPARAM>(state));
}

}  // namespace

#ifndef LUMENFALL_DOUBLE_NO_ENTRY
extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND window) {
#else
extern "C" __declspec(dllexport) BOOL WINAPI SomethingElse(HWND window) {
#endif
  const int call = ++calls;
  ++depth;
  char className[64] = "";
  char title[64] = "";
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  Log("verify call=%d depth=%d window=%lu class=\"%s\" title=\"%s\" running=%d", call, depth,
      Handle(window), className, title, ScreenSaverRunning());
  DialogState state{window, AnswerOf(call),
                    static_cast<UINT>(lumenfall::doubles::EnvNumber("LUMENFALL_VERIFY_HOLD_MS", 300)),
                    call == 1 && lumenfall::doubles::EnvNumber("LUMENFALL_VERIFY_POKE", 0) == 1};
  const INT_PTR shown = RunVerifierDialog(&state);
  const BOOL answer = shown == -1 ? FALSE : state.answer;
  Log("return call=%d answer=%d dialog=%d", call, answer ? 1 : 0, shown == -1 ? 0 : 1);
  if (!answer && !movesStarted) {
    movesStarted = true;
    StartMoves(GetTickCount());
  }
  --depth;
  return answer;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    thisModule = instance;
    Log("attach library=password running=%d", ScreenSaverRunning());
  } else if (reason == DLL_PROCESS_DETACH) {
    Log("detach library=password calls=%d running=%d", calls, ScreenSaverRunning());
  }
  return TRUE;
}

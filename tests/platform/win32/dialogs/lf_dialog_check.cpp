// Reads lumenfall.scr's resources back and drives its running dialogs, for the Wine
// tests. Output is one record a line of key=value fields; texts are quoted with C
// escapes.
//   lf_dialog_check resources FILE   the dialogs, icon group and string of FILE, loaded
//                                    as a data file
//   lf_dialog_check drive STEP...    acts on the configuration dialog of another
//                                    process, one step after the other (see RunStep)
//   lf_dialog_check flags            the stored settings word: "flags absent" or
//                                    "flags type=T size=N bytes=HEX"
//   lf_dialog_check setflags absent | binary HEX | dword N
// Exit code 0 when every step worked, 1 when one failed (after printing why), 64 for
// a bad command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kSettingsKey[] = "Software\\Tessel\\Lumenfall\\1.00.000";
constexpr int kDeepBlue = 1001;
constexpr int kMalachiRed = 1002;
constexpr int kLowQuality = 1009;
constexpr int kOk = 1000;

unsigned long Number(HWND window) {
  return static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window));
}

// ---- Reading the resources ----

std::string Quote(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == L'\n') {
      out += "\\n";
    } else if (c == L'\r') {
      out += "\\r";
    } else if (c == L'\t') {
      out += "\\t";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[16];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    }
  }
  return out + "\"";
}

// A bounded reader over one resource's bytes; every read past the end fails and
// marks the reader bad.
class Reader {
 public:
  Reader(const BYTE* data, DWORD size) : data_(data), size_(size) {}
  bool Good() const { return good_; }
  DWORD Offset() const { return offset_; }
  WORD Word() {
    if (!Need(2)) return 0;
    const WORD value = static_cast<WORD>(data_[offset_] | data_[offset_ + 1] << 8);
    offset_ += 2;
    return value;
  }
  DWORD Dword() {
    const DWORD low = Word();
    const DWORD high = Word();
    return low | high << 16;
  }
  short Short() { return static_cast<short>(Word()); }
  void AlignDword() {
    while (good_ && offset_ % 4 != 0) Word();
  }
  void Skip(DWORD bytes) {
    if (Need(bytes)) offset_ += bytes;
  }
  std::wstring String() {
    std::wstring text;
    for (WORD c = Word(); good_ && c != 0; c = Word()) text += static_cast<wchar_t>(c);
    return text;
  }
  // A name or ordinal field: "none", "#XXXX" or a quoted text.
  std::string NameOrOrdinal() {
    const WORD first = Word();
    if (!good_) return "bad";
    if (first == 0x0000) return "none";
    if (first == 0xFFFF) {
      char ordinal[16];
      std::snprintf(ordinal, sizeof ordinal, "#%04x", static_cast<unsigned>(Word()));
      return ordinal;
    }
    std::wstring text(1, static_cast<wchar_t>(first));
    text += String();
    return Quote(text);
  }

 private:
  bool Need(DWORD bytes) {
    if (!good_ || offset_ > size_ || size_ - offset_ < bytes) good_ = false;
    return good_;
  }
  const BYTE* data_;
  DWORD size_;
  DWORD offset_ = 0;
  bool good_ = true;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
  auto* list = reinterpret_cast<std::string*>(param);
  char text[8];
  std::snprintf(text, sizeof text, "%s%04x", list->empty() ? "" : ",", static_cast<unsigned>(language));
  *list += text;
  return TRUE;
}

// The languages a resource exists in, e.g. "0809"; empty when it does not exist.
std::string Languages(HMODULE module, LPCSTR type, WORD id) {
  std::string list;
  EnumResourceLanguagesA(module, type, MAKEINTRESOURCEA(id), CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&list));
  return list;
}

bool Load(HMODULE module, LPCSTR type, WORD id, const BYTE** data, DWORD* size) {
  HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK));
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return false;
  *data = static_cast<const BYTE*>(LockResource(loaded));
  *size = SizeofResource(module, found);
  return *data != nullptr;
}

bool DumpDialog(HMODULE module, WORD id) {
  std::printf("resource type=dialog id=%u languages=%s\n", id, Languages(module, RT_DIALOG, id).c_str());
  const BYTE* data = nullptr;
  DWORD size = 0;
  if (!Load(module, RT_DIALOG, id, &data, &size)) {
    std::printf("error dialog=%u not found in English (United Kingdom)\n", id);
    return false;
  }
  Reader r(data, size);
  const DWORD style = r.Dword();
  if ((style & 0xFFFF0000) == 0xFFFF0000 && (style & 0xFFFF) == 1) {
    std::printf("dialog id=%u format=extended\n", id);
    return true;
  }
  const DWORD exStyle = r.Dword();
  const WORD count = r.Word();
  const short x = r.Short(), y = r.Short(), cx = r.Short(), cy = r.Short();
  const std::string menu = r.NameOrOrdinal();
  const std::string windowClass = r.NameOrOrdinal();
  const std::string caption = Quote(r.String());
  std::string font = "pointsize=none face=none";
  if (style & DS_SETFONT) {
    const WORD points = r.Word();
    font = "pointsize=" + std::to_string(points) + " face=" + Quote(r.String());
  }
  std::printf("dialog id=%u format=plain style=%08lx exstyle=%08lx items=%u x=%d y=%d cx=%d cy=%d "
              "menu=%s class=%s caption=%s %s\n",
              id, style, exStyle, count, x, y, cx, cy, menu.c_str(), windowClass.c_str(),
              caption.c_str(), font.c_str());
  for (int i = 1; i <= count && r.Good(); ++i) {
    r.AlignDword();
    const DWORD itemStyle = r.Dword();
    const DWORD itemExStyle = r.Dword();
    const short ix = r.Short(), iy = r.Short(), icx = r.Short(), icy = r.Short();
    const WORD itemId = r.Word();
    const std::string itemClass = r.NameOrOrdinal();
    const std::string text = r.NameOrOrdinal();
    const WORD extra = r.Word();
    r.Skip(extra);
    std::printf("item dialog=%u index=%d id=%u class=%s text=%s style=%08lx exstyle=%08lx x=%d y=%d "
                "cx=%d cy=%d extra=%u\n",
                id, i, itemId, itemClass.c_str(), text.c_str(), itemStyle, itemExStyle, ix, iy,
                icx, icy, extra);
  }
  if (!r.Good()) {
    std::printf("error dialog=%u template is truncated\n", id);
    return false;
  }
  std::printf("end dialog=%u used=%lu size=%lu\n", id, static_cast<unsigned long>(r.Offset()),
              static_cast<unsigned long>(size));
  return true;
}

bool DumpIcon(HMODULE module, WORD id) {
  std::printf("resource type=group_icon id=%u languages=%s\n", id,
              Languages(module, RT_GROUP_ICON, id).c_str());
  const BYTE* data = nullptr;
  DWORD size = 0;
  if (!Load(module, RT_GROUP_ICON, id, &data, &size)) {
    std::printf("error icon=%u not found in English (United Kingdom)\n", id);
    return false;
  }
  Reader r(data, size);
  r.Word();  // reserved
  const WORD type = r.Word();
  const WORD count = r.Word();
  std::printf("icongroup id=%u type=%u count=%u\n", id, type, count);
  for (int i = 0; i < count && r.Good(); ++i) {
    const BYTE* entry = data + r.Offset();
    r.Skip(4);
    const WORD planes = r.Word();
    const WORD bits = r.Word();
    const DWORD bytes = r.Dword();
    const WORD image = r.Word();
    if (!r.Good()) break;
    std::printf("icon index=%d width=%u height=%u colours=%u planes=%u bits=%u bytes=%lu\n", i + 1,
                entry[0], entry[1], entry[2], planes, bits, static_cast<unsigned long>(bytes));
    // The image itself: its bitmap header must agree with the directory.
    const BYTE* pixels = nullptr;
    DWORD pixelsSize = 0;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(image), RT_ICON);
    if (found != nullptr && (pixels = static_cast<const BYTE*>(LockResource(LoadResource(module, found)))) != nullptr) {
      pixelsSize = SizeofResource(module, found);
      Reader header(pixels, pixelsSize);
      const DWORD headerSize = header.Dword();
      const DWORD width = header.Dword();
      const DWORD height = header.Dword();
      header.Word();
      const WORD bitCount = header.Word();
      if (header.Good())
        std::printf("iconimage index=%d header=%lu width=%lu height=%lu bits=%u size=%lu\n", i + 1,
                    static_cast<unsigned long>(headerSize), static_cast<unsigned long>(width),
                    static_cast<unsigned long>(height), bitCount, static_cast<unsigned long>(pixelsSize));
    }
  }
  HICON icon = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, 32, 32, 0));
  std::printf("iconload id=%u loaded=%d\n", id, icon != nullptr ? 1 : 0);
  if (icon != nullptr) DestroyIcon(icon);
  return r.Good();
}

bool DumpString(HMODULE module, WORD id) {
  // Strings live in blocks of 16: block id / 16 + 1, entry id % 16.
  const WORD block = static_cast<WORD>(id / 16 + 1);
  std::printf("resource type=string_block id=%u languages=%s\n", block,
              Languages(module, RT_STRING, block).c_str());
  const BYTE* data = nullptr;
  DWORD size = 0;
  if (!Load(module, RT_STRING, block, &data, &size)) {
    std::printf("error string=%u not found in English (United Kingdom)\n", id);
    return false;
  }
  Reader r(data, size);
  for (int entry = 0; entry < 16 && r.Good(); ++entry) {
    const WORD length = r.Word();
    std::wstring text;
    for (WORD i = 0; i < length && r.Good(); ++i) text += static_cast<wchar_t>(r.Word());
    if (length != 0 && r.Good())
      std::printf("string id=%u text=%s\n", static_cast<unsigned>((block - 1) * 16 + entry),
                  Quote(text).c_str());
  }
  return r.Good();
}

int Resources(const char* file) {
  HMODULE module = LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    std::printf("error cannot load %s (%lu)\n", file, GetLastError());
    return 1;
  }
  bool ok = DumpDialog(module, 2003);
  ok = DumpDialog(module, 104) && ok;
  ok = DumpIcon(module, 100) && ok;
  ok = DumpString(module, 1) && ok;
  FreeLibrary(module);
  return ok ? 0 : 1;
}

// ---- Driving the dialogs ----

struct Found {
  HWND config = nullptr;
  HWND about = nullptr;
};

BOOL CALLBACK FindDialogs(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<Found*>(param);
  char className[16] = "";
  char title[32] = "";
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  if (std::strcmp(className, "#32770") != 0 || std::strcmp(title, "Lumenfall") != 0) return TRUE;
  if (!IsWindowVisible(window)) return TRUE;
  // Both dialogs carry the same caption; only the configuration dialog has radio buttons.
  if (GetDlgItem(window, kDeepBlue) != nullptr) {
    found->config = window;
  } else if (GetDlgItem(window, kOk) != nullptr) {
    found->about = window;
  }
  return TRUE;
}

Found Look() {
  Found found;
  EnumWindows(FindDialogs, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Waits up to timeoutMs for the dialog to appear (want true) or go (want false).
bool WaitFor(bool about, bool want, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const Found found = Look();
    const bool present = (about ? found.about : found.config) != nullptr;
    if (present == want) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(20);
  }
}

// Lets the dialog's thread work through what was posted to it.
void Settle(HWND window) {
  Sleep(150);
  DWORD_PTR ignored = 0;
  if (window != nullptr && IsWindow(window))
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored);
  Sleep(50);
}

int Checked(HWND dialog, int control) {
  return IsDlgButtonChecked(dialog, control) == BST_CHECKED ? 1 : 0;
}

void PrintState() {
  const Found found = Look();
  if (found.config == nullptr) {
    std::printf("state config=0 about=%d\n", found.about != nullptr ? 1 : 0);
    return;
  }
  std::printf("state config=1 about=%d malachi=%d deepblue=%d lowquality=%d\n",
              found.about != nullptr ? 1 : 0, Checked(found.config, kMalachiRed),
              Checked(found.config, kDeepBlue), Checked(found.config, kLowQuality));
}

// Escape as the keyboard gives it: to the control that has the focus in the dialog.
void PressEscape(HWND dialog) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  HWND target = dialog;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus != nullptr)
    target = info.hwndFocus;
  PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageA(target, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
}

// One step; false (with a line saying why) when it could not be done.
bool RunStep(int argc, char** argv, int* i) {
  const std::string step = argv[*i];
  const Found found = Look();
  const bool about = step.rfind("about-", 0) == 0;
  HWND dialog = about ? found.about : found.config;
  const std::string action = about ? step.substr(6) : step;

  if (action == "wait") {
    if (!WaitFor(about, true, 20000)) {
      std::printf("error %s dialog did not appear\n", about ? "about" : "config");
      return false;
    }
    const Found now = Look();
    HWND window = about ? now.about : now.config;
    HWND owner = GetWindow(window, GW_OWNER);
    RECT r{};
    GetWindowRect(window, &r);
    std::printf("%s found owner=%lu owner_is_config=%d left=%ld top=%ld right=%ld bottom=%ld\n",
                about ? "about" : "config", Number(owner),
                owner != nullptr && owner == now.config ? 1 : 0, r.left, r.top, r.right, r.bottom);
    return true;
  }
  if (action == "gone") {
    if (!WaitFor(about, false, 10000)) {
      std::printf("error %s dialog is still open\n", about ? "about" : "config");
      return false;
    }
    std::printf("%s gone\n", about ? "about" : "config");
    return true;
  }
  if (action == "state") {
    PrintState();
    return true;
  }
  if (action == "sleep" && *i + 1 < argc) {
    Sleep(static_cast<DWORD>(std::strtoul(argv[++*i], nullptr, 10)));
    return true;
  }
  if (dialog == nullptr) {
    std::printf("error %s: no %s dialog\n", step.c_str(), about ? "about" : "config");
    return false;
  }
  if (action == "click" && *i + 1 < argc) {
    const int id = std::atoi(argv[++*i]);
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
      std::printf("error no control %d\n", id);
      return false;
    }
    PostMessageA(control, BM_CLICK, 0, 0);
  } else if (action == "escape") {
    PressEscape(dialog);
  } else if (action == "close") {
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else {
    std::printf("error unknown step %s\n", step.c_str());
    return false;
  }
  Settle(dialog);
  return true;
}

int Drive(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    if (!RunStep(argc, argv, &i)) return 1;
    std::fflush(stdout);
  }
  return 0;
}

// ---- The stored settings word ----

int Flags() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    std::printf("flags absent\n");
    return 0;
  }
  BYTE bytes[64];
  DWORD type = 0;
  DWORD size = sizeof bytes;
  const LONG result = RegQueryValueExA(key, "Flags", nullptr, &type, bytes, &size);
  RegCloseKey(key);
  if (result == ERROR_FILE_NOT_FOUND) {
    std::printf("flags absent\n");
    return 0;
  }
  if (result != ERROR_SUCCESS) return 1;
  std::printf("flags type=%lu size=%lu bytes=", type, size);
  for (DWORD i = 0; i < size; ++i) std::printf("%02x", bytes[i]);
  std::printf("\n");
  return 0;
}

int SetFlags(int argc, char** argv) {
  if (argc < 3) return 64;
  if (std::strcmp(argv[2], "absent") == 0) {
    const LONG result = RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? 0 : 1;
  }
  if (argc < 4) return 64;
  BYTE bytes[16];
  DWORD size = 0;
  DWORD type = REG_BINARY;
  if (std::strcmp(argv[2], "dword") == 0) {
    const DWORD value = std::strtoul(argv[3], nullptr, 0);
    std::memcpy(bytes, &value, sizeof value);
    size = sizeof value;
    type = REG_DWORD;
  } else if (std::strcmp(argv[2], "binary") == 0) {
    const size_t length = std::strlen(argv[3]);
    if (length % 2 != 0 || length / 2 > sizeof bytes) return 64;
    for (size_t j = 0; j < length; j += 2) {
      char pair[3] = {argv[3][j], argv[3][j + 1], '\0'};
      bytes[j / 2] = static_cast<BYTE>(std::strtoul(pair, nullptr, 16));
    }
    size = static_cast<DWORD>(length / 2);
  } else {
    return 64;
  }
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return 1;
  const LONG result = RegSetValueExA(key, "Flags", 0, type, bytes, size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 64;
  int result = 64;
  if (std::strcmp(argv[1], "resources") == 0 && argc > 2) result = Resources(argv[2]);
  else if (std::strcmp(argv[1], "drive") == 0) result = Drive(argc, argv);
  else if (std::strcmp(argv[1], "flags") == 0) result = Flags();
  else if (std::strcmp(argv[1], "setflags") == 0) result = SetFlags(argc, argv);
  std::fflush(stdout);
  return result;
}

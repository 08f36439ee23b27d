// Checks the registry settings store against the real (Wine) registry. Run it in a
// private prefix: it deletes and rewrites HKCU\Software\Tessel. Prints one line per
// failed check and exits with the number of failures (0 when all hold).
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/win32/registry_store.h"
#include "settings/settings_store.h"

namespace {

using namespace lumenfall;

int failures = 0;
constexpr char kKey[] = "Software\\Tessel\\Lumenfall\\1.00.000";

void Check(bool condition, const char* what) {
  if (!condition) {
    std::printf("FAILED: %s\n", what);
    ++failures;
  }
}

void DeleteTree(const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    char child[256];
    DWORD size = sizeof child;
    while (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      char full[512];
      std::snprintf(full, sizeof full, "%s\\%s", path, child);
      DeleteTree(full);
      size = sizeof child;
    }
    RegCloseKey(key);
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, path);
}

bool KeyExists(const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

void Store(DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  RegSetValueExA(key, "Flags", 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

uint32_t LoadFrom(uint32_t start) {
  RegistrySettingsStore store;
  SettingsState state;
  state.currentFlags = start;
  LoadSettings(state, store);
  return state.currentFlags;
}

}  // namespace

int main() {
  RegistrySettingsStore store;
  DeleteTree("Software\\Tessel");

  // Nothing stored: the default word, and the registry stays untouched.
  Check(LoadFrom(0) == 1, "no key loads the default 1");
  Check(LoadFrom(0x12345678) == 1, "a failed read replaces the word with 1");
  Check(!KeyExists("Software\\Tessel"), "loading creates no key");

  // Saving creates the whole path and writes four binary bytes, low byte first.
  SettingsState state;
  state.currentFlags = 1;
  SaveSettings(state, store);
  {
    HKEY key = nullptr;
    Check(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS,
          "saving creates the key");
    BYTE bytes[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    DWORD type = 0, size = sizeof bytes;
    Check(RegQueryValueExA(key, "Flags", nullptr, &type, bytes, &size) == ERROR_SUCCESS,
          "the saved value reads back");
    Check(type == REG_BINARY, "the value is REG_BINARY");
    Check(size == 4, "the value has 4 bytes");
    const BYTE expected[4] = {0x01, 0x00, 0x00, 0x00};
    Check(std::memcmp(bytes, expected, 4) == 0, "the bytes are 01 00 00 00");
    RegCloseKey(key);
  }
  state.currentFlags = 0x10000004;
  SaveSettings(state, store);
  Check(LoadFrom(0) == 0x10000004, "a saved word loads back");

  // The stored type is not examined; at most four bytes are accepted.
  const DWORD deepBlue = 4;
  Store(REG_DWORD, &deepBlue, sizeof deepBlue);
  Check(LoadFrom(0) == 4, "a REG_DWORD 4 reads like the binary form");
  const BYTE five[5] = {4, 0, 0, 0, 0};
  Store(REG_BINARY, five, sizeof five);
  Check(LoadFrom(0) == 1, "a 5-byte value is refused and gives 1");
  const BYTE two[2] = {0x04, 0x01};
  Store(REG_BINARY, two, sizeof two);
  Check(LoadFrom(0) == 0x0104, "a 2-byte value fills the low bytes of a zero word");
  Check(LoadFrom(0xAABBCCDD) == 0xAABB0104, "a 2-byte value keeps the word's high bytes");

  // The generic operations: the key path limit and the doubled backslash.
  char longText[250];
  std::memset(longText, 'x', sizeof longText - 1);
  longText[sizeof longText - 1] = '\0';
  const uint32_t word = 7;
  Check(WriteRegistryValue(store, longText, "P", "V", "Flags", &word, 4) == 0,
        "an over-long path is refused");
  char longKey[300];
  std::snprintf(longKey, sizeof longKey, "Software\\%s", longText);
  Check(!KeyExists(longKey), "an over-long path touches nothing");
  Check(WriteRegistryValue(store, "Tessel", "", "Empty", "Flags", &word, 4) == 1,
        "an empty product still writes");
  Check(KeyExists("Software\\Tessel\\Empty"), "the empty product collapses to one backslash");
  uint32_t back = 0;
  Check(ReadRegistryValue(store, "Tessel", "", "Empty", "Flags", &back, 4) == 1 && back == 7,
        "the empty-product value reads back");
  Check(ReadRegistryValue(store, "Tessel", "Lumenfall", "1.00.000", "Missing", &back, 4) == 0,
        "a missing value fails the read");

  DeleteTree("Software\\Tessel");
  if (failures == 0) std::printf("all registry checks passed\n");
  return failures;
}

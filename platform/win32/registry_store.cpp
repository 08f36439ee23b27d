#include "platform/win32/registry_store.h"

#include <windows.h>

namespace lumenfall {

int RegistrySettingsStore::ReadValue(const char* keyPath, const char* valueName, void* data,
                                     uint32_t size) {
  if (keyPath == nullptr || data == nullptr) return 0;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return 0;
  DWORD length = size;
  const LONG result =
      RegQueryValueExA(key, valueName, nullptr, nullptr, static_cast<BYTE*>(data), &length);
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? 1 : 0;
}

int RegistrySettingsStore::WriteValue(const char* keyPath, const char* valueName,
                                      const void* data, uint32_t size) {
  if (keyPath == nullptr || (data == nullptr && size != 0)) return 0;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return 0;
  const LONG result =
      RegSetValueExA(key, valueName, 0, REG_BINARY, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? 1 : 0;
}

}  // namespace lumenfall

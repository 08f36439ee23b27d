#include "settings/settings_store.h"

#include <cstdio>
#include <cstring>

namespace lumenfall {

int BuildKeyPath(const char* maker, const char* product, const char* version,
                 char (&path)[kKeyPathSize]) {
  if (maker == nullptr || product == nullptr || version == nullptr) return 0;
  const size_t total = std::strlen(maker) + std::strlen(product) + std::strlen(version) + 12;
  if (total > kKeyPathSize) return 0;
  std::snprintf(path, kKeyPathSize, "Software\\%s\\%s\\%s", maker, product, version);
  // Collapse every run of backslashes to one.
  char* doubled;
  while ((doubled = std::strstr(path, "\\\\")) != nullptr) {
    std::memmove(doubled, doubled + 1, std::strlen(doubled + 1) + 1);
  }
  return 1;
}

int ReadRegistryValue(SettingsStore& store, const char* maker, const char* product,
                      const char* version, const char* valueName, void* data, uint32_t size) {
  char path[kKeyPathSize];
  if (!BuildKeyPath(maker, product, version, path)) return 0;
  return store.ReadValue(path, valueName, data, size) ? 1 : 0;
}

int WriteRegistryValue(SettingsStore& store, const char* maker, const char* product,
                       const char* version, const char* valueName, const void* data,
                       uint32_t size) {
  char path[kKeyPathSize];
  if (!BuildKeyPath(maker, product, version, path)) return 0;
  return store.WriteValue(path, valueName, data, size) ? 1 : 0;
}

void LoadSettings(SettingsState& settings, SettingsStore& store) {
  // The word is read as its little-endian bytes; a shorter value fills only the low bytes.
  uint8_t bytes[4] = {static_cast<uint8_t>(settings.currentFlags),
                      static_cast<uint8_t>(settings.currentFlags >> 8),
                      static_cast<uint8_t>(settings.currentFlags >> 16),
                      static_cast<uint8_t>(settings.currentFlags >> 24)};
  if (!ReadRegistryValue(store, kSettingsMaker, kSettingsProduct, kSettingsVersion,
                         kSettingsValueName, bytes, sizeof bytes)) {
    settings.currentFlags = kDefaultFlags;
    return;
  }
  settings.currentFlags = uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) |
                          (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[3]} << 24);
}

void SaveSettings(const SettingsState& settings, SettingsStore& store) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(settings.currentFlags),
                            static_cast<uint8_t>(settings.currentFlags >> 8),
                            static_cast<uint8_t>(settings.currentFlags >> 16),
                            static_cast<uint8_t>(settings.currentFlags >> 24)};
  WriteRegistryValue(store, kSettingsMaker, kSettingsProduct, kSettingsVersion,
                     kSettingsValueName, bytes, sizeof bytes);
}

}  // namespace lumenfall

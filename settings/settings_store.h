// The settings store: the key path and the load/save of the settings word over a
// small value store (the registry on Windows, memory in tests).
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/settings_word.h"

namespace lumenfall {

constexpr size_t kKeyPathSize = 256;
constexpr const char* kSettingsMaker = "Tessel";
constexpr const char* kSettingsProduct = "Lumenfall";
constexpr const char* kSettingsVersion = "1.00.000";
constexpr const char* kSettingsValueName = "Flags";

// Builds "Software\<maker>\<product>\<version>" into path, every run of backslashes
// collapsed to one. 0, with path untouched, when the three lengths plus 12 exceed 256
// or a text is missing; 1 otherwise.
int BuildKeyPath(const char* maker, const char* product, const char* version,
                 char (&path)[kKeyPathSize]);

// A per-user store of named binary values under key paths.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // Reads at most size bytes of the value into data. 1 on success; 0 when the key or
  // value is missing or the value is longer than size.
  virtual int ReadValue(const char* keyPath, const char* valueName, void* data, uint32_t size) = 0;
  // Stores size bytes as a binary value, creating the key path. 1 on success.
  virtual int WriteValue(const char* keyPath, const char* valueName, const void* data,
                         uint32_t size) = 0;
};

int ReadRegistryValue(SettingsStore& store, const char* maker, const char* product,
                      const char* version, const char* valueName, void* data, uint32_t size);
int WriteRegistryValue(SettingsStore& store, const char* maker, const char* product,
                       const char* version, const char* valueName, const void* data,
                       uint32_t size);

struct SettingsState {
  SaverFlags currentFlags = 0;
};

// Fills currentFlags from the store, or with 1 when the read fails.
void LoadSettings(SettingsState& settings, SettingsStore& store);
// Writes currentFlags as 4 bytes, least significant first.
void SaveSettings(const SettingsState& settings, SettingsStore& store);

}  // namespace lumenfall

// The settings store on the per-user registry: binary values under HKEY_CURRENT_USER.
#pragma once

#include "settings/settings_store.h"

namespace lumenfall {

class RegistrySettingsStore final : public SettingsStore {
 public:
  // RegOpenKeyExA with KEY_QUERY_VALUE, then RegQueryValueExA into at most size bytes
  // with the stored type not examined; a longer value fails.
  int ReadValue(const char* keyPath, const char* valueName, void* data, uint32_t size) override;
  // RegCreateKeyExA (missing keys created) with KEY_SET_VALUE, then RegSetValueExA as
  // REG_BINARY.
  int WriteValue(const char* keyPath, const char* valueName, const void* data,
                 uint32_t size) override;
};

}  // namespace lumenfall

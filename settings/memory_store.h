// A settings store in memory, for tests and for front ends that keep no settings.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings_store.h"

namespace lumenfall {

class MemorySettingsStore final : public SettingsStore {
 public:
  int ReadValue(const char* keyPath, const char* valueName, void* data, uint32_t size) override;
  int WriteValue(const char* keyPath, const char* valueName, const void* data,
                 uint32_t size) override;

  using Key = std::pair<std::string, std::string>;
  std::map<Key, std::vector<uint8_t>> values;
  int reads = 0;
  int writes = 0;
};

}  // namespace lumenfall

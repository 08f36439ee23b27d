#include "settings/memory_store.h"

#include <cstring>

namespace lumenfall {

int MemorySettingsStore::ReadValue(const char* keyPath, const char* valueName, void* data,
                                   uint32_t size) {
  ++reads;
  if (keyPath == nullptr || valueName == nullptr) return 0;
  const auto it = values.find(Key{keyPath, valueName});
  if (it == values.end() || it->second.size() > size) return 0;
  if (!it->second.empty()) std::memcpy(data, it->second.data(), it->second.size());
  return 1;
}

int MemorySettingsStore::WriteValue(const char* keyPath, const char* valueName, const void* data,
                                    uint32_t size) {
  ++writes;
  if (keyPath == nullptr || valueName == nullptr || (data == nullptr && size != 0)) return 0;
  const auto* bytes = static_cast<const uint8_t*>(data);
  values[Key{keyPath, valueName}] = std::vector<uint8_t>(bytes, bytes + size);
  return 1;
}

}  // namespace lumenfall

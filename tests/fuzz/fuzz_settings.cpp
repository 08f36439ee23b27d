// The key path and the settings word over a store holding values of any size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "settings/memory_store.h"
#include "settings/settings_store.h"

using namespace lumenfall;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  // Three texts of any bytes (each ends at its first NUL).
  std::string texts[3];
  for (std::string& t : texts) {
    const uint32_t length = in.Range(0, 300);
    for (uint32_t i = 0; i < length; ++i) t.push_back(static_cast<char>(in.Byte()));
  }
  char path[kKeyPathSize];
  std::memset(path, 0x5A, sizeof path);
  if (BuildKeyPath(texts[0].c_str(), texts[1].c_str(), texts[2].c_str(), path)) {
    if (std::memchr(path, 0, sizeof path) == nullptr) __builtin_trap();       // terminated
    if (std::strstr(path, "\\\\") != nullptr) __builtin_trap();               // collapsed
  }

  // A "Flags" value of 0 to 8 bytes, of any content.
  MemorySettingsStore store;
  const uint32_t valueSize = in.Range(0, 8);
  SettingsState settings;
  settings.currentFlags = in.U32();
  if (in.Bool()) {
    store.values[{"Software\\Tessel\\Lumenfall\\1.00.000", "Flags"}] = in.Bytes(valueSize);
  }
  LoadSettings(settings, store);
  if (valueSize > 4 && settings.currentFlags != 1 && store.values.size() == 1) __builtin_trap();
  if (store.values.empty() && settings.currentFlags != 1) __builtin_trap();
  SaveSettings(settings, store);
  SettingsState again;
  LoadSettings(again, store);
  if (again.currentFlags != settings.currentFlags) __builtin_trap();
  // The generic operations with arbitrary names and sizes.
  uint8_t buffer[8] = {};
  ReadRegistryValue(store, texts[0].c_str(), texts[1].c_str(), texts[2].c_str(), "Flags", buffer,
                    in.Range(0, 8));
  return 0;
}

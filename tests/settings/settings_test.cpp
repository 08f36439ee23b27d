// The key path and the settings word's load and save over a value store.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/memory_store.h"
#include "settings/settings_store.h"

namespace lumenfall {
namespace {

const char* const kPath = "Software\\Tessel\\Lumenfall\\1.00.000";

std::string Path(const char* maker, const char* product, const char* version, int* result = nullptr) {
  char path[kKeyPathSize];
  std::memset(path, '#', sizeof path);
  const int r = BuildKeyPath(maker, product, version, path);
  if (result != nullptr) *result = r;
  return r ? std::string(path) : std::string("<refused>");
}

TEST(KeyPath, ProgramTexts) { EXPECT_EQ(Path("Tessel", "Lumenfall", "1.00.000"), kPath); }

TEST(KeyPath, BackslashRunsCollapse) {
  EXPECT_EQ(Path("Tessel", "", "1.00.000"), "Software\\Tessel\\1.00.000");
  EXPECT_EQ(Path("\\Maker\\", "\\\\P\\\\\\", "V"), "Software\\Maker\\P\\V");
  EXPECT_EQ(Path("", "", ""), "Software\\");
}

TEST(KeyPath, LengthLimitCountsTwelveExtra) {
  // 244 characters of texts plus 12 is exactly 256: accepted.
  const std::string maker(200, 'm'), product(40, 'p'), version(4, 'v');
  int result = 0;
  const std::string p = Path(maker.c_str(), product.c_str(), version.c_str(), &result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(p.size(), 255u);
  const std::string longer(5, 'v');
  Path(maker.c_str(), product.c_str(), longer.c_str(), &result);
  EXPECT_EQ(result, 0);
  Path(nullptr, "a", "b", &result);
  EXPECT_EQ(result, 0);
}

TEST(KeyPath, TooLongPathNeverReachesTheStore) {
  MemorySettingsStore store;
  const std::string maker(300, 'm');
  uint8_t data[4] = {};
  EXPECT_EQ(ReadRegistryValue(store, maker.c_str(), "p", "v", "Flags", data, 4), 0);
  EXPECT_EQ(WriteRegistryValue(store, maker.c_str(), "p", "v", "Flags", data, 4), 0);
  EXPECT_EQ(store.reads + store.writes, 0);
}

TEST(Settings, NothingStoredGivesTheDefaultAndWritesNothing) {
  MemorySettingsStore store;
  SettingsState s;
  LoadSettings(s, store);
  EXPECT_EQ(s.currentFlags, 1u);
  EXPECT_EQ(store.writes, 0);
  EXPECT_TRUE(store.values.empty());
}

TEST(Settings, SaveWritesFourBytesLeastSignificantFirst) {
  MemorySettingsStore store;
  SettingsState s;
  s.currentFlags = 0x10000004;
  SaveSettings(s, store);
  const auto& v = store.values.at({kPath, "Flags"});
  EXPECT_EQ(v, (std::vector<uint8_t>{0x04, 0x00, 0x00, 0x10}));
  SettingsState loaded;
  LoadSettings(loaded, store);
  EXPECT_EQ(loaded.currentFlags, 0x10000004u);
  s.currentFlags = 1;
  SaveSettings(s, store);
  EXPECT_EQ(store.values.at({kPath, "Flags"}), (std::vector<uint8_t>{1, 0, 0, 0}));
}

TEST(Settings, ValueSizes) {
  MemorySettingsStore store;
  SettingsState s;
  store.values[{kPath, "Flags"}] = {4, 0, 0, 0, 0};  // five bytes: refused
  LoadSettings(s, store);
  EXPECT_EQ(s.currentFlags, 1u);
  store.values[{kPath, "Flags"}] = {0x34, 0x12};  // two bytes fill the low bytes only
  SettingsState fresh;
  LoadSettings(fresh, store);
  EXPECT_EQ(fresh.currentFlags, 0x1234u);
  store.values[{kPath, "Flags"}] = {};  // an empty value reads and changes nothing
  SettingsState empty;
  LoadSettings(empty, store);
  EXPECT_EQ(empty.currentFlags, 0u);
}

}  // namespace
}  // namespace lumenfall

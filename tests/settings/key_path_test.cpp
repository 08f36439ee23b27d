// The registry key path under which the saver keeps its settings word.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/settings_store.h"

namespace lumenfall {
namespace {

TEST(SettingsKeyPath, ProgramTextsGiveTheFixedPath) {
  char path[kKeyPathSize];
  ASSERT_EQ(BuildKeyPath(kSettingsMaker, kSettingsProduct, kSettingsVersion, path), 1);
  EXPECT_STREQ(path, "Software\\Tessel\\Lumenfall\\1.00.000");
}

TEST(SettingsKeyPath, RunsOfBackslashesCollapseToOne) {
  char path[kKeyPathSize];
  ASSERT_EQ(BuildKeyPath("Tessel", "", "1.00.000", path), 1);
  EXPECT_STREQ(path, "Software\\Tessel\\1.00.000");
  ASSERT_EQ(BuildKeyPath("\\\\A\\", "\\B", "C\\\\\\", path), 1);
  EXPECT_STREQ(path, "Software\\A\\B\\C\\");
  ASSERT_EQ(BuildKeyPath("", "", "", path), 1);
  EXPECT_STREQ(path, "Software\\");
}

TEST(SettingsKeyPath, LengthLimitIsTwoHundredFiftySixWithTerminator) {
  char path[kKeyPathSize];
  std::memset(path, 'z', sizeof path);
  // 100 + 100 + 44 + 12 = 256: accepted, and the path with its terminator fills the buffer.
  const std::string a(100, 'a'), b(100, 'b'), c44(44, 'c'), c45(45, 'c');
  ASSERT_EQ(BuildKeyPath(a.c_str(), b.c_str(), c44.c_str(), path), 1);
  EXPECT_EQ(std::strlen(path), 255u);
  EXPECT_EQ(std::string(path), "Software\\" + a + "\\" + b + "\\" + c44);
  // One more character is refused and the buffer is left as it was.
  std::memset(path, 'z', sizeof path);
  EXPECT_EQ(BuildKeyPath(a.c_str(), b.c_str(), c45.c_str(), path), 0);
  EXPECT_EQ(path[0], 'z');
  EXPECT_EQ(path[kKeyPathSize - 1], 'z');
}

}  // namespace
}  // namespace lumenfall

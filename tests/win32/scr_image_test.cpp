// The built lumenfall.scr as a file: a 32-bit GUI program that imports nothing but
// system DLLs and carries its DPI-aware manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "wine_harness.h"

namespace lumenfall::wine {
namespace {

std::string ScrPath() { return std::string(LUMENFALL_MINGW_BUILD_DIR) + "/win32/lumenfall.scr"; }

class ScrImage : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string missing;
    if (!HaveTool("i686-w64-mingw32-objdump")) missing = "i686-w64-mingw32-objdump is not installed";
    else if (!FileExists(ScrPath())) missing = ScrPath() + " is missing (run the mingw cross build first)";
    if (missing.empty()) return;
    if (InCi()) FAIL() << missing;
    GTEST_SKIP() << missing;
  }

  std::string Objdump(const std::string& option) {
    std::string out;
    EXPECT_EQ(wine::Run({"i686-w64-mingw32-objdump", option, ScrPath()}, {}, 60000, &out), 0);
    return out;
  }
};

TEST_F(ScrImage, ImportsOnlySystemDlls) {
  const std::string headers = Objdump("-p");
  EXPECT_NE(headers.find("(PE32)"), std::string::npos) << "not a 32-bit image";
  EXPECT_NE(headers.find("(Windows GUI)"), std::string::npos) << "not a GUI program";
  const std::set<std::string> allowed = {"kernel32.dll", "user32.dll", "gdi32.dll",
                                         "advapi32.dll", "ddraw.dll",  "msvcrt.dll"};
  std::istringstream lines(headers);
  std::string line;
  std::set<std::string> imported;
  const std::string tag = "DLL Name: ";
  while (std::getline(lines, line)) {
    const size_t at = line.find(tag);
    if (at == std::string::npos) continue;
    std::string name = line.substr(at + tag.size());
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    imported.insert(name);
  }
  EXPECT_TRUE(imported.count("ddraw.dll")) << "DirectDraw is not imported";
  for (const std::string& name : imported)
    EXPECT_TRUE(allowed.count(name)) << "imports a DLL that is not the system's: " << name;
}

TEST_F(ScrImage, ManifestDeclaresPerMonitorDpiAwareness) {
  // The manifest is stored as plain text in the resource section.
  std::ifstream in(ScrPath(), std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(image.size(), 1024u);
  EXPECT_NE(image.find("<dpiAware"), std::string::npos);
  EXPECT_NE(image.find(">PerMonitorV2"), std::string::npos);
  EXPECT_NE(image.find("supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\""), std::string::npos);
}

}  // namespace
}  // namespace lumenfall::wine

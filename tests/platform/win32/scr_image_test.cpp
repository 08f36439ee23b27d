// The built lumenfall.scr of each edition as a file: a GUI program for the oldest
// Windows of its edition (32-bit: Windows 4.0; 64-bit: Windows 5.2, XP x64) that imports
// nothing but what that system's libraries export, carries its DPI-aware manifest for
// its processor and a version resource with the project's version.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "wine_harness.h"

namespace lumenfall::wine {
namespace {

// What each edition's image must be.
struct ImageEdition {
  const char* name;
  const char* buildDir;
  const char* tools;         // the binutils prefix
  const char* format;        // objdump's name of the image format: "(PE32)" is 32-bit only
  const char* version;       // subsystem and system version, major and minor
  const char* minor;
  const char* exports;       // the record of what its oldest Windows exports
  const char* oldest;        // that Windows, for messages
  const char* manifestArch;  // processorArchitecture in the manifest
};

void PrintTo(const ImageEdition& edition, std::ostream* out) { *out << edition.name; }

const ImageEdition kEditions[] = {
    {"x86", LUMENFALL_MINGW_BUILD_DIR, "i686-w64-mingw32-", "(PE32)", "4", "0",
     LUMENFALL_WIN9X_EXPORTS, "Windows 95/98", "x86"},
    {"x64", LUMENFALL_MINGW64_BUILD_DIR, "x86_64-w64-mingw32-", "(PE32+)", "5", "2",
     LUMENFALL_WINXP64_EXPORTS, "Windows XP x64", "amd64"},
};

class ScrImage : public ::testing::TestWithParam<ImageEdition> {
 protected:
  void SetUp() override {
    std::string missing;
    if (FindTool(Tool("objdump")).empty()) missing = Tool("objdump") + " is not installed";
    else if (!std::filesystem::exists(ScrPath())) missing = ScrPath() + " is missing (run the cross build first)";
    REQUIRE_TOOL(missing.empty(), missing);
  }

  static std::string ScrPath() { return std::string(GetParam().buildDir) + "/win32/lumenfall.scr"; }
  static std::string Tool(const char* name) { return std::string(GetParam().tools) + name; }

  std::string Objdump(const std::string& option) {
    std::string out;
    EXPECT_EQ(RunToEnd({Tool("objdump"), option, ScrPath()}, {}, 60000, &out), 0);
    return out;
  }
};

TEST_P(ScrImage, ImportsOnlySystemDlls) {
  const std::string headers = Objdump("-p");
  EXPECT_NE(headers.find(GetParam().format), std::string::npos) << "not a " << GetParam().format << " image";
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

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// The recorded exports: "[DLL]" opens a section, then names separated by white space.
std::map<std::string, std::set<std::string>> ReadExportRecord(const std::string& path) {
  std::map<std::string, std::set<std::string>> exports;
  std::ifstream in(path);
  std::string line, section;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
      if (word.size() > 2 && word.front() == '[' && word.back() == ']')
        section = Upper(word.substr(1, word.size() - 2));
      else if (!section.empty())
        exports[section].insert(word);
    }
  }
  return exports;
}

// Every function of the import table, per DLL (upper case), as objdump prints it.
std::map<std::string, std::set<std::string>> ImportTable(const std::string& headers) {
  std::map<std::string, std::set<std::string>> imports;
  std::istringstream lines(headers);
  std::string line, dll;
  const std::string tag = "DLL Name: ";
  while (std::getline(lines, line)) {
    // A heading at the line start ends the import tables.
    if (!line.empty() && !std::isspace(static_cast<unsigned char>(line[0]))) dll.clear();
    if (const size_t at = line.find(tag); at != std::string::npos) {
      std::istringstream name(line.substr(at + tag.size()));
      name >> dll;
      dll = Upper(dll);
      imports[dll];
      continue;
    }
    // "\t<vma>\t <hint>  <name>" rows of the current DLL.
    std::istringstream row(line);
    std::string vma, hint, function;
    if (dll.empty() || line.empty() || line[0] != '\t') continue;
    if (!(row >> vma >> hint >> function)) continue;
    if (vma == "vma:" || hint.find_first_not_of("0123456789") != std::string::npos) continue;
    imports[dll].insert(function);
  }
  return imports;
}

TEST_P(ScrImage, ImportsOnlyWhatItsOldestWindowsExports) {
  const auto record = ReadExportRecord(GetParam().exports);
  ASSERT_TRUE(record.count("KERNEL32.DLL")) << "no export record at " << GetParam().exports;
  const auto imports = ImportTable(Objdump("-p"));
  ASSERT_TRUE(imports.count("KERNEL32.DLL") && !imports.at("KERNEL32.DLL").empty())
      << "no import table read";
  for (const auto& [dll, functions] : imports) {
    const auto known = record.find(dll);
    EXPECT_NE(known, record.end()) << dll << " has no recorded export list";
    if (known == record.end()) continue;
    for (const std::string& function : functions)
      EXPECT_TRUE(known->second.count(function))
          << dll << "!" << function << " is not exported by " << GetParam().oldest;
  }
}

TEST_P(ScrImage, RunsOnItsOldestWindowsWithAFixedTimestamp) {
  const std::string headers = Objdump("-p");
  const std::string major = GetParam().version, minor = GetParam().minor;
  EXPECT_NE(headers.find("MajorSubsystemVersion\t" + major + "\n"), std::string::npos);
  EXPECT_NE(headers.find("MinorSubsystemVersion\t" + minor + "\n"), std::string::npos);
  EXPECT_NE(headers.find("MajorOSystemVersion\t" + major + "\n"), std::string::npos);
  EXPECT_NE(headers.find("MinorOSystemVersion\t" + minor + "\n"), std::string::npos);
  // A fixed stamp (none), so that two builds of one commit are the same bytes.
  EXPECT_NE(headers.find("Time/Date\t\tThu Jan  1 00:00:00 1970"), std::string::npos);
}

// The UTF-16 value that follows a key of the version resource's string table.
std::string VersionString(const std::string& image, const std::string& key) {
  std::string wide;
  for (char c : key) wide += std::string{c, '\0'};
  wide += std::string(2, '\0');
  const size_t at = image.find(wide);
  if (at == std::string::npos) return "(missing)";
  size_t value = (at + wide.size() + 3) & ~size_t{3};  // values start 32-bit aligned
  std::string text;
  for (; value + 1 < image.size() && (image[value] != 0 || image[value + 1] != 0); value += 2)
    text += image[value + 1] == 0 ? image[value] : '?';
  return text;
}

TEST_P(ScrImage, VersionResourceNamesTheProduct) {
  std::ifstream in(ScrPath(), std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(VersionString(image, "ProductName"), "Lumenfall");
  EXPECT_EQ(VersionString(image, "FileDescription"), "Lumenfall screen saver");
  EXPECT_EQ(VersionString(image, "FileVersion"), LUMENFALL_VERSION);
  EXPECT_EQ(VersionString(image, "ProductVersion"), LUMENFALL_VERSION);
  EXPECT_EQ(VersionString(image, "OriginalFilename"), "lumenfall.scr");
  EXPECT_NE(VersionString(image, "LegalCopyright").find("Lumenfall developers"), std::string::npos);
  // The fixed part: its signature, then the file version as four 16-bit numbers.
  const std::string signature("\xbd\x04\xef\xfe", 4);
  const size_t fixed = image.find(signature);
  ASSERT_NE(fixed, std::string::npos) << "no VS_FIXEDFILEINFO";
  auto word = [&](size_t offset) {
    return static_cast<uint16_t>(static_cast<uint8_t>(image[fixed + offset]) |
                                 static_cast<uint8_t>(image[fixed + offset + 1]) << 8);
  };
  const std::string fileVersion = std::to_string(word(10)) + "." + std::to_string(word(8)) + "." +
                                  std::to_string(word(14));
  EXPECT_EQ(fileVersion, LUMENFALL_VERSION);
}

TEST_P(ScrImage, ManifestDeclaresPerMonitorDpiAwareness) {
  // The manifest is stored as plain text in the resource section.
  std::ifstream in(ScrPath(), std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(image.size(), 1024u);
  EXPECT_NE(image.find("<dpiAware"), std::string::npos);
  EXPECT_NE(image.find(">PerMonitorV2"), std::string::npos);
  EXPECT_NE(image.find("supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\""), std::string::npos);
  EXPECT_NE(image.find(std::string("processorArchitecture=\"") + GetParam().manifestArch + "\""),
            std::string::npos)
      << "the manifest does not name the edition's processor";
}

INSTANTIATE_TEST_SUITE_P(Editions, ScrImage, ::testing::ValuesIn(kEditions),
                         [](const ::testing::TestParamInfo<ImageEdition>& edition) { return edition.param.name; });

}  // namespace
}  // namespace lumenfall::wine

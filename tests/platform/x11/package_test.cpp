// The Debian package that scripts/build-deb.sh makes in build/deb, read back with
// dpkg-deb. It holds the program where xscreensaver looks for hacks and a link to it on
// the PATH, the settings description, the man page, the changelog and a copyright file
// with both licences, and depends on Xlib, its extension libraries and the Wayland
// client library.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "x11_harness.h"

namespace lumenfall::x11test {
namespace {

// Runs a shell command; its standard output, and whether it succeeded.
bool RunCommand(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  return pclose(pipe) == 0;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// The words of a text, one space between them; the lone "." that stands for an empty
// line in a Debian copyright file is no word.
std::string Words(const std::string& text) {
  std::istringstream in(text);
  std::string word, words;
  while (in >> word)
    if (word != ".") words += (words.empty() ? "" : " ") + word;
  return words;
}

// The text from the first line that starts with from up to the first empty line.
std::string Paragraph(const std::string& text, const std::string& from) {
  const size_t start = text.find("\n" + from);
  if (start == std::string::npos) return "";
  const size_t end = text.find("\n\n", start + 1);
  return text.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

TEST(X11Package, DebHoldsTheSaverItsLinkItsSettingsItsManPageAndBothLicences) {
  std::filesystem::path deb;
  std::error_code missing;
  for (const auto& entry : std::filesystem::directory_iterator(LUMENFALL_DEB_DIR, missing))
    if (entry.path().filename().string().rfind("lumenfall_", 0) == 0 && entry.path().extension() == ".deb")
      deb = entry.path();
  REQUIRE_TOOL(!deb.empty(), "no lumenfall_*.deb in " LUMENFALL_DEB_DIR " (bash scripts/build-deb.sh makes it)");

  // Every entry but the folders: its mode and its name (a link's with its target).
  std::string listing;
  ASSERT_TRUE(RunCommand("dpkg-deb -c " + Quote(deb.string()), listing));
  std::map<std::string, std::string> entries;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    const size_t name = line.find(" ./");
    if (line.rfind("d", 0) != 0 && name != std::string::npos) entries[line.substr(name + 1)] = line.substr(0, 10);
  }
  const std::map<std::string, std::string> expected = {
      {"./usr/libexec/xscreensaver/lumenfall", "-rwxr-xr-x"},
      {"./usr/bin/lumenfall -> ../libexec/xscreensaver/lumenfall", "lrwxrwxrwx"},
      {"./usr/share/xscreensaver/config/lumenfall.xml", "-rw-r--r--"},
      {"./usr/share/man/man6/lumenfall.6.gz", "-rw-r--r--"},
      {"./usr/share/doc/lumenfall/changelog.gz", "-rw-r--r--"},
      {"./usr/share/doc/lumenfall/copyright", "-rw-r--r--"}};
  EXPECT_EQ(entries, expected) << listing;

  std::string fields;
  ASSERT_TRUE(RunCommand("dpkg-deb -f " + Quote(deb.string()) + " Package Version Depends", fields));
  EXPECT_NE(fields.find("Package: lumenfall\n"), std::string::npos) << fields;
  EXPECT_NE(fields.find("Version: " LUMENFALL_PROJECT_VERSION "\n"), std::string::npos) << fields;
  for (const char* library : {"libx11-6", "libxext6", "libxrandr2", "libxinerama1", "libxrender1",
                              "libwayland-client0"})
    EXPECT_NE(fields.find(library), std::string::npos) << fields;

  auto member = [&deb](const std::string& path) {
    std::string text;
    EXPECT_TRUE(RunCommand("dpkg-deb --fsys-tarfile " + Quote(deb.string()) + " | tar -xOf - " + Quote(path), text))
        << path;
    return text;
  };
  // The settings description offers every option xscreensaver can set.
  const std::string xml = member("./usr/share/xscreensaver/config/lumenfall.xml");
  for (const char* part : {"<screensaver name=\"lumenfall\"", "arg=\"-root\"", "-text-set deep-blue",
                           "-low-quality", "-depth 8", "-depth 16", "-depth 24", "arg=\"-delay %\"",
                           "-fps", "<select id=\"textset\">", "<boolean id=\"lowquality\"",
                           "<select id=\"depth\">", "<number id=\"delay\" type=\"slider\""})
    EXPECT_NE(xml.find(part), std::string::npos) << part;

  // The copyright file gives the font's files their licence and carries the words of
  // both licences: the project's (LICENSE, from its permission on) and the font's (its
  // licence paragraph in data/LICENSE-font.txt).
  const std::string copyright = member("./usr/share/doc/lumenfall/copyright");
  EXPECT_EQ(copyright.rfind("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n", 0), 0u);
  EXPECT_NE(Paragraph(copyright, "Files: data/lumenfall_font.bin\n").find("\nLicense: bitstream-vera\n"),
            std::string::npos)
      << copyright;
  const std::string project = ReadFile(LUMENFALL_SOURCE_DIR "/LICENSE");
  const std::string font = Paragraph(ReadFile(LUMENFALL_SOURCE_DIR "/data/LICENSE-font.txt"), "License: bitstream-vera\n");
  ASSERT_NE(project.find("Permission"), std::string::npos);
  ASSERT_NE(font.find("Font Software"), std::string::npos);
  EXPECT_NE(Words(copyright).find(Words(project.substr(project.find("Permission")))), std::string::npos)
      << "the MIT licence";
  EXPECT_NE(Words(copyright).find(Words(font)), std::string::npos) << "the font's licence";
}

}  // namespace
}  // namespace lumenfall::x11test

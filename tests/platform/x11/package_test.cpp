// The Debian package: built with cpack from this build tree, then read back with
// dpkg-deb. It holds the program where xscreensaver looks for hacks, the settings
// description, the man page, the licences, and depends on Xlib, its extension libraries
// and the Wayland client library.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
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

TEST(X11Package, DebHoldsTheSaverItsSettingsAndItsManPage) {
  const std::string cpack = LUMENFALL_CPACK;
  const std::string dpkgDeb = LUMENFALL_DPKG_DEB;
  if (FindTool(cpack).empty() || FindTool(dpkgDeb).empty()) {
    if (InCi()) FAIL() << "cpack or dpkg-deb is missing";
    GTEST_SKIP() << "cpack or dpkg-deb is missing";
  }
  const std::filesystem::path out = std::filesystem::path(LUMENFALL_TEST_WORK) / "package";
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);

  std::string log;
  ASSERT_TRUE(RunCommand(Quote(cpack) + " -G DEB --config " +
                      Quote(std::string(LUMENFALL_BUILD_ROOT) + "/CPackConfig.cmake") + " -B " +
                      Quote(out.string()) + " 2>&1",
                  log))
      << log;
  std::filesystem::path deb;
  for (const auto& entry : std::filesystem::directory_iterator(out))
    if (entry.path().extension() == ".deb") deb = entry.path();
  ASSERT_FALSE(deb.empty()) << log;
  EXPECT_EQ(deb.filename().string().rfind("lumenfall_", 0), 0u) << deb;

  std::string listing;
  ASSERT_TRUE(RunCommand(Quote(dpkgDeb) + " -c " + Quote(deb.string()), listing));
  for (const char* file : {"./usr/libexec/xscreensaver/lumenfall",
                           "./usr/share/xscreensaver/config/lumenfall.xml",
                           "./usr/share/man/man6/lumenfall.6.gz",
                           "./usr/share/doc/lumenfall/LICENSE",
                           "./usr/share/doc/lumenfall/LICENSE-font.txt"})
    EXPECT_NE(listing.find(std::string(file) + "\n"), std::string::npos) << file << "\n" << listing;
  EXPECT_NE(listing.find("-rwxr-xr-x root/root"), std::string::npos) << "the program is executable";
  // Nothing but the saver's own files.
  size_t files = 0;
  for (size_t at = listing.find("\n-"); at != std::string::npos; at = listing.find("\n-", at + 1)) ++files;
  if (listing.rfind("-", 0) == 0) ++files;
  EXPECT_EQ(files, 5u) << listing;

  std::string fields;
  ASSERT_TRUE(RunCommand(Quote(dpkgDeb) + " -f " + Quote(deb.string()) + " Package Version Depends", fields));
  EXPECT_NE(fields.find("Package: lumenfall\n"), std::string::npos) << fields;
  EXPECT_NE(fields.find("Version: " LUMENFALL_PROJECT_VERSION "\n"), std::string::npos) << fields;
  for (const char* library : {"libx11-6", "libxext6", "libxrandr2", "libxinerama1", "libxrender1",
                              "libwayland-client0"})
    EXPECT_NE(fields.find(library), std::string::npos) << fields;

  // The settings description offers every option xscreensaver can set.
  std::string xml;
  ASSERT_TRUE(RunCommand(Quote(dpkgDeb) + " --fsys-tarfile " + Quote(deb.string()) +
                      " | tar -xOf - ./usr/share/xscreensaver/config/lumenfall.xml",
                  xml));
  for (const char* part : {"<screensaver name=\"lumenfall\"", "arg=\"-root\"", "-text-set deep-blue",
                           "-low-quality", "-depth 8", "-depth 16", "-depth 24", "arg=\"-delay %\"",
                           "-fps", "<select id=\"textset\">", "<boolean id=\"lowquality\"",
                           "<select id=\"depth\">", "<number id=\"delay\" type=\"slider\""})
    EXPECT_NE(xml.find(part), std::string::npos) << part;
}

}  // namespace
}  // namespace lumenfall::x11test

// What the Wine tests of the dialogs and passwords share: the work folders, the log of
// the password doubles, one Xvfb display with one Wine prefix for the whole program
// (set up once, in dialogs_wine_session.cpp), and the fixture that skips or fails when
// Wine cannot run.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "wine_harness.h"


namespace lumenfall::wine {


inline std::string Program(const char* name) { return WinDir() + "/" + name + ".exe"; }
inline std::string WorkDir() { return EditionWorkDir(LUMENFALL_DIALOGS_WORK_DIR); }
inline std::string LogPath() { return WorkDir() + "/doubles.log"; }

// ---- Records: "kind key=value key="quoted \"text\"" ..." ----

struct Record {
  std::string kind;
  std::map<std::string, std::string> fields;
  std::string Get(const std::string& key) const {
    auto it = fields.find(key);
    return it == fields.end() ? "<missing>" : it->second;
  }
  long Number(const std::string& key) const { return std::strtol(Get(key).c_str(), nullptr, 0); }
  unsigned long Hex(const std::string& key) const { return std::strtoul(Get(key).c_str(), nullptr, 16); }
};

inline Record ParseRecord(const std::string& line) {
  Record r;
  size_t i = 0;
  auto skipBlanks = [&] { while (i < line.size() && line[i] == ' ') ++i; };
  skipBlanks();
  while (i < line.size() && line[i] != ' ') r.kind += line[i++];
  while (true) {
    skipBlanks();
    if (i >= line.size()) break;
    std::string key;
    while (i < line.size() && line[i] != '=' && line[i] != ' ') key += line[i++];
    std::string value;
    if (i < line.size() && line[i] == '=') {
      ++i;
      if (i < line.size() && line[i] == '"') {
        // Kept quoted and escaped, exactly as written.
        value += line[i++];
        while (i < line.size() && line[i] != '"') {
          if (line[i] == '\\' && i + 1 < line.size()) value += line[i++];
          value += line[i++];
        }
        if (i < line.size()) value += line[i++];
      } else {
        while (i < line.size() && line[i] != ' ') value += line[i++];
      }
    }
    r.fields[key] = value;
  }
  return r;
}

inline std::vector<Record> ParseRecords(const std::string& text) {
  std::vector<Record> records;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) records.push_back(ParseRecord(line));
  }
  return records;
}

// The doubles' log: "<tick> <kind> key=value ...".
struct LogLine {
  unsigned long tick = 0;
  Record record;
};

inline std::vector<LogLine> ReadLog() {
  std::vector<LogLine> lines;
  std::istringstream in(ReadFile(LogPath()));
  std::string line;
  while (std::getline(in, line)) {
    const size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    lines.push_back({std::strtoul(line.substr(0, space).c_str(), nullptr, 10),
                     ParseRecord(line.substr(space + 1))});
  }
  return lines;
}

inline std::string Describe(const std::vector<LogLine>& log) {
  std::string text = "\n  log of the doubles:";
  for (const LogLine& l : log) {
    text += "\n    " + std::to_string(l.tick) + " " + l.record.kind;
    for (const auto& [k, v] : l.record.fields) text += " " + k + "=" + v;
  }
  return log.empty() ? "\n  the doubles logged nothing" : text;
}

inline std::vector<LogLine> Only(const std::vector<LogLine>& log, const std::string& kind) {
  std::vector<LogLine> out;
  for (const LogLine& l : log)
    if (l.record.kind == kind) out.push_back(l);
  return out;
}

// ---- The session: one Xvfb, one prefix, one persistent wineserver ----

class Session : public WineDesktop {
 public:
  bool Open() {
    if (const std::string missing = MissingWindowsFiles(
            {WinDir() + "/lumenfall.scr", Program("lf_dialog_check"), Program("lf_password_probe"),
             Program("lf_parent"), Program("lf_probe"), WinDir() + "/doubles/password.cpl",
             WinDir() + "/doubles/mpr.dll", WinDir() + "/doubles-noentry/password.cpl",
             WinDir() + "/doubles-noentry/mpr.dll"});
        !missing.empty())
      return Fail(missing);
    // Three copies of the saver: beside the doubles, beside the doubles without their
    // entries, and alone. A library beside the program is the one it loads.
    for (const char* folder : {"doubles", "doubles-noentry", "bare"}) {
      std::vector<std::string> files = {WinDir() + "/lumenfall.scr"};
      if (std::strcmp(folder, "bare") != 0)
        files.insert(files.end(), {WinDir() + "/" + folder + "/password.cpl", WinDir() + "/" + folder + "/mpr.dll"});
      if (!CopyInto(WorkDir() + "/run-" + folder, files)) return Fail("cannot lay out " + WorkDir() + "/run-" + folder);
    }
    if (!OpenDesktop(24, kScreenWidth, kScreenHeight, WorkDir() + "/prefix", InstallWineFonts)) return false;
    // The first program brings up Wine's desktop process in its own process group,
    // which ends normally; killing a saver's group later leaves the desktop alone.
    // Wine draws the frames itself (no window manager runs), so the dialogs have
    // their captions and close boxes.
    if (Wine({"reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"},
             nullptr, 90000) != 0)
      return Fail("Wine could not run reg");
    return true;
  }

  // Runs a Windows test program and returns its output; "" after a failure.
  std::string Tool(const char* program, const std::vector<std::string>& args, int* code = nullptr) {
    std::vector<std::string> argv{Program(program)};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out;
    const int result = Wine(argv, &out, 60000);
    if (code != nullptr) *code = result;
    return out;
  }

  // The Windows 95 family (win98) or the NT family (Wine's default) for every program
  // started from now on.
  void Family95(bool on) {
    if (on)
      Wine({"reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win98", "/f"});
    else
      Wine({"reg", "delete", "HKCU\\Software\\Wine", "/v", "Version", "/f"});
  }

  // Wine's own faces (Debian's fonts-wine: MS Sans Serif, Tahoma, Marlett for the
  // caption buttons) are found only in the prefix's font folder here; with them the
  // dialogs look as on Windows. Nothing is checked against the fonts.
  static void InstallWineFonts(const std::string& prefix) {
    std::vector<std::string> faces;
    for (const char* face : {"sserife.fon", "tahoma.ttf", "tahomabd.ttf", "marlett.ttf"})
      if (const std::string path = std::string("/usr/share/wine/fonts/") + face; std::filesystem::exists(path))
        faces.push_back(path);
    CopyInto(prefix + "/drive_c/windows/Fonts", faces);
  }

  // A picture of the screen's rectangle in a file, for a look at a dialog.
  bool SaveScreenshot(const std::string& path, long left, long top, long right, long bottom) {
    const std::string crop = std::to_string(right - left) + "x" + std::to_string(bottom - top) +
                             "+" + std::to_string(left) + "+" + std::to_string(top);
    return RunToEnd({"import", "-window", "root", "-crop", crop, "+repage", path}, Env(), 20000) == 0;
  }
};

inline Session* session = nullptr;

class WineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(session, nullptr);
    LUMENFALL_START_WINE_TEST(*session);
  }
  Session& wine() { return *session; }
};


}  // namespace lumenfall::wine
